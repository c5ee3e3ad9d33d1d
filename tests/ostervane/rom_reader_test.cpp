// The ROM reader on well-formed images: the worked example byte by byte, then hand-made stores
// in every heap version and both byte orders, chained directories and record lists, every
// record attribute, card header versions, and the feature table.
#include <gtest/gtest.h>

#include <string>

#include "ostervane/core/rom_checksum.h"
#include "ostervane/core/rom_features.h"
#include "ostervane/core/rom_reader.h"
#include "test_rom.h"

namespace ostervane {
namespace {

using testing::Bytes;
using testing::Code;
using testing::TestDatabase;
using testing::TestRom;
using testing::TestRomOptions;

std::string Text(const RomImage &image, const std::optional<RomBytes> &range) {
    if (!range) {
        return "<none>";
    }
    std::span<const uint8_t> bytes = image.Bytes(*range);
    return std::string(bytes.begin(), bytes.end());
}

// A big-ROM-only 68k image of 680 bytes mapped at 0x10C08000: one heap of version 3 with a
// directory, the header of "Demo" and one 'tSTR' resource "Palm\0".
Bytes WorkedExample() {
    Bytes image(0x2A8);
    auto put = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), image.begin() + std::ptrdiff_t(at));
    };
    put(0x000, {0, 0, 0x30, 0, 0x10, 0xC0, 0x81, 0, 0xFE, 0xED, 0xBE, 0xEF, 0, 3, 0, 0x20});
    put(0x010, {'P', 'a', 'l', 'm', 'C', 'a', 'r', 'd'});
    put(0x030, {'E', 'x', 'a', 'm', 'p', 'l', 'e'});
    put(0x050, {0, 1});
    put(0x056, {0, 1, 0x10, 0xC0, 0x82, 0});
    put(0x068, {0x10, 0xC0, 0x80, 0, 0, 0, 2, 0xA8, 0x53, 0x2C});
    put(0x100, {0xFE, 0xED, 0xFA, 0xCE, 0, 1});
    put(0x108, {'R', 'O', 'M', ' ', 'S', 't', 'o', 'r', 'e'});
    put(0x130, {0x10, 0xC0, 0x82, 0x08});
    put(0x13C, {0x10, 0xC0, 0x82, 0x2A});
    put(0x200, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    put(0x208, {0, 1, 0x10, 0xC0, 0x82, 0x12});
    put(0x212, {0x40, 0x01, 0, 0, 0, 0x96, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    put(0x222, {0, 0, 0, 0x12, 0xF1, 0, 0, 0});
    put(0x22A, {0, 0, 0, 0, 0, 1, 0x10, 0xC0, 0x82, 0x3C});
    put(0x234, {0, 0, 0, 0x62, 0xF1, 0, 0, 0});
    put(0x23C, {'D', 'e', 'm', 'o'});
    put(0x25C, {0, 3, 0, 1, 0xB6, 0x75, 0x79, 0, 0xB6, 0x75, 0x79, 0});
    put(0x278, {'r', 's', 'r', 'c', 'T', 'E', 'S', 'T'});
    put(0x288, {0, 1, 't', 'S', 'T', 'R', 0x03, 0xE8, 0x10, 0xC0, 0x82, 0x9E});
    put(0x296, {1, 0, 0, 0x0E, 0xF2, 0, 0, 0});
    put(0x29E, {'P', 'a', 'l', 'm', 0});
    return image;
}

TEST(RomReader, ReadsTheWorkedExampleByteForByte) {
    Bytes bytes = WorkedExample();
    RomImage image = ReadRomImage(bytes);
    EXPECT_TRUE(image.problems.empty()) << image.problems.front();
    ASSERT_TRUE(image.big.has_value());
    EXPECT_FALSE(image.small.has_value());
    EXPECT_FALSE(image.wholeCard);
    EXPECT_EQ(CheckRomChecksum(bytes).state, RomChecksumState::Verified);

    const RomPart &big = *image.big;
    EXPECT_EQ(big.card.base, 0x10C08000u);
    EXPECT_EQ(big.card.name, "PalmCard");
    EXPECT_EQ(big.card.manufacturer, "Example");
    EXPECT_EQ(big.card.flags, 0x0020);
    ASSERT_EQ(big.heaps.size(), 1u);
    EXPECT_EQ(big.heaps[0].version, 3);
    EXPECT_EQ(big.heaps[0].size, 0x96u);
    EXPECT_TRUE(big.heaps[0].walkedToEnd);
    ASSERT_EQ(big.chunks.size(), 3u);
    EXPECT_EQ(big.chunks[0].localId, 0x10C0822Au);
    EXPECT_EQ(big.chunks[1].localId, 0x10C0823Cu);
    EXPECT_EQ(big.chunks[2].localId, 0x10C0829Eu);
    EXPECT_EQ(big.chunks[2].sizeAdj, 1);
    EXPECT_EQ(big.chunks[2].owner, 2);
    EXPECT_EQ(big.chunks[2].lockCount, 15);

    ASSERT_EQ(big.databases.size(), 1u);
    const RomDatabase &demo = big.databases[0];
    EXPECT_EQ(demo.name, "Demo");
    EXPECT_EQ(demo.attributes, 0x0003);
    EXPECT_EQ(demo.type, Code("rsrc"));
    EXPECT_EQ(demo.creator, Code("TEST"));
    EXPECT_EQ(demo.creationDate, 0xB6757900u);
    EXPECT_TRUE(demo.complete);
    ASSERT_EQ(demo.resources.size(), 1u);
    EXPECT_EQ(demo.resources[0].type, Code("tSTR"));
    EXPECT_EQ(demo.resources[0].id, 1000);
    EXPECT_EQ(Text(image, demo.resources[0].data), std::string("Palm\0", 5));
    EXPECT_EQ(demo.DataBytes(), 5u);
}

struct Layout {
    const char *name;
    bool arm;
    int heapVersion;
    bool wholeCard;
};

class EveryLayout : public ::testing::TestWithParam<Layout> {};

// Everything the builder put in comes back out, in each heap version and byte order.
TEST_P(EveryLayout, ReadsBackEveryField) {
    const Layout layout = GetParam();
    TestRomOptions options;
    options.arm = layout.arm;
    options.heapVersion = layout.heapVersion;
    options.wholeCard = layout.wholeCard;
    TestRom rom(options);
    testing::AddSampleDatabases(rom, layout.arm);
    Bytes bytes = rom.Build();
    RomImage image = ReadRomImage(bytes);
    ASSERT_TRUE(image.problems.empty()) << image.problems.front();
    ASSERT_TRUE(image.big.has_value());
    EXPECT_EQ(image.wholeCard, layout.wholeCard);
    EXPECT_EQ(image.small.has_value(), layout.wholeCard);

    const RomCardHeader &card = image.big->card;
    EXPECT_EQ(card.arm, layout.arm);
    EXPECT_EQ(card.order, layout.arm ? RomByteOrder::LittleEndian : RomByteOrder::BigEndian);
    EXPECT_EQ(card.name, "PalmCard");
    EXPECT_EQ(card.companyId, Code("palm"));
    EXPECT_EQ(card.halId, Code("TEST"));
    EXPECT_EQ(card.romVersionNumber, 0x04003000u);
    EXPECT_EQ(card.romVersionString, "ROM 4.0 test");
    EXPECT_EQ(card.creationDate, 0xB6757900u);
    EXPECT_EQ(card.base, rom.BigRomBase());
    EXPECT_EQ(card.fileOffset, layout.wholeCard ? 0x8000u : 0u);
    ASSERT_TRUE(image.big->storage.has_value());
    EXPECT_EQ(image.big->storage->name, "ROM Store");
    EXPECT_EQ(image.big->heaps.at(0).version, layout.heapVersion);

    ASSERT_EQ(image.big->databases.size(), 3u);
    const RomDatabase &memo = image.big->databases[1];
    EXPECT_EQ(memo.name, "MemoDB");
    EXPECT_EQ(memo.index, 1u);
    EXPECT_EQ(memo.attributes, 0x0008);
    EXPECT_EQ(memo.version, 3);
    EXPECT_EQ(memo.modificationNumber, 7u);
    EXPECT_EQ(memo.uniqueIdSeed, 0x123456u);
    EXPECT_EQ(Text(image, memo.appInfo), std::string("APP\0\1\2\3", 7));
    EXPECT_EQ(Text(image, memo.sortInfo), "SORT");
    ASSERT_EQ(memo.records.size(), 2u);
    EXPECT_EQ(memo.records[0].attributes, 0x41);
    EXPECT_EQ(memo.records[0].uniqueId, 0x000101u);
    EXPECT_EQ(Text(image, memo.records[1].data), "two!");
    EXPECT_EQ(memo.DataBytes(), 7u + 4 + 3 + 4);

    const RomDatabase &app = image.big->databases[2];
    EXPECT_EQ(app.name, "Caf\xE9 \x80pp");
    EXPECT_TRUE(app.IsResourceDatabase());
    ASSERT_EQ(app.resources.size(), 3u);
    EXPECT_EQ(app.resources[1].type, Code("code"));
    EXPECT_EQ(app.resources[1].id, 1);
    EXPECT_EQ(Text(image, app.resources[1].data), std::string(301, 0x71));
    EXPECT_EQ(app.resources[2].id, 1000);

    if (layout.wholeCard) {
        ASSERT_EQ(image.small->databases.size(), 1u);
        EXPECT_EQ(image.small->databases[0].name, "Small ROM");
        EXPECT_EQ(image.small->databases[0].part, RomPartKind::Small);
        EXPECT_EQ(image.Databases().size(), 4u);
        EXPECT_EQ(image.Databases()[0]->name, "Small ROM");
    }
    std::vector<RomFeature> features = ReadFeatureTable(image);
    EXPECT_EQ(RomOsVersion(features), 0x04003000u);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, EveryLayout,
    ::testing::Values(Layout{"m68kHeapV1", false, 1, false}, Layout{"m68kHeapV2", false, 2, false},
                      Layout{"m68kHeapV3", false, 3, false}, Layout{"m68kHeapV4", false, 4, false},
                      Layout{"m68kWholeCard", false, 4, true}, Layout{"armHeapV4", true, 4, false},
                      Layout{"armWholeCard", true, 4, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RomReader, FollowsChainedDirectoriesSeveralHeapsAndContinuedRecordLists) {
    TestRomOptions options;
    options.heapVersion = 1;
    options.heaps = 3;
    options.databasesPerDirectory = 2;
    TestRom rom(options);
    for (int i = 0; i < 5; i++) {
        TestDatabase db;
        db.name = "DB" + std::to_string(i);
        db.type = Code("DATA");
        db.creator = Code("test");
        for (uint32_t r = 0; r < 4; r++) {
            db.records.push_back({0, uint32_t(i * 10 + r), Bytes(r + 1, uint8_t('a' + r))});
        }
        if (i == 3) {
            db.entriesInHeader = 1;
        }
        rom.Add(db);
    }
    Bytes bytes = rom.Build();
    RomImage image = ReadRomImage(bytes);
    ASSERT_TRUE(image.problems.empty()) << image.problems.front();
    EXPECT_EQ(image.big->heaps.size(), 3u);
    ASSERT_EQ(image.big->databases.size(), 5u);
    for (size_t i = 0; i < 5; i++) {
        const RomDatabase &db = image.big->databases[i];
        EXPECT_EQ(db.name, "DB" + std::to_string(i));
        ASSERT_EQ(db.records.size(), 4u) << db.name;
        EXPECT_EQ(db.records[3].uniqueId, i * 10 + 3);
        EXPECT_EQ(Text(image, db.records[3].data), "dddd");
    }
    EXPECT_NE(image.big->databases[3].nextRecordListId, 0u);
}

TEST(RomReader, KeepsEveryRecordAttributeBitAndTheWholeUniqueId) {
    TestRom rom;
    TestDatabase db;
    db.name = "Attributes";
    for (unsigned attributes = 0; attributes < 256; attributes += 0x11) {
        db.records.push_back(
            {uint8_t(attributes), 0xFEDCBA - attributes, Bytes{uint8_t(attributes)}});
    }
    db.records.push_back({kRomRecordDelete | kRomRecordSecret, 0, {}, true});
    rom.Add(db);
    Bytes bytes = rom.Build();
    RomImage image = ReadRomImage(bytes);
    ASSERT_EQ(image.big->databases.size(), 1u);
    const RomDatabase &read = image.big->databases[0];
    ASSERT_EQ(read.records.size(), db.records.size());
    for (size_t i = 0; i + 1 < db.records.size(); i++) {
        EXPECT_EQ(read.records[i].attributes, db.records[i].attributes);
        EXPECT_EQ(read.records[i].uniqueId, db.records[i].uniqueId);
    }
    // A record without data is kept, said so, and does not make the database incomplete.
    EXPECT_EQ(read.records.back().attributes, 0x90);
    EXPECT_FALSE(read.records.back().data.has_value());
    EXPECT_TRUE(read.complete);
    ASSERT_EQ(image.problems.size(), 1u);
    EXPECT_EQ(image.problems[0],
              "big ROM, database 0 'Attributes': record 16 has no data (LocalID 0)");
}

TEST(RomReader, ReadsOnlyTheFieldsEachCardHeaderVersionHas) {
    for (uint16_t version = 1; version <= 5; version++) {
        TestRomOptions options;
        options.headerVersion = version;
        TestRom rom(options);
        testing::AddSampleDatabases(rom, false);
        Bytes bytes = rom.Build();
        RomImage image = ReadRomImage(bytes);
        ASSERT_TRUE(image.big.has_value()) << version;
        EXPECT_TRUE(image.problems.empty()) << version << ": " << image.problems.front();
        const RomCardHeader &card = image.big->card;
        EXPECT_EQ(card.headerVersion, version);
        EXPECT_EQ(card.bigRomOffset, version >= 2 ? rom.BigRomBase() : 0u);
        EXPECT_EQ(card.checksumBytes != 0, version >= 2);
        EXPECT_EQ(card.companyId, version >= 5 ? Code("palm") : 0u);
        EXPECT_EQ(card.romVersionString, version >= 5 ? "ROM 4.0 test" : "");
        EXPECT_EQ(image.big->databases.size(), 3u);
        EXPECT_EQ(CheckRomChecksum(bytes).state,
                  version >= 2 ? RomChecksumState::Verified : RomChecksumState::NotCarried);
    }
}

TEST(RomReader, ReadsAnArmHeaderInTheHandheldsOrder) {
    TestRomOptions options;
    options.arm = true;
    options.heapVersion = 4;
    TestRom rom(options);
    testing::AddSampleDatabases(rom, true);
    Bytes bytes = rom.Build();
    // The handheld keeps the signature and version big-endian; a backup turns them round.
    const uint8_t handheldOrder[6] = {0xFE, 0xED, 0xBE, 0xEF, 0x00, 0x06};
    std::copy(handheldOrder, handheldOrder + 6, bytes.begin() + 8);
    RomImage image = ReadRomImage(bytes);
    EXPECT_TRUE(image.problems.empty()) << image.problems.front();
    ASSERT_TRUE(image.big.has_value());
    EXPECT_TRUE(image.big->card.arm);
    EXPECT_EQ(image.big->card.headerVersion, 6);
    EXPECT_EQ(image.big->databases.size(), 3u);
}

TEST(RomReader, FeatureTableGivesTheOsVersionAndProcessor) {
    for (bool arm : {false, true}) {
        TestRomOptions options;
        options.arm = arm;
        options.heapVersion = 4;
        options.flags = 0;
        TestRom rom(options);
        testing::AddSampleDatabases(rom, arm);
        TestDatabase more;
        more.name = "System_enUS";
        more.type = Code("ovly");
        more.creator = Code("psys");
        more.resources.push_back({Code(arm ? "afea" : "feat"), 10001,
                                  testing::FeatureTable({{1, 0x09000000}, {6, 7}}, arm)});
        rom.Add(more);
        Bytes bytes = rom.Build();
        RomImage image = ReadRomImage(bytes);
        std::vector<RomFeature> features = ReadFeatureTable(image);
        ASSERT_EQ(features.size(), 4u) << arm;
        // The default table comes first, so its OS version wins over the overlay's.
        EXPECT_EQ(RomOsVersion(features), 0x04003000u);
        EXPECT_EQ(features[3].number, 6);
        EXPECT_EQ(features[3].value, 7u);
        EXPECT_EQ(RomCpuFamily(image.big->card, features), arm ? "ARM" : "68EZ328");
    }
}

} // namespace
} // namespace ostervane
