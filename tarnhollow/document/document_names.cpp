// Document titles and paths.
#include "tarnhollow/document/document_names.h"

#include <system_error>

#include "tarnhollow/document/install_file_layout.h"

namespace tarnhollow {

namespace fs = std::filesystem;

fs::path PackagePathFor(const fs::path &chosen) {
    fs::path path = chosen;
    path.replace_extension(layout::kPackageExtension);
    return path;
}

std::string DocumentTitleFor(const fs::path &path) {
    return path.filename().string();
}

std::string FrameCaption(const std::string &activeTitle) {
    return activeTitle.empty() ? kApplicationTitle
                               : std::string(kApplicationTitle) + " - " + activeTitle;
}

std::string SaveChangesQuestion(const std::string &title) {
    return "Save changes to " + title + "?";
}

bool SameFile(const fs::path &a, const fs::path &b) {
    std::error_code error;
    if (fs::equivalent(a, b, error) && !error) {
        return true;
    }
    return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

} // namespace tarnhollow
