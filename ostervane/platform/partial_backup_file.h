// PartialBackupFile: a backup's blocks in NAME.rom.partial beside the chosen name, with the
// record of where they came from as a trailer, flushed after every block, so that a killed
// process or a power loss keeps what was saved.  The finished file takes the chosen name by a
// rename.
//
// Layout of the partial file (the image area is sparse until its blocks are written):
//   [0, L)                    the image, L = backupLength bytes, as the .rom file will hold it
//   [A, A + 4096)             record slot 0, A = L rounded up to a multiple of 4096
//   [A + 4096, A + 8192)      record slot 1
// The record is written into the slots in turn, so that a record torn by a power loss still
// leaves the previous one.  Record (little-endian, kBackupRecordSize bytes at a slot's start):
//   0  8   magic "OVPARTIA"        16  4  bigRomBase          28  4  blocksSaved
//   8  2   format version (1)      20  4  backupLength        32  256  big ROM header
//   10 2   flags (1: needs check)  24  4  block size (4096)   288  4  CRC-32 of bytes 0-287
//   12 4   sequence number, one more with every record written
// The sound slot with the higher sequence number counts; it must also agree with the file's
// size.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "ostervane/link/backup_file.h"

namespace ostervane {

inline constexpr size_t kBackupRecordSize = 292;
inline constexpr uint64_t kBackupRecordSlotSize = 4096;

// The record's bytes with `sequence`; the decoding of a slot, none when the slot is not a sound
// record of this format (wrong magic, version or block size, a CRC that does not hold).
std::array<uint8_t, kBackupRecordSize> EncodeBackupRecord(const BackupRecord &record,
                                                          uint32_t sequence);
struct DecodedBackupRecord {
    BackupRecord record;
    uint32_t sequence = 0;
};
std::optional<DecodedBackupRecord> DecodeBackupRecord(std::span<const uint8_t> slot);

// Where the record slots of a partial file for an image of `length` bytes start.
uint64_t BackupRecordArea(uint32_t length);

class PartialBackupFile : public BackupFile {
public:
    PartialBackupFile() = default;
    ~PartialBackupFile() override; // closes the partial file and keeps it
    PartialBackupFile(const PartialBackupFile &) = delete;
    PartialBackupFile &operator=(const PartialBackupFile &) = delete;

    // Opens (or creates) `path` + ".partial" beside the file `path` finally names (a symbolic
    // link is followed) and takes an exclusive lock on it, so two backups never write the same
    // partial file.  False when it cannot be made or locked, or `path` is a folder or a file
    // this program may not write.
    bool Open(const std::string &path) override;
    bool FoundPartial() const override { return foundPartial_; }
    std::optional<BackupRecord> Record() const override { return record_; }

    bool Restart(const BackupRecord &record) override;
    bool Read(uint64_t offset, uint8_t *data, size_t size) override;
    bool Write(uint64_t offset, const uint8_t *data, size_t size) override;
    // fdatasync of the blocks, the record into the next slot, fdatasync again.
    bool SaveRecord(const BackupRecord &record) override;
    // Cuts the record off, flushes the file and renames it over the final path, keeping the
    // permission bits of the file it replaces; then flushes the folder.
    bool Commit() override;
    void Discard() override;

    const std::string &PartialPath() const { return partialPath_; }

private:
    void ReadRecord();
    void Close();

    std::string path_;
    std::string partialPath_;
    int fd_ = -1;
    bool foundPartial_ = false;
    std::optional<BackupRecord> record_;
    uint32_t sequence_ = 0; // of the last record read or written
};

// The file a backup job saves into (JobSettings::makeRomFile).
std::unique_ptr<BackupFile> NewPartialBackupFile();

} // namespace ostervane
