// BackupFile: where a backup's blocks go.  The blocks are kept in a partial file beside the
// chosen name, with a record of the handheld they came from, so that an interrupted backup can
// go on where it stopped; the file takes the chosen name only once it is complete.  The job
// decides what to resume; the platform's implementation does the file work.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ostervane/core/rom_image.h"

namespace ostervane {

inline constexpr uint32_t kBackupBlockSize = 4096; // one progress step

// What a partial file holds: the blocks from its start that were saved, and whose they are.
struct BackupRecord {
    std::array<uint8_t, kCardHeaderSize> bigRomHeader{}; // as the handheld holds it
    uint32_t bigRomBase = 0;
    uint32_t backupLength = 0;
    uint32_t blocksSaved = 0; // blocks of kBackupBlockSize from the start, the last one shorter
    // The saved image failed its ROM checksum: the next backup compares every block with the
    // handheld before it trusts them.
    bool needsCheck = false;

    bool operator==(const BackupRecord &) const = default;
};

class BackupFile {
public:
    virtual ~BackupFile() = default; // closes the partial file and keeps it

    // Opens the partial file of `path`, creating it when there is none.  False when it cannot
    // be made or used, or when `path` names something that could not be replaced.
    virtual bool Open(const std::string &path) = 0;
    // Whether Open found a partial file from an earlier backup, sound or not.
    virtual bool FoundPartial() const = 0;
    // The partial file's record; none when there is no partial file or its record is damaged.
    virtual std::optional<BackupRecord> Record() const = 0;

    // Empties the partial file and gives it `record` (which claims no block yet), on disk
    // before any new block can be written.
    virtual bool Restart(const BackupRecord &record) = 0;
    // Reads `size` bytes at `offset` of the image; false unless all of them were there.
    virtual bool Read(uint64_t offset, uint8_t *data, size_t size) = 0;
    // Writes `size` bytes at `offset` of the image; false unless all of them were written.
    virtual bool Write(uint64_t offset, const uint8_t *data, size_t size) = 0;
    // Makes `record` the partial file's record once the bytes written so far are on disk, so
    // that the record never claims a block that a power loss could take back.
    virtual bool SaveRecord(const BackupRecord &record) = 0;

    // Puts the image (the record's backupLength bytes) under the chosen name in one step; the
    // partial file is gone afterwards.  False, with the path untouched, when it cannot.
    virtual bool Commit() = 0;
    // Removes the partial file; the path is left as it was.
    virtual void Discard() = 0;
};

using BackupFileFactory = std::function<std::unique_ptr<BackupFile>()>;

} // namespace ostervane
