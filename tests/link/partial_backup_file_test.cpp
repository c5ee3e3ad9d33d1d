// PartialBackupFile: the record trailer and its two slots, what a damaged or stale partial file
// gives, the lock against a second backup, and the rename that puts the image in place.
#include "ostervane/platform/partial_backup_file.h"

#include <sys/stat.h>

#include "link_test_support.h"

namespace ostervane {
namespace {

using namespace testing;
namespace fs = std::filesystem;

BackupRecord SampleRecord(uint32_t blocks, uint32_t length = 10000) {
    BackupRecord record;
    for (size_t i = 0; i < record.bigRomHeader.size(); ++i) {
        record.bigRomHeader[i] = uint8_t(i * 3);
    }
    record.bigRomBase = 0x10008000;
    record.backupLength = length;
    record.blocksSaved = blocks;
    return record;
}

Bytes Block(uint8_t fill, size_t size = kBackupBlockSize) {
    return Bytes(size, fill);
}

// A partial file for `path` that has `blocks` of three blocks (10,000 bytes) saved.
void SaveBlocks(const std::string &path, uint32_t blocks) {
    PartialBackupFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.Restart(SampleRecord(0)));
    for (uint32_t i = 0; i < blocks; ++i) {
        Bytes data =
            Block(uint8_t(0xA0 + i), i == 2 ? 10000 - 2 * kBackupBlockSize : kBackupBlockSize);
        ASSERT_TRUE(file.Write(uint64_t(i) * kBackupBlockSize, data.data(), data.size()));
        ASSERT_TRUE(file.SaveRecord(SampleRecord(i + 1)));
    }
}

std::optional<BackupRecord> RecordOf(const std::string &path) {
    PartialBackupFile file;
    EXPECT_TRUE(file.Open(path));
    return file.Record();
}

TEST(BackupRecordFormat, RoundTripsAndRefusesAnyChangedByte) {
    BackupRecord record = SampleRecord(2);
    record.needsCheck = true;
    auto bytes = EncodeBackupRecord(record, 7);
    std::optional<DecodedBackupRecord> decoded = DecodeBackupRecord(bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->record, record);
    EXPECT_EQ(decoded->sequence, 7u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8),
              Bytes({'O', 'V', 'P', 'A', 'R', 'T', 'I', 'A'}));
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto changed = bytes;
        changed[i] ^= 0x10;
        EXPECT_FALSE(DecodeBackupRecord(changed).has_value()) << "byte " << i;
    }
    EXPECT_FALSE(DecodeBackupRecord(std::span(bytes).first(kBackupRecordSize - 1)).has_value());
}

TEST(PartialFile, HoldsTheImageThenTheRecordAndGivesItBack) {
    TempDir dir;
    const std::string path = dir.File("b.rom");
    SaveBlocks(path, 2);
    // The image area, rounded up to whole blocks, then two record slots.
    EXPECT_EQ(fs::file_size(path + ".partial"), 3 * kBackupBlockSize + 2 * 4096);
    PartialBackupFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_TRUE(file.FoundPartial());
    ASSERT_TRUE(file.Record().has_value());
    EXPECT_EQ(*file.Record(), SampleRecord(2));
    Bytes second(kBackupBlockSize);
    ASSERT_TRUE(file.Read(kBackupBlockSize, second.data(), second.size()));
    EXPECT_EQ(second, Block(0xA1));
    // The record area is not the image's.
    Bytes one = Block(0, 1);
    EXPECT_FALSE(file.Write(3 * kBackupBlockSize, one.data(), 1));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"b.rom.partial"});
}

TEST(PartialFile, ATornLatestRecordLeavesThePreviousOne) {
    TempDir dir;
    const std::string path = dir.File("t.rom");
    SaveBlocks(path, 2);
    Bytes partial = ReadFile(path + ".partial");
    size_t area = partial.size() - 2 * 4096;
    // Records went to slot 1 (the fresh start), 0 (one block) and 1 (two blocks).
    partial[area + 4096 + 100] ^= 0x01;
    WriteFile(path + ".partial", partial);
    EXPECT_EQ(RecordOf(path), SampleRecord(1));

    partial[area + 100] ^= 0x01; // both damaged
    WriteFile(path + ".partial", partial);
    PartialBackupFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_TRUE(file.FoundPartial());
    EXPECT_FALSE(file.Record().has_value());
}

TEST(PartialFile, ARecordThatDisagreesWithTheFilesSizeIsNotTrusted) {
    TempDir dir;
    const std::string path = dir.File("s.rom");
    SaveBlocks(path, 2);
    fs::resize_file(path + ".partial", fs::file_size(path + ".partial") + 4096);
    EXPECT_FALSE(RecordOf(path).has_value());
    fs::resize_file(path + ".partial", 100);
    EXPECT_FALSE(RecordOf(path).has_value());
}

TEST(PartialFile, RestartEmptiesTheFileBeforeTheNewRecordClaimsAnything) {
    TempDir dir;
    const std::string path = dir.File("r.rom");
    SaveBlocks(path, 3);
    PartialBackupFile file;
    ASSERT_TRUE(file.Open(path));
    BackupRecord other = SampleRecord(0, 5000);
    other.bigRomBase = 0x20010000;
    ASSERT_TRUE(file.Restart(other));
    EXPECT_EQ(file.Record(), other);
    Bytes first(kBackupBlockSize, 0xFF);
    ASSERT_TRUE(file.Read(0, first.data(), first.size()));
    EXPECT_EQ(first, Block(0)); // the old blocks are gone
    EXPECT_EQ(fs::file_size(path + ".partial"), 2 * kBackupBlockSize + 2 * 4096);
}

TEST(PartialFile, ASecondBackupIntoTheSameFileIsRefusedWhileTheFirstHoldsIt) {
    TempDir dir;
    const std::string path = dir.File("l.rom");
    PartialBackupFile first;
    ASSERT_TRUE(first.Open(path));
    PartialBackupFile second;
    EXPECT_FALSE(second.Open(path));
    first.Discard();
    EXPECT_TRUE(second.Open(path));
}

TEST(PartialFile, CommitPutsTheImageInPlaceWithTheOldFilesPermissions) {
    TempDir dir;
    const std::string path = dir.File("c.rom");
    WriteFile(path, Bytes{'o', 'l', 'd'});
    fs::permissions(path, fs::perms(0640));
    fs::create_symlink(path, dir.File("link.rom"));
    SaveBlocks(dir.File("link.rom"), 2);
    {
        PartialBackupFile file;
        ASSERT_TRUE(file.Open(dir.File("link.rom")));
        EXPECT_EQ(file.PartialPath(), path + ".partial"); // beside the file the link names
        Bytes last = Block(0xA2, 10000 - 2 * kBackupBlockSize);
        ASSERT_TRUE(file.Write(2 * kBackupBlockSize, last.data(), last.size()));
        ASSERT_TRUE(file.SaveRecord(SampleRecord(3)));
        EXPECT_EQ(ReadFile(path), (Bytes{'o', 'l', 'd'})); // untouched until Commit
        ASSERT_TRUE(file.Commit());
    }
    Bytes expected = Block(0xA0);
    for (const Bytes &b : {Block(0xA1), Block(0xA2, 10000 - 2 * kBackupBlockSize)}) {
        expected.insert(expected.end(), b.begin(), b.end());
    }
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.rom")));
    std::vector<std::string> entries = dir.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"c.rom", "link.rom"}));
}

TEST(PartialFile, RefusesPathsItCannotReplaceAndDiscardLeavesNothing) {
    TempDir dir;
    PartialBackupFile file;
    EXPECT_FALSE(file.Open(dir.File("missing/x.rom")));
    fs::create_directory(dir.File("folder.rom"));
    EXPECT_FALSE(file.Open(dir.File("folder.rom")));
    fs::create_directory(dir.File("p.rom.partial"));
    EXPECT_FALSE(file.Open(dir.File("p.rom")));
    fs::remove(dir.File("p.rom.partial"));
    fs::remove(dir.File("folder.rom"));
    ASSERT_TRUE(file.Open(dir.File("p.rom")));
    EXPECT_FALSE(file.FoundPartial());
    EXPECT_FALSE(file.Record().has_value());
    file.Discard();
    EXPECT_TRUE(dir.Entries().empty());
}

} // namespace
} // namespace ostervane
