// ReplacingFileWriter: writes a file under a temporary name beside it and puts it in place only
// on Commit, so the file at the path is either the old one, untouched, or the complete new one.
// Also the steps of such a replacement, which the backup's partial file takes as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ostervane/link/rom_file_writer.h"

namespace ostervane {

class ReplacingFileWriter : public RomFileWriter {
public:
    ReplacingFileWriter() = default;
    ~ReplacingFileWriter() override; // discards what was not committed
    ReplacingFileWriter(const ReplacingFileWriter &) = delete;
    ReplacingFileWriter &operator=(const ReplacingFileWriter &) = delete;

    // Creates a hidden temporary file in the path's folder.  False when it cannot be made, or
    // when the path names something that could not be overwritten (a folder, a file this
    // program may not write).  An earlier file still open in this writer is discarded.
    bool Open(const std::string &path) override;
    // Appends the bytes; false when they could not all be written.
    bool Write(const uint8_t *data, size_t size) override;
    // Flushes the file to disk and renames it over the path; false (and the temporary file
    // removed, the old file untouched) when any step fails.
    bool Commit() override;
    // Removes the temporary file; the path is left as it was.
    void Discard() override;

    bool IsOpen() const { return fd_ >= 0; }
    const std::string &TemporaryPath() const { return temporaryPath_; }

private:
    std::string path_;
    std::string temporaryPath_;
    int fd_ = -1;
};

// Steps of putting a new file in place of another, which both writers take.
namespace file_replacement {
// The file that writing to `path` replaces: a symbolic link is followed, so the file it names
// is replaced and the link stays.
std::string ReplacedPath(const std::string &path);
// True when `path` names nothing yet or a regular file this program may write.
bool CanReplace(const std::string &path);
// Gives the open file `fd` the permission bits of the file at `path`, or 0644 without one.
void CopyPermissions(int fd, const std::string &path);
// Flushes the folder that holds `path`, so that a rename there survives a power loss.
void SyncFolder(const std::string &path);
} // namespace file_replacement

} // namespace ostervane
