// Extracting a ROM's databases: each file read back through libprc holds exactly what the ROM
// holds; existing files are kept unless overwriting is asked for; what a file cannot hold is
// refused or named; names are safe and unique; the choice of databases by glob, type and
// creator.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ostervane/core/rom_extract.h"
#include "test_rom.h"

namespace ostervane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Code;
using testing::TestDatabase;
using testing::TestRom;
using testing::TestRomOptions;

class RomExtract : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "rom_extract.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string PathOf(const std::string &name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

struct PrcCloser {
    void operator()(prc_t *prc) const { prcdestroy(prc); }
};
using Prc = std::unique_ptr<prc_t, PrcCloser>;

std::vector<uint8_t> BodyBytes(const uint8_t *data, uint32_t size) {
    return data == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(data, data + size);
}

std::vector<uint8_t> RomBytesOf(const RomImage &image, const std::optional<RomBytes> &range) {
    if (!range) {
        return {};
    }
    std::span<const uint8_t> bytes = image.Bytes(*range);
    return {bytes.begin(), bytes.end()};
}

// The file, read back through libprc, against the ROM's database field by field.
void ExpectSameDatabase(const std::string &path, const RomImage &image, const RomDatabase &rom) {
    Prc prc(prcopen(path.c_str(), PRC_OPEN_READ));
    ASSERT_NE(prc, nullptr) << path;
    EXPECT_EQ(std::string(prc->name), rom.name);
    EXPECT_EQ(prc->flags, rom.attributes);
    EXPECT_EQ(prc->version, rom.version);
    EXPECT_EQ(prc->ctime, rom.creationDate);
    EXPECT_EQ(prc->mtime, rom.modificationDate);
    EXPECT_EQ(prc->btime, rom.lastBackupDate);
    EXPECT_EQ(prc->modnum, rom.modificationNumber);
    EXPECT_EQ(prc->type, rom.type);
    EXPECT_EQ(prc->creator, rom.creator);
    ASSERT_EQ(prcgetnrecords(prc.get()), rom.EntryCount());
    if (!rom.IsResourceDatabase()) {
        EXPECT_EQ(BodyBytes(prc->appinfo, prc->appinfosize), RomBytesOf(image, rom.appInfo));
        EXPECT_EQ(BodyBytes(prc->sortinfo, prc->sortinfosize), RomBytesOf(image, rom.sortInfo));
    }
    for (uint16_t i = 0; i < rom.EntryCount(); i++) {
        prc_record_t *entry = prcgetrecord(prc.get(), i);
        ASSERT_NE(entry, nullptr);
        if (rom.IsResourceDatabase()) {
            EXPECT_EQ(entry->type, rom.resources[i].type);
            EXPECT_EQ(entry->id, rom.resources[i].id);
            EXPECT_EQ(BodyBytes(entry->data, entry->datalen),
                      RomBytesOf(image, rom.resources[i].data));
        } else {
            EXPECT_EQ(entry->attr, rom.records[i].attributes);
            EXPECT_EQ(entry->uid, rom.records[i].uniqueId);
            EXPECT_EQ(BodyBytes(entry->data, entry->datalen),
                      RomBytesOf(image, rom.records[i].data));
        }
    }
}

TEST_F(RomExtract, FilesHoldExactlyWhatTheRomHolds) {
    for (bool arm : {false, true}) {
        TestRomOptions options;
        options.arm = arm;
        options.heapVersion = 4;
        options.wholeCard = true;
        TestRom rom(options);
        testing::AddSampleDatabases(rom, arm);
        TestDatabase every;
        every.name = "Every attribute";
        every.attributes = 0xFFFE; // every bit but the resource one
        every.lastBackupDate = 0xC0000000;
        for (unsigned attributes = 0; attributes < 256; attributes += 0x11) {
            every.records.push_back(
                {uint8_t(attributes), 0xABCDEF - attributes, Bytes(attributes % 7 + 1, 0x55)});
        }
        every.records.push_back({0x80, 0x000001, {}, true}); // deleted, no data
        rom.Add(every);
        Bytes bytes = rom.Build();
        RomImage image = ReadRomImage(bytes);
        std::set<std::string> taken;
        for (const RomDatabase *database : image.Databases()) {
            const std::string name = UniqueFileName(RomDatabaseFileName(*database), taken);
            const std::string path = PathOf((arm ? "arm-" : "m68k-") + name);
            RomExtractOutcome outcome = ExtractRomDatabase(image, *database, path, false);
            ASSERT_EQ(outcome.state, RomExtractState::Written) << outcome.message;
            EXPECT_TRUE(outcome.losses.empty());
            ExpectSameDatabase(path, image, *database);
        }
        EXPECT_TRUE(fs::exists(PathOf(arm ? "arm-Every attribute.pdb" : "m68k-MemoDB.pdb")));
        EXPECT_TRUE(fs::exists(PathOf(arm ? "arm-Small ROM.prc" : "m68k-System.prc")));
    }
}

TEST_F(RomExtract, AnExistingFileIsKeptUnlessOverwritingIsAsked) {
    TestRom rom;
    testing::AddSampleDatabases(rom, false);
    Bytes bytes = rom.Build();
    RomImage image = ReadRomImage(bytes);
    const RomDatabase &memo = image.big->databases[1];
    const std::string path = PathOf("MemoDB.pdb");
    std::ofstream(path) << "mine";

    RomExtractOutcome outcome = ExtractRomDatabase(image, memo, path, false);
    EXPECT_EQ(outcome.state, RomExtractState::Exists);
    EXPECT_EQ(outcome.message, "the file exists");
    std::ifstream kept(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "mine");

    outcome = ExtractRomDatabase(image, memo, path, true);
    EXPECT_EQ(outcome.state, RomExtractState::Written) << outcome.message;
    ExpectSameDatabase(path, image, memo);

    outcome = ExtractRomDatabase(image, memo, PathOf("no-such-dir/MemoDB.pdb"), false);
    EXPECT_EQ(outcome.state, RomExtractState::Failed);
    EXPECT_EQ(outcome.message, "it cannot be created");
}

TEST_F(RomExtract, WhatAFileCannotHoldIsRefusedOrNamed) {
    TestRom rom;
    TestDatabase large;
    large.name = "Large";
    large.resources.push_back({Code("Tbmp"), 1, Bytes(PRC_MAX_DATA_SIZE + 1, 1)});
    rom.Add(large);
    TestDatabase withInfo;
    withInfo.name = "ResWithInfo";
    withInfo.attributes = 0x0001;
    withInfo.appInfo = Bytes(12, 7);
    withInfo.resources.push_back({Code("tSTR"), 1, Bytes(3, 'x')});
    rom.Add(withInfo);
    TestDatabase stream;
    stream.name = "Stream";
    stream.attributes = 0x0080;
    Bytes block = {'D', 'B', 'L', 'K', 0, 0, 0, 2, 'h', 'i', 0, 0, 0};
    stream.records.push_back({0, 1, block});
    rom.Add(stream);
    TestDatabase broken;
    broken.name = "Broken";
    broken.records.push_back({0, 1, Bytes(4, 1)});
    rom.Add(broken);
    Bytes bytes = rom.Build();
    // Database 3's only record points past the end of the image.
    const uint64_t entry = rom.Place("db3.entries");
    bytes[entry] = 0x7F;
    RomImage image = ReadRomImage(bytes);
    ASSERT_EQ(image.big->databases.size(), 4u);

    RomExtractOutcome outcome =
        ExtractRomDatabase(image, image.big->databases[0], PathOf("Large.prc"), false);
    EXPECT_EQ(outcome.state, RomExtractState::Refused);
    EXPECT_EQ(outcome.message,
              "resource 0 is larger than a database file's entry can hold (65,505 bytes)");
    EXPECT_FALSE(fs::exists(PathOf("Large.prc")));

    outcome = ExtractRomDatabase(image, image.big->databases[1], PathOf("Res.prc"), false);
    EXPECT_EQ(outcome.state, RomExtractState::Written);
    EXPECT_EQ(outcome.losses, std::vector<std::string>{"its app info (12 bytes) is not kept: a "
                                                       "resource database file has none"});

    outcome = ExtractRomDatabase(image, image.big->databases[2], PathOf("Stream.pdb"), false);
    EXPECT_EQ(outcome.state, RomExtractState::Written);
    EXPECT_EQ(outcome.losses, std::vector<std::string>{"the 3 unused bytes of its last stream "
                                                       "block are not kept"});

    outcome = ExtractRomDatabase(image, image.big->databases[3], PathOf("Broken.pdb"), false);
    EXPECT_EQ(outcome.state, RomExtractState::Refused);
    EXPECT_EQ(outcome.message, "some of its entries could not be read");
    EXPECT_FALSE(fs::exists(PathOf("Broken.pdb")));
}

TEST(RomExtractNames, FileNamesAreSafeAndUnique) {
    RomDatabase database;
    database.name = "../Caf\xE9/x\x01\x81";
    EXPECT_EQ(RomDatabaseFileName(database), "_._Caf\xC3\xA9_x__.pdb");
    database.attributes = kRomDatabaseResource;
    database.name = "";
    EXPECT_EQ(RomDatabaseFileName(database), "unnamed.prc");

    std::set<std::string> taken;
    EXPECT_EQ(UniqueFileName("Memo.pdb", taken), "Memo.pdb");
    EXPECT_EQ(UniqueFileName("Memo.pdb", taken), "Memo (2).pdb");
    EXPECT_EQ(UniqueFileName("Memo.pdb", taken), "Memo (3).pdb");
    EXPECT_EQ(UniqueFileName("Memo (2).pdb", taken), "Memo (2) (2).pdb");
    EXPECT_EQ(UniqueFileName("noext", taken), "noext");
    EXPECT_EQ(UniqueFileName("noext", taken), "noext (2)");
}

TEST(RomExtractNames, GlobsMatchCharacters) {
    EXPECT_TRUE(GlobMatches("*", ""));
    EXPECT_TRUE(GlobMatches("Memo*", "Memo Pad"));
    EXPECT_TRUE(GlobMatches("*_enUS", "Memo Pad_enUS"));
    EXPECT_FALSE(GlobMatches("*_enUS", "Memo Pad_enUS2"));
    EXPECT_TRUE(GlobMatches("Caf?", "Caf\xC3\xA9")); // one character, two bytes
    EXPECT_FALSE(GlobMatches("Caf??", "Caf\xC3\xA9"));
    EXPECT_TRUE(GlobMatches("[A-C]*", "Clock"));
    EXPECT_FALSE(GlobMatches("[!A-C]*", "Clock"));
    EXPECT_TRUE(GlobMatches("\\*x", "*x"));
    EXPECT_FALSE(GlobMatches("\\*x", "ax"));
    EXPECT_TRUE(GlobMatches("a[b", "a[b")); // no closing bracket: an ordinary '['
    EXPECT_TRUE(GlobMatches("*a*b*c*", "xxaxxbxxcxx"));
    EXPECT_FALSE(GlobMatches("*a*b*c*", "xxaxxcxxbxx"));
}

TEST(RomExtractNames, ChoiceByNameTypeAndCreator) {
    RomDatabase memo;
    memo.name = "Memo Pad";
    memo.type = Code("DATA");
    memo.creator = Code("memo");
    RomDatabase cafe;
    cafe.name = "Caf\xE9";
    cafe.type = Code("appl");
    cafe.creator = Code("Cafe");

    RomDatabaseChoice all;
    EXPECT_TRUE(all.Takes(memo) && all.Takes(cafe));
    RomDatabaseChoice byName{{"Memo*", "Caf\xC3\xA9"}, {}, {}};
    EXPECT_TRUE(byName.Takes(memo) && byName.Takes(cafe));
    RomDatabaseChoice byType{{}, Code("appl"), {}};
    EXPECT_FALSE(byType.Takes(memo));
    EXPECT_TRUE(byType.Takes(cafe));
    RomDatabaseChoice both{{"Memo*"}, {}, Code("Cafe")};
    EXPECT_FALSE(both.Takes(memo) || both.Takes(cafe));
}

} // namespace
} // namespace ostervane
