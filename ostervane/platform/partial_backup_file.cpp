// PartialBackupFile on POSIX: pread/pwrite on one descriptor, fdatasync before and after each
// record, flock against a second backup into the same file, rename on Commit.
#include "ostervane/platform/partial_backup_file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ostervane/link/crc32.h"
#include "ostervane/platform/replace_file.h"

namespace ostervane {

namespace {

constexpr char kMagic[8] = {'O', 'V', 'P', 'A', 'R', 'T', 'I', 'A'};
constexpr uint16_t kFormatVersion = 1;
constexpr uint16_t kNeedsCheckFlag = 0x0001;
constexpr size_t kHeaderOffset = 32;
constexpr size_t kCrcOffset = kHeaderOffset + kCardHeaderSize;
constexpr int kSlots = 2;

void PutLe(uint8_t *at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t GetLe(const uint8_t *at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | at[i];
    }
    return value;
}

bool ReadAll(int fd, uint64_t offset, uint8_t *data, size_t size) {
    while (size > 0) {
        ssize_t got = pread(fd, data, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        data += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, uint64_t offset, const uint8_t *data, size_t size) {
    while (size > 0) {
        ssize_t put = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        data += put;
        offset += static_cast<uint64_t>(put);
        size -= static_cast<size_t>(put);
    }
    return true;
}

uint64_t FileSizeOf(uint32_t length) {
    return BackupRecordArea(length) + kSlots * kBackupRecordSlotSize;
}

} // namespace

std::array<uint8_t, kBackupRecordSize> EncodeBackupRecord(const BackupRecord &record,
                                                          uint32_t sequence) {
    std::array<uint8_t, kBackupRecordSize> bytes{};
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    PutLe(&bytes[8], kFormatVersion, 2);
    PutLe(&bytes[10], record.needsCheck ? kNeedsCheckFlag : 0, 2);
    PutLe(&bytes[12], sequence, 4);
    PutLe(&bytes[16], record.bigRomBase, 4);
    PutLe(&bytes[20], record.backupLength, 4);
    PutLe(&bytes[24], kBackupBlockSize, 4);
    PutLe(&bytes[28], record.blocksSaved, 4);
    std::memcpy(&bytes[kHeaderOffset], record.bigRomHeader.data(), kCardHeaderSize);
    PutLe(&bytes[kCrcOffset], Crc32(bytes.data(), kCrcOffset), 4);
    return bytes;
}

std::optional<DecodedBackupRecord> DecodeBackupRecord(std::span<const uint8_t> slot) {
    if (slot.size() < kBackupRecordSize || std::memcmp(slot.data(), kMagic, sizeof kMagic) != 0 ||
        GetLe(&slot[kCrcOffset], 4) != Crc32(slot.data(), kCrcOffset) ||
        GetLe(&slot[8], 2) != kFormatVersion || GetLe(&slot[24], 4) != kBackupBlockSize) {
        return std::nullopt;
    }
    DecodedBackupRecord decoded;
    decoded.record.needsCheck = (GetLe(&slot[10], 2) & kNeedsCheckFlag) != 0;
    decoded.sequence = GetLe(&slot[12], 4);
    decoded.record.bigRomBase = GetLe(&slot[16], 4);
    decoded.record.backupLength = GetLe(&slot[20], 4);
    decoded.record.blocksSaved = GetLe(&slot[28], 4);
    std::memcpy(decoded.record.bigRomHeader.data(), &slot[kHeaderOffset], kCardHeaderSize);
    return decoded;
}

uint64_t BackupRecordArea(uint32_t length) {
    return (uint64_t(length) + kBackupRecordSlotSize - 1) / kBackupRecordSlotSize *
           kBackupRecordSlotSize;
}

PartialBackupFile::~PartialBackupFile() {
    Close();
}

bool PartialBackupFile::Open(const std::string &path) {
    Close();
    path_ = file_replacement::ReplacedPath(path);
    if (path_.empty() || !file_replacement::CanReplace(path_)) {
        return false;
    }
    partialPath_ = path_ + ".partial";
    struct stat info {};
    foundPartial_ = stat(partialPath_.c_str(), &info) == 0;
    if (foundPartial_ && !S_ISREG(info.st_mode)) {
        return false;
    }
    fd_ = ::open(partialPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        return false;
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        Close(); // another backup writes it
        return false;
    }
    ReadRecord();
    return true;
}

// The sound slot with the higher sequence number, if the file's size is the one it implies.
void PartialBackupFile::ReadRecord() {
    record_.reset();
    sequence_ = 0;
    struct stat info {};
    if (fstat(fd_, &info) != 0 || uint64_t(info.st_size) < kSlots * kBackupRecordSlotSize) {
        return;
    }
    uint64_t area = uint64_t(info.st_size) - kSlots * kBackupRecordSlotSize;
    std::optional<DecodedBackupRecord> best;
    for (int slot = 0; slot < kSlots; ++slot) {
        std::array<uint8_t, kBackupRecordSize> bytes{};
        if (!ReadAll(fd_, area + slot * kBackupRecordSlotSize, bytes.data(), bytes.size())) {
            continue;
        }
        std::optional<DecodedBackupRecord> decoded = DecodeBackupRecord(bytes);
        if (decoded && (!best || decoded->sequence > best->sequence)) {
            best = decoded;
        }
    }
    if (best && BackupRecordArea(best->record.backupLength) == area) {
        record_ = best->record;
        sequence_ = best->sequence;
    }
}

// Emptied first, so no block of the old image is left for the new record to claim.
bool PartialBackupFile::Restart(const BackupRecord &record) {
    if (fd_ < 0 || ftruncate(fd_, 0) != 0 ||
        ftruncate(fd_, static_cast<off_t>(FileSizeOf(record.backupLength))) != 0) {
        return false;
    }
    return SaveRecord(record);
}

bool PartialBackupFile::Read(uint64_t offset, uint8_t *data, size_t size) {
    return fd_ >= 0 && ReadAll(fd_, offset, data, size);
}

bool PartialBackupFile::Write(uint64_t offset, const uint8_t *data, size_t size) {
    if (fd_ < 0 || record_ == std::nullopt ||
        offset + size > BackupRecordArea(record_->backupLength)) {
        return false; // the record area is not the image's
    }
    return WriteAll(fd_, offset, data, size);
}

bool PartialBackupFile::SaveRecord(const BackupRecord &record) {
    if (fd_ < 0 || fdatasync(fd_) != 0) {
        return false;
    }
    uint32_t sequence = sequence_ + 1;
    std::array<uint8_t, kBackupRecordSize> bytes = EncodeBackupRecord(record, sequence);
    uint64_t slot =
        BackupRecordArea(record.backupLength) + (sequence % kSlots) * kBackupRecordSlotSize;
    if (!WriteAll(fd_, slot, bytes.data(), bytes.size()) || fdatasync(fd_) != 0) {
        return false;
    }
    sequence_ = sequence;
    record_ = record;
    return true;
}

bool PartialBackupFile::Commit() {
    if (fd_ < 0 || !record_ || ftruncate(fd_, static_cast<off_t>(record_->backupLength)) != 0) {
        return false;
    }
    file_replacement::CopyPermissions(fd_, path_);
    if (fsync(fd_) != 0) {
        return false;
    }
    if (rename(partialPath_.c_str(), path_.c_str()) != 0) {
        return false;
    }
    Close();
    file_replacement::SyncFolder(path_);
    return true;
}

void PartialBackupFile::Discard() {
    if (fd_ >= 0) {
        ::unlink(partialPath_.c_str());
        Close();
    }
}

void PartialBackupFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_); // and the lock with it
        fd_ = -1;
    }
    record_.reset();
}

std::unique_ptr<BackupFile> NewPartialBackupFile() {
    return std::make_unique<PartialBackupFile>();
}

} // namespace ostervane
