// The ".rom" rule, the main window's title and the log's banner line.
#include "ostervane/core/rom_path.h"

#include <cctype>
#include <filesystem>

namespace ostervane {

std::string WithRomExtension(const std::string &path) {
    std::string ending = path.size() >= 4 ? path.substr(path.size() - 4) : path;
    for (char &c : ending) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return ending == ".rom" ? path : path + ".rom";
}

std::string MainWindowTitle(const std::string &path, bool isBackup) {
    std::string name = std::filesystem::path(path).filename().string();
    return (isBackup ? "ROM Backup: " : "ROM Restore: ") + name;
}

std::string LogBannerLine(const std::string &path, bool isBackup) {
    return (isBackup ? "-----  Keelstone Backup to file: "
                     : "-----  Keelstone Restore from file: ") +
           path + " ------";
}

} // namespace ostervane
