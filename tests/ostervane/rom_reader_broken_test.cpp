// The ROM reader on broken images: cut short anywhere, offsets and LocalIDs that lead out of the
// image or nowhere, chains that come back on themselves, chunks that overrun their heap, counts
// larger than their chunk.  Each gives a message that says where, keeps what could be read,
// and never reads outside the image (the sanitizer build checks that).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

void Put32(Bytes &bytes, uint64_t at, uint32_t value, bool arm = false) {
    for (int i = 0; i < 4; i++) {
        bytes[at + size_t(i)] = uint8_t(value >> (arm ? 8 * i : 24 - 8 * i));
    }
}

void Put16(Bytes &bytes, uint64_t at, uint16_t value) {
    bytes[at] = uint8_t(value >> 8);
    bytes[at + 1] = uint8_t(value);
}

bool HasProblem(const RomImage &image, const std::string &text) {
    return std::any_of(image.problems.begin(), image.problems.end(),
                       [&](const std::string &problem) { return problem == text; });
}

std::string AllProblems(const RomImage &image) {
    std::string all;
    for (const std::string &problem : image.problems) {
        all += problem + "\n";
    }
    return all;
}

struct Sample {
    TestRom rom;
    Bytes bytes;

    explicit Sample(TestRomOptions options = {}) : rom(options) {
        testing::AddSampleDatabases(rom, options.arm);
        bytes = rom.Build();
    }
    uint32_t LocalId(const std::string &place) const {
        return rom.BigRomBase() + uint32_t(rom.Place(place) - rom.Place("card"));
    }
};

// Reading every prefix of an image: never a crash, always a problem for a cut image, and the
// databases found are the image's own, in order, never more.
void ReadEveryPrefix(const Bytes &bytes) {
    const RomImage whole = ReadRomImage(bytes);
    ASSERT_TRUE(whole.problems.empty()) << AllProblems(whole);
    const std::vector<const RomDatabase *> all = whole.Databases();
    for (size_t size = 0; size < bytes.size(); size++) {
        Bytes cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
        RomImage image = ReadRomImage(cut);
        ASSERT_FALSE(image.problems.empty()) << "cut at " << size;
        std::vector<const RomDatabase *> found = image.Databases();
        ASSERT_LE(found.size(), all.size());
        for (size_t i = 0; i < found.size(); i++) {
            EXPECT_EQ(found[i]->name, all[i]->name) << "cut at " << size;
        }
        ReadFeatureTable(image);
    }
}

TEST(RomReaderBroken, CutShortAtEveryByte) {
    for (bool arm : {false, true}) {
        for (int heapVersion : {1, 2, 4}) {
            if (arm && heapVersion != 4) {
                continue;
            }
            TestRomOptions options;
            options.arm = arm;
            options.heapVersion = heapVersion;
            options.wholeCard = heapVersion == 4;
            SCOPED_TRACE(std::string(arm ? "ARM" : "68k") + " heap version " +
                         std::to_string(heapVersion));
            ReadEveryPrefix(Sample(options).bytes);
        }
    }
}

TEST(RomReaderBroken, CutShortInsideEachStructureSaysWhere) {
    Sample sample;
    auto cutAt = [&](const std::string &place, uint64_t extra) {
        Bytes cut(sample.bytes.begin(),
                  sample.bytes.begin() + std::ptrdiff_t(sample.rom.Place(place) + extra));
        return ReadRomImage(cut);
    };
    RomImage image = cutAt("card", 100);
    EXPECT_TRUE(HasProblem(image, "no card header at the start of the image: the image ends "
                                  "before a card header at 0x0 is complete"))
        << AllProblems(image);
    image = cutAt("storage", 10);
    EXPECT_TRUE(HasProblem(image, "big ROM, storage header: cut short by the end of the image "
                                  "at 0x10A"))
        << AllProblems(image);
    image = cutAt("heap0", 5);
    EXPECT_TRUE(HasProblem(image, "big ROM, heap 0: its header at 0x210 runs past the end of "
                                  "the image"))
        << AllProblems(image);
    // A cut inside database 2's last resource: the chunks before it are read, and so is every
    // entry they hold.
    image = cutAt("db2.e2", 2);
    char text[160];
    std::snprintf(text, sizeof text,
                  "big ROM, heap 0, chunk at 0x%llX: its size 14 runs past the end of the image",
                  (unsigned long long)sample.rom.Place("chunk:db2.e2"));
    EXPECT_TRUE(HasProblem(image, text)) << AllProblems(image);
    ASSERT_EQ(image.big->databases.size(), 3u);
    EXPECT_TRUE(image.big->databases[1].complete);
    EXPECT_FALSE(image.big->databases[2].complete);
    EXPECT_EQ(image.big->databases[2].resources.size(), 3u);
    EXPECT_FALSE(image.big->databases[2].resources[2].data.has_value());
}

TEST(RomReaderBroken, RecordPastTheEndOfTheImageIsNamedAndTheRestKept) {
    Sample sample;
    Put32(sample.bytes, sample.rom.Place("db1.entries") + 8, 0xFFFFFF00);
    RomImage image = ReadRomImage(sample.bytes);
    EXPECT_TRUE(HasProblem(image, "big ROM, database 1 'MemoDB': record 1 lies past the end of "
                                  "the image (LocalID 0xFFFFFF00)"))
        << AllProblems(image);
    ASSERT_EQ(image.big->databases.size(), 3u);
    const RomDatabase &memo = image.big->databases[1];
    EXPECT_FALSE(memo.complete);
    ASSERT_EQ(memo.records.size(), 2u);
    EXPECT_TRUE(memo.records[0].data.has_value());
    EXPECT_FALSE(memo.records[1].data.has_value());
    EXPECT_TRUE(image.big->databases[2].complete);
}

TEST(RomReaderBroken, LocalIdsThatNameNoChunk) {
    Sample sample;
    const uint64_t entries = sample.rom.Place("db2.entries");
    Put32(sample.bytes, entries + 6, sample.LocalId("db2.e0") + 2);  // inside a chunk
    Put32(sample.bytes, entries + 16, sample.LocalId("db2.e1") + 1); // a handle
    Put32(sample.bytes, entries + 26, 0x00000100);                   // before the ROM
    RomImage image = ReadRomImage(sample.bytes);
    const uint32_t inside = sample.LocalId("db2.e0") + 2;
    const uint32_t odd = sample.LocalId("db2.e1") + 1;
    const std::string where = "big ROM, database 2 'Caf\xC3\xA9 \xE2\x82\xAC"
                              "pp': ";
    char text[160];
    std::snprintf(text, sizeof text,
                  "resource 0 ('code' 0) is not the start of a chunk (LocalID 0x%X)", inside);
    EXPECT_TRUE(HasProblem(image, where + text)) << AllProblems(image);
    std::snprintf(
        text, sizeof text,
        "resource 1 ('code' 1) is a handle (LocalID 0x%X), which a ROM store does not use", odd);
    EXPECT_TRUE(HasProblem(image, where + text)) << AllProblems(image);
    EXPECT_TRUE(HasProblem(image, where + "resource 2 ('tAIN' 1000) lies before the start of the "
                                          "part (LocalID 0x100)"))
        << AllProblems(image);
    EXPECT_FALSE(image.big->databases[2].complete);
    EXPECT_EQ(image.big->databases[2].resources.size(), 3u);
}

TEST(RomReaderBroken, DataSharedByTwoEntriesIsReported) {
    Sample sample;
    Put32(sample.bytes, sample.rom.Place("db1.entries") + 8, sample.LocalId("db1.e0"));
    RomImage image = ReadRomImage(sample.bytes);
    char text[160];
    std::snprintf(text, sizeof text,
                  "big ROM, database 1 'MemoDB': record 1 shares its data (LocalID 0x%X) with "
                  "database 1 'MemoDB', record 0",
                  sample.LocalId("db1.e0"));
    EXPECT_TRUE(HasProblem(image, text)) << AllProblems(image);
    EXPECT_TRUE(image.big->databases[1].complete);
}

TEST(RomReaderBroken, DirectoryChainThatComesBackEndsThere) {
    TestRomOptions options;
    options.databasesPerDirectory = 1;
    Sample sample(options);
    const uint64_t last = sample.rom.Place("directory2");
    Put32(sample.bytes, last, sample.LocalId("directory0"));
    RomImage image = ReadRomImage(sample.bytes);
    char text[160];
    std::snprintf(text, sizeof text,
                  "big ROM, database directory: its chain comes back to 0x%X; it ends there",
                  sample.LocalId("directory0"));
    EXPECT_TRUE(HasProblem(image, text)) << AllProblems(image);
    EXPECT_EQ(image.big->databases.size(), 3u);

    // A directory that names itself as its continuation.
    Put32(sample.bytes, sample.rom.Place("directory0"), sample.LocalId("directory0"));
    image = ReadRomImage(sample.bytes);
    EXPECT_EQ(image.big->databases.size(), 1u);
    EXPECT_EQ(image.problems.size(), 1u) << AllProblems(image);
}

TEST(RomReaderBroken, DatabaseListedTwiceIsSkipped) {
    Sample sample;
    Put32(sample.bytes, sample.rom.Place("directory0") + 14, sample.LocalId("db0"));
    RomImage image = ReadRomImage(sample.bytes);
    char text[160];
    std::snprintf(text, sizeof text,
                  "big ROM, database 2: it is database 0 again (LocalID 0x%X); skipped",
                  sample.LocalId("db0"));
    EXPECT_TRUE(HasProblem(image, text)) << AllProblems(image);
    EXPECT_EQ(image.big->databases.size(), 2u);
}

TEST(RomReaderBroken, RecordListChainThatComesBackEndsThere) {
    TestRom rom;
    TestDatabase db;
    db.name = "Looped";
    for (uint32_t i = 0; i < 3; i++) {
        db.records.push_back({0, i, Bytes{uint8_t(i)}});
    }
    db.entriesInHeader = 1;
    rom.Add(db);
    Bytes bytes = rom.Build();
    const uint32_t list = rom.BigRomBase() + uint32_t(rom.Place("db0.list"));
    Put32(bytes, rom.Place("db0.list"), list);
    RomImage image = ReadRomImage(bytes);
    char text[160];
    std::snprintf(text, sizeof text,
                  "big ROM, database 0 'Looped': its record lists come back to 0x%X; they end "
                  "there",
                  list);
    EXPECT_TRUE(HasProblem(image, text)) << AllProblems(image);
    EXPECT_EQ(image.big->databases[0].records.size(), 3u);
    EXPECT_FALSE(image.big->databases[0].complete);
}

TEST(RomReaderBroken, RecordListSharedByTwoDatabasesIsReadOnce) {
    TestRom rom;
    for (const char *name : {"First", "Second"}) {
        TestDatabase db;
        db.name = name;
        for (uint32_t i = 0; i < 3; i++) {
            db.records.push_back({0, i, Bytes{uint8_t(i)}});
        }
        db.entriesInHeader = 1;
        rom.Add(db);
    }
    Bytes bytes = rom.Build();
    const uint32_t firstList = rom.BigRomBase() + uint32_t(rom.Place("db0.list"));
    Put32(bytes, rom.Place("db1") + 72, firstList);
    RomImage image = ReadRomImage(bytes);
    char text[160];
    std::snprintf(text, sizeof text,
                  "big ROM, database 1 'Second', record list at 0x%X: it is database 0's "
                  "already; it is not read again",
                  firstList);
    EXPECT_TRUE(HasProblem(image, text)) << AllProblems(image);
    EXPECT_TRUE(image.big->databases[0].complete);
    EXPECT_FALSE(image.big->databases[1].complete);
    EXPECT_EQ(image.big->databases[1].records.size(), 1u);
}

TEST(RomReaderBroken, HeapListedTwiceOrOverlappingIsWalkedOnce) {
    TestRomOptions options;
    options.heapVersion = 2;
    options.heaps = 2;
    Sample sample(options);
    const uint64_t ids = sample.rom.Place("heapList") + 2;
    Put32(sample.bytes, ids + 4, sample.LocalId("heap0") + 4);
    RomImage image = ReadRomImage(sample.bytes);
    EXPECT_TRUE(HasProblem(image, "big ROM, heap 1: it overlaps heap 0; skipped"))
        << AllProblems(image);
    // Database 1 lives in the heap no longer read; the others are still found.
    ASSERT_EQ(image.big->databases.size(), 2u);
    EXPECT_EQ(image.big->databases[1].name, "Caf\xE9 \x80pp");
}

TEST(RomReaderBroken, ChunkRunningPastItsHeap) {
    for (int heapVersion : {1, 3}) {
        Sample sample([&] {
            TestRomOptions options;
            options.heapVersion = heapVersion;
            return options;
        }());
        const uint64_t chunk = sample.rom.Place("chunk:db1");
        if (heapVersion == 1) {
            Put16(sample.bytes, chunk, 0xFFF0);
        } else {
            Put32(sample.bytes, chunk, 0x00FFFFF0);
        }
        RomImage image = ReadRomImage(sample.bytes);
        const std::string problems = AllProblems(image);
        char text[160];
        std::snprintf(text, sizeof text,
                      "big ROM, heap 0, chunk at 0x%llX: its size %u runs past "
                      "the heap's end",
                      (unsigned long long)chunk, heapVersion == 1 ? 0xFFF0u : 0xFFFFF0u);
        EXPECT_NE(problems.find(text), std::string::npos) << problems;
        // The chunks before it are kept; database 0's header is one of them.
        ASSERT_EQ(image.big->databases.size(), 1u) << problems;
        EXPECT_EQ(image.big->databases[0].name, "System");
    }
}

TEST(RomReaderBroken, ChunkSmallerThanItsHeaderOrWithTooLargeAnAdjustment) {
    Sample sample;
    const uint64_t chunk = sample.rom.Place("chunk:db2");
    Put32(sample.bytes, chunk, 0x00000004);
    RomImage image = ReadRomImage(sample.bytes);
    EXPECT_NE(AllProblems(image).find("its size 4 is smaller than its header"), std::string::npos)
        << AllProblems(image);

    Sample adjusted;
    const uint64_t at = adjusted.rom.Place("chunk:db2");
    adjusted.bytes[at] = 0x0F;
    adjusted.bytes[at + 3] = 0x0A; // size 10: two bytes of data, adjustment 15
    image = ReadRomImage(adjusted.bytes);
    EXPECT_NE(AllProblems(image).find("its size adjustment 15 is larger than its data"),
              std::string::npos)
        << AllProblems(image);
}

TEST(RomReaderBroken, CountsLargerThanTheirChunk) {
    Sample sample;
    Put16(sample.bytes, sample.rom.Place("directory0") + 4, 1000);
    Put16(sample.bytes, sample.rom.Place("db2") + 76, 50);
    RomImage image = ReadRomImage(sample.bytes);
    EXPECT_TRUE(HasProblem(image, "big ROM, database directory: it names 1000 databases but its "
                                  "chunk has room for 3"))
        << AllProblems(image);
    ASSERT_EQ(image.big->databases.size(), 3u);
    // 78 header bytes, three entries of 10 and the two spare bytes: room for three.
    char text[200];
    std::snprintf(text, sizeof text,
                  "big ROM, database 2 'Caf\xC3\xA9 \xE2\x82\xAC"
                  "pp': its entry list at 0x%llX names 50 resources but its chunk has room for 3",
                  (unsigned long long)sample.rom.Place("db2"));
    EXPECT_TRUE(HasProblem(image, text)) << AllProblems(image);
    EXPECT_EQ(image.big->databases[2].resources.size(), 3u);
    EXPECT_FALSE(image.big->databases[2].complete);
}

TEST(RomReaderBroken, HeapListAndStoreThatCannotBeRead) {
    Sample sample;
    Put16(sample.bytes, sample.rom.Place("heapList"), 0);
    RomImage image = ReadRomImage(sample.bytes);
    EXPECT_TRUE(
        HasProblem(image, "big ROM, heap list: it names 0 heaps; a ROM store has 1 to 128"));
    EXPECT_TRUE(image.big->databases.empty());

    Sample unsigned_store;
    Put32(unsigned_store.bytes, unsigned_store.rom.Place("storage"), 0x12345678);
    image = ReadRomImage(unsigned_store.bytes);
    EXPECT_TRUE(HasProblem(image, "big ROM, storage header at 0x100: no store signature"));
    EXPECT_TRUE(image.big.has_value());

    Sample far_heap;
    Put32(far_heap.bytes, far_heap.rom.Place("heapList") + 2, 0xFFFFFFF0);
    image = ReadRomImage(far_heap.bytes);
    EXPECT_TRUE(HasProblem(image, "big ROM, heap 0: lies past the end of the image (LocalID "
                                  "0xFFFFFFF0)"))
        << AllProblems(image);
}

TEST(RomReaderBroken, NoCardHeaderAtAll) {
    Bytes nothing(4096, 0xFF);
    RomImage image = ReadRomImage(nothing);
    EXPECT_FALSE(image.big.has_value());
    EXPECT_EQ(image.MainPart(), nullptr);
    EXPECT_EQ(image.problems,
              std::vector<std::string>{"no card header at the start of the image: no card "
                                       "header signature"});
    EXPECT_TRUE(ReadRomImage({}).Databases().empty());
}

TEST(RomReaderBroken, SmallRomWhoseBigRomIsMissing) {
    TestRomOptions options;
    options.wholeCard = true;
    Sample sample(options);
    Bytes smallOnly(sample.bytes.begin(), sample.bytes.begin() + 0x8000);
    RomImage image = ReadRomImage(smallOnly);
    ASSERT_TRUE(image.small.has_value());
    EXPECT_FALSE(image.big.has_value());
    EXPECT_EQ(image.small->databases.size(), 1u);
    EXPECT_TRUE(
        HasProblem(image, "small ROM: the big ROM it names (0x10C08000) is not in the image"))
        << AllProblems(image);
}

TEST(RomReaderBroken, BigRomHeaderTheSmallRomLeadsToIsOfNoKnownLayout) {
    TestRomOptions options;
    options.wholeCard = true;
    Sample sample(options);
    sample.bytes[0x8000 + 15] |= kRomCardFlagRamOnly;
    RomImage image = ReadRomImage(sample.bytes);
    EXPECT_TRUE(HasProblem(image, "big ROM card header at 0x8000: the card header is that of a "
                                  "RAM-only card"))
        << AllProblems(image);
    EXPECT_FALSE(image.big.has_value());
    ASSERT_TRUE(image.small.has_value());
    EXPECT_EQ(image.small->databases.size(), 1u);
}

TEST(RomReaderBroken, ArmHeapOfAnUnknownVersionIsNotGuessedAt) {
    TestRomOptions options;
    options.arm = true;
    options.heapVersion = 4;
    Sample sample(options);
    const uint64_t heap = sample.rom.Place("heap0");
    sample.bytes[heap + 1] = 0x40; // version 3 flags, little-endian
    sample.bytes[heap] = 0x01;
    RomImage image = ReadRomImage(sample.bytes);
    EXPECT_TRUE(HasProblem(image, "big ROM, heap 0: a version 3 heap: database list not "
                                  "supported for this ROM"))
        << AllProblems(image);
    EXPECT_FALSE(image.big->databasesSupported);
    EXPECT_TRUE(image.big->databases.empty());

    // A version 1 heap's header is shorter on 68k; an ARM one is still read as 20 bytes.
    sample.bytes[heap + 1] = 0x00;
    Bytes cut(sample.bytes.begin(), sample.bytes.begin() + std::ptrdiff_t(heap + 12));
    image = ReadRomImage(cut);
    char text[120];
    std::snprintf(text, sizeof text,
                  "big ROM, heap 0: its header at 0x%llX runs past the end of the image",
                  (unsigned long long)heap);
    EXPECT_TRUE(HasProblem(image, text)) << AllProblems(image);
}

TEST(RomReaderBroken, FreeListThatLeadsNowhere) {
    Sample sample;
    const uint64_t heap = sample.rom.Place("heap0");
    Put32(sample.bytes, heap + 6, 3); // 6 bytes into the heap header: no chunk there
    RomImage image = ReadRomImage(sample.bytes);
    char text[120];
    std::snprintf(text, sizeof text,
                  "big ROM, heap 0: its free-chunk list leads to 0x%llX, which is no free chunk",
                  (unsigned long long)(heap + 6));
    EXPECT_TRUE(HasProblem(image, text)) << AllProblems(image);
    EXPECT_EQ(image.big->databases.size(), 3u);
}

TEST(RomReaderBroken, FeatureTableWithCountsLargerThanItsResource) {
    Sample sample;
    const uint64_t table = sample.rom.Place("db0.e0");
    Put16(sample.bytes, table + 6, 500); // the 'psys' group's feature count
    RomImage image = ReadRomImage(sample.bytes);
    std::vector<std::string> problems;
    std::vector<RomFeature> features = ReadFeatureTable(image, &problems);
    EXPECT_TRUE(features.empty());
    EXPECT_EQ(problems, std::vector<std::string>{"big ROM, database 0 'System', resource 'feat' "
                                                 "10000: group 'psys' has 500 features, more "
                                                 "than the resource holds"});
    EXPECT_FALSE(RomOsVersion(features).has_value());
}

} // namespace
} // namespace ostervane
