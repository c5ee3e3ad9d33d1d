// RomFileWriter: a file written from start to end and put in place whole on Commit, so that a
// failed write never leaves a truncated file under the chosen name nor destroys an older one.
// Backups save through BackupFile (backup_file.h), which also lets an interrupted one go on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace ostervane {

class RomFileWriter {
public:
    virtual ~RomFileWriter() = default;
    // False when the file cannot be made at `path`.
    virtual bool Open(const std::string &path) = 0;
    // False when the bytes could not all be written.
    virtual bool Write(const uint8_t *data, size_t size) = 0;
    // Puts the written file in place; false, with the old file untouched, when it cannot.
    virtual bool Commit() = 0;
    // Drops what was written; the path is left as it was.
    virtual void Discard() = 0;
};

using RomFileWriterFactory = std::function<std::unique_ptr<RomFileWriter>()>;

} // namespace ostervane
