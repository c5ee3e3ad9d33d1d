// Fuzz target: any bytes opened as an install file leave a consistent document (every kept
// entry in the right list, checked RAM and expansion-ROM entries holding their file) and the
// open never crashes, hangs or leaks, whatever messages it shows.
#include "tarnhollow/document/tarnhollow_doc.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

class RecordingBoxes : public tarnhollow::MessageBoxes {
public:
    void Show(const std::string &text, tarnhollow::BoxIcon) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

void checkTidied(const tarnhollow::CTarnhollowDoc &doc) {
    for (const tarnhollow::PackageEntry &entry : doc.m_ramList) {
        check((entry.flags & tarnhollow::kFlagRamList) != 0);
        check((entry.flags & tarnhollow::kFlagChecked) == 0 || entry.file);
    }
    for (const tarnhollow::PackageEntry &entry : doc.m_romList) {
        check((entry.flags & tarnhollow::kFlagRamList) == 0);
        check(entry.file != nullptr);
        check((entry.flags & tarnhollow::kFlagInverted) != 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    int fd = memfd_create("install_file", 0);
    check(fd >= 0);
    check(size == 0 || write(fd, data, size) == static_cast<ssize_t>(size));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    tarnhollow::CTarnhollowDoc doc(nullptr, "/nonexistent/SourcePRCs");
    RecordingBoxes boxes;
    const bool opened = doc.OnOpenDocument(path, boxes);
    if (opened && boxes.shown.empty()) {
        checkTidied(doc);
    }
    close(fd);
    return 0;
}
