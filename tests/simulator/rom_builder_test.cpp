// The ROM builder against the published layout of a ROM store: the worked 68k example byte for
// byte, the heap arithmetic and free chunk chain of every heap version, the ARM layout, dates,
// and descriptions it refuses.
#include <gtest/gtest.h>

#include <stdexcept>

#include "simulator/rom_builder.h"

namespace {

using namespace ostervane::simulator;
using Bytes = std::vector<uint8_t>;

uint32_t Be32(const Bytes &b, uint64_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
uint16_t Be16(const Bytes &b, uint64_t at) {
    return uint16_t(b[at] << 8 | b[at + 1]);
}
uint32_t Le32(const Bytes &b, uint64_t at) {
    return uint32_t(b[at + 3]) << 24 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 1]) << 8 | b[at];
}
uint16_t Le16(const Bytes &b, uint64_t at) {
    return uint16_t(b[at + 1] << 8 | b[at]);
}

void Put(Bytes &image, uint64_t at, const Bytes &bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + at);
}

// The 680-byte example image mapped at 0x10C08000, entered from its table.
Bytes WorkedExample() {
    Bytes image(0x2A8, 0);
    Put(image, 0x000,
        {0x00, 0x00, 0x30, 0x00, 0x10, 0xC0, 0x81, 0x00, 0xFE, 0xED, 0xBE, 0xEF, 0x00, 0x03, 0x00,
         0x20});
    Put(image, 0x010, {'P', 'a', 'l', 'm', 'C', 'a', 'r', 'd'});
    Put(image, 0x030, {'E', 'x', 'a', 'm', 'p', 'l', 'e'});
    Put(image, 0x050, {0x00, 0x01});
    Put(image, 0x056, {0x00, 0x01, 0x10, 0xC0, 0x82, 0x00});
    Put(image, 0x068, {0x10, 0xC0, 0x80, 0x00, 0x00, 0x00, 0x02, 0xA8, 0x53, 0x2C});
    Put(image, 0x100, {0xFE, 0xED, 0xFA, 0xCE, 0x00, 0x01});
    Put(image, 0x108, {'R', 'O', 'M', ' ', 'S', 't', 'o', 'r', 'e'});
    Put(image, 0x130, {0x10, 0xC0, 0x82, 0x08});
    Put(image, 0x13C, {0x10, 0xC0, 0x82, 0x2A});
    Put(image, 0x200, {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    Put(image, 0x208, {0x00, 0x01, 0x10, 0xC0, 0x82, 0x12});
    Put(image, 0x212, {0x40, 0x01, 0x00, 0x00, 0x00, 0x96});
    Put(image, 0x222, {0x00, 0x00, 0x00, 0x12, 0xF1, 0x00, 0x00, 0x00});
    Put(image, 0x22A, {0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x10, 0xC0, 0x82, 0x3C});
    Put(image, 0x234, {0x00, 0x00, 0x00, 0x62, 0xF1, 0x00, 0x00, 0x00});
    Put(image, 0x23C, {'D', 'e', 'm', 'o'});
    Put(image, 0x25C, {0x00, 0x03, 0x00, 0x01, 0xB6, 0x75, 0x79, 0x00, 0xB6, 0x75, 0x79, 0x00});
    Put(image, 0x278, {'r', 's', 'r', 'c', 'T', 'E', 'S', 'T'});
    Put(image, 0x288, {0x00, 0x01, 't', 'S', 'T', 'R', 0x03, 0xE8, 0x10, 0xC0, 0x82, 0x9E});
    Put(image, 0x296, {0x01, 0x00, 0x00, 0x0E, 0xF2, 0x00, 0x00, 0x00});
    Put(image, 0x29E, {'P', 'a', 'l', 'm', 0x00});
    return image;
}

TEST(RomBuilder, LaysOutTheWorkedExampleByteForByte) {
    RomSpec spec;
    spec.base = 0x10C08000;
    spec.card.initStack = 0x3000;
    spec.card.resetVector = 0x10C08100;
    spec.card.headerVersion = 3;
    spec.card.manufacturer = "Example";
    spec.store.localeCountry = 0;
    spec.heaps = {RomHeapSpec{3, 0x212, 0}};
    RomDatabaseSpec demo;
    demo.name = "Demo";
    demo.attributes = 0x0003;
    demo.creationDate = demo.modificationDate = PalmDate(2001, 1, 1);
    demo.type = FourCC("rsrc");
    demo.creator = FourCC("TEST");
    demo.resources = {{FourCC("tSTR"), 1000, {'P', 'a', 'l', 'm', 0}}};
    spec.databases = {demo};

    BuiltRom rom = BuildRom(spec);
    Bytes expected = WorkedExample();
    ASSERT_EQ(rom.bytes.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(rom.bytes[i], expected[i]) << "at offset 0x" << std::hex << i;
    }
    EXPECT_EQ(rom.checksum, 0x532C);
    EXPECT_EQ(rom.directoryIds, std::vector<uint32_t>{0x10C0822A});
    EXPECT_EQ(rom.databases[0].headerId, 0x10C0823Cu);
    EXPECT_EQ(rom.databases[0].entryIds, std::vector<uint32_t>{0x10C0829E});
}

// Walks one 68k heap's chunks as the layout describes them: returns the chunk header offsets.
struct WalkedHeap {
    std::vector<uint64_t> chunks;
    uint64_t terminator = 0;
};
WalkedHeap Walk(const Bytes &b, uint64_t heap, uint32_t fixedSize) {
    WalkedHeap walked;
    uint64_t at = heap + fixedSize;
    while ((Be32(b, at) & 0xFFFFFF) != 0) {
        walked.chunks.push_back(at);
        at += Be32(b, at) & 0xFFFFFF;
    }
    walked.terminator = at;
    return walked;
}

RomSpec TwoDatabases(int heapVersion, uint32_t heapSize) {
    RomSpec spec;
    spec.heaps = {RomHeapSpec{heapVersion, 0, heapSize}};
    RomDatabaseSpec records;
    records.name = "Records";
    records.appInfo = RomData{1, 2, 3};
    records.records = {{0x40, 7, RomData{9}}, {0x00, 8, std::nullopt}};
    RomDatabaseSpec resources;
    resources.name = "Resources";
    resources.attributes = 0x0001;
    resources.resources = {{FourCC("code"), 1, RomData(10, 0x4E)}};
    spec.databases = {records, resources};
    return spec;
}

TEST(RomBuilder, HeapsOfEveryVersionAddUpAndEndInAChainedFreeChunk) {
    struct Row {
        int version;
        uint16_t flags;
        uint32_t fixedSize;
    };
    for (Row row : {Row{2, 0x8001, 12}, Row{3, 0x4001, 16}, Row{4, 0x2001, 16}}) {
        SCOPED_TRACE(row.version);
        BuiltRom fitted = BuildRom(TwoDatabases(row.version, 0));
        const Bytes &f = fitted.bytes;
        uint64_t heap = fitted.OffsetOf(fitted.heapIds[0]);
        EXPECT_EQ(Be16(f, heap), row.flags);
        WalkedHeap walk = Walk(f, heap, row.fixedSize);
        // Directory, two database headers, app info, one record, one resource; LocalID 0 for
        // the record without data.
        ASSERT_EQ(walk.chunks.size(), 6u);
        uint64_t sum = 0;
        for (uint64_t chunk : walk.chunks) {
            uint32_t size = Be32(f, chunk) & 0xFFFFFF;
            sum += size;
            EXPECT_EQ(size % 2, 0u);
            EXPECT_EQ(f[chunk + 4] >> 4, 15); // locked for good
            EXPECT_EQ(Be32(f, chunk + 4) & 0xFFFFFF, 0u);
        }
        EXPECT_EQ(Be32(f, heap + 2), row.fixedSize + sum + 4);
        EXPECT_EQ(walk.terminator + 4, f.size());
        EXPECT_EQ(fitted.databases[0].entryIds[1], 0u);
        // The one-byte record: a 10-byte chunk whose last byte is size adjustment.
        uint64_t record = fitted.OffsetOf(fitted.databases[0].entryIds[0]) - 8;
        EXPECT_EQ(Be32(f, record), 0x0100000Au);
        EXPECT_EQ(f[record + 4], 0xF2); // owner 2: records and resources

        uint32_t size = uint32_t(f.size() - heap) + 64;
        BuiltRom padded = BuildRom(TwoDatabases(row.version, size));
        const Bytes &p = padded.bytes;
        EXPECT_EQ(Be32(p, heap + 2), size);
        WalkedHeap paddedWalk = Walk(p, heap, row.fixedSize);
        ASSERT_EQ(paddedWalk.chunks.size(), 7u);
        uint64_t free = paddedWalk.chunks.back();
        EXPECT_EQ(Be32(p, free), 0x80000000u | 64);
        EXPECT_EQ(uint64_t(Be32(p, free + 4)) * 2, paddedWalk.terminator - free);
        EXPECT_EQ(paddedWalk.terminator, heap + size - 4);
        ASSERT_EQ(padded.freeData.size(), 1u);
        EXPECT_EQ(padded.freeData[0].offset, free + 8);
        EXPECT_EQ(padded.freeData[0].size, 56u);
        if (row.version >= 3) {
            EXPECT_EQ(heap + 2 * uint64_t(Be32(p, heap + 6)), free);
        }
    }
}

TEST(RomBuilder, ChainsTheDirectoryAndSpreadsDatabasesOverHeaps) {
    RomSpec spec = TwoDatabases(2, 0);
    spec.heaps = {RomHeapSpec{2, 0, 0}, RomHeapSpec{3, 0, 0}};
    spec.databases[1].heap = 1;
    RomDatabaseSpec third;
    third.name = "Third";
    spec.databases.push_back(third);
    spec.databasesPerDirectory = 2;
    BuiltRom rom = BuildRom(spec);
    const Bytes &b = rom.bytes;
    EXPECT_EQ(Be16(b, 0x208), 2);
    EXPECT_EQ(Be32(b, 0x20A), rom.heapIds[0]);
    EXPECT_EQ(Be32(b, 0x20E), rom.heapIds[1]);
    ASSERT_EQ(rom.directoryIds.size(), 2u);
    EXPECT_EQ(Be32(b, 0x100 + 60), rom.directoryIds[0]);
    uint64_t first = rom.OffsetOf(rom.directoryIds[0]);
    uint64_t second = rom.OffsetOf(rom.directoryIds[1]);
    EXPECT_EQ(Be32(b, first), rom.directoryIds[1]);
    EXPECT_EQ(Be16(b, first + 4), 2);
    EXPECT_EQ(Be32(b, first + 6), rom.databases[0].headerId);
    EXPECT_EQ(Be32(b, first + 10), rom.databases[1].headerId);
    EXPECT_EQ(Be32(b, second), 0u);
    EXPECT_EQ(Be16(b, second + 4), 1);
    EXPECT_EQ(Be32(b, second + 6), rom.databases[2].headerId);
    // The resource database lives in the second heap, its header and its resource alike.
    uint64_t secondHeap = rom.OffsetOf(rom.heapIds[1]);
    EXPECT_GT(rom.OffsetOf(rom.databases[1].headerId), secondHeap);
    EXPECT_GT(rom.OffsetOf(rom.databases[1].entryIds[0]), secondHeap);
    EXPECT_LT(rom.OffsetOf(rom.databases[2].headerId), secondHeap);
    // The length reaches the end of the last heap and the CRC covers it.
    EXPECT_EQ(Be32(b, 108), b.size());
    EXPECT_EQ(Be16(b, 112), rom.checksum);
}

TEST(RomBuilder, ArmPartsAreLittleEndianAndPaddedToFourBytes) {
    RomSpec spec;
    spec.base = 0x20010000;
    spec.card.headerVersion = 6;
    spec.card.flags = 0x2080;
    spec.card.companyId = FourCC("palm");
    spec.card.romVersionNumber = 0x05453000;
    spec.store.version = 2;
    spec.store.localeLanguage = 1;
    spec.heaps = {RomHeapSpec{4, 0, 0}};
    spec.databases = {SystemDatabase(0x05403000, 0, true)};
    RomDatabaseSpec records;
    records.name = "Notes";
    records.records = {{0x1F, 0xABCDEF, RomData{1, 2, 3, 4, 5}}};
    spec.databases.push_back(records);
    BuiltRom rom = BuildRom(spec);
    const Bytes &b = rom.bytes;
    EXPECT_EQ(Bytes(b.begin() + 8, b.begin() + 14), (Bytes{0xEF, 0xBE, 0xED, 0xFE, 6, 0}));
    EXPECT_EQ(Le32(b, 88), 0x20010200u);
    EXPECT_EQ(Le32(b, 104), 0x20010000u);
    EXPECT_EQ(Le32(b, 108), b.size());
    EXPECT_EQ(Le16(b, 112), 0); // no checksum on ARM
    EXPECT_EQ(Bytes(b.begin() + 128, b.begin() + 132), (Bytes{'m', 'l', 'a', 'p'}));
    EXPECT_EQ(Le32(b, 136), 0x05453000u);
    EXPECT_EQ(Bytes(b.begin() + 0x100, b.begin() + 0x104), (Bytes{0xCE, 0xFA, 0xED, 0xFE}));
    EXPECT_EQ(Le16(b, 0x100 + 96), 1);  // language after the padding
    EXPECT_EQ(Le16(b, 0x100 + 98), 23); // country
    EXPECT_EQ(Le16(b, 0x208), 1);
    EXPECT_EQ(Le32(b, 0x20C), rom.heapIds[0]);
    uint64_t heap = rom.OffsetOf(rom.heapIds[0]);
    EXPECT_EQ(Le16(b, heap), 0x2001);
    uint64_t chunk = heap + 20;
    uint64_t sum = 0;
    while ((Le32(b, chunk) & 0xFFFFFF) != 0) {
        EXPECT_EQ((Le32(b, chunk) & 0xFFFFFF) % 4, 0u);
        sum += Le32(b, chunk) & 0xFFFFFF;
        chunk += Le32(b, chunk) & 0xFFFFFF;
    }
    EXPECT_EQ(Le32(b, heap + 4), 20 + sum + 4);
    uint64_t directory = rom.OffsetOf(rom.directoryIds[0]);
    EXPECT_EQ(Le16(b, directory + 4), 2);
    EXPECT_EQ(Le32(b, directory + 8), rom.databases[0].headerId);
    EXPECT_EQ(Le32(b, directory + 12), rom.databases[1].headerId);
    // "Boot": one 12-byte resource entry at 80, the type spelled backwards.
    uint64_t boot = rom.OffsetOf(rom.databases[0].headerId);
    EXPECT_EQ(Bytes(b.begin() + boot + 60, b.begin() + boot + 68),
              (Bytes{'c', 'r', 's', 'r', 's', 'y', 's', 'p'}));
    EXPECT_EQ(Le16(b, boot + 76), 1);
    EXPECT_EQ(Bytes(b.begin() + boot + 80, b.begin() + boot + 84), (Bytes{'a', 'e', 'f', 'a'}));
    EXPECT_EQ(Le16(b, boot + 84), 10000);
    EXPECT_EQ(Le32(b, boot + 88), rom.databases[0].entryIds[0]);
    EXPECT_EQ(Le32(b, boot - 8) & 0xFFFFFF, 8u + 80 + 12);
    // The feature table: count, padding, creator, n, padding, then number, padding, value.
    uint64_t features = rom.OffsetOf(rom.databases[0].entryIds[0]);
    EXPECT_EQ(Le16(b, features), 1);
    EXPECT_EQ(Bytes(b.begin() + features + 4, b.begin() + features + 8),
              (Bytes{'s', 'y', 's', 'p'}));
    EXPECT_EQ(Le16(b, features + 8), 2);
    EXPECT_EQ(Le16(b, features + 12), 1);
    EXPECT_EQ(Le32(b, features + 16), 0x05403000u);
    // A record entry keeps its unique id most significant byte first; 5 bytes leave 3 of
    // size adjustment.
    uint64_t notes = rom.OffsetOf(rom.databases[1].headerId);
    EXPECT_EQ(Le32(b, notes + 80), rom.databases[1].entryIds[0]);
    EXPECT_EQ(Bytes(b.begin() + notes + 84, b.begin() + notes + 88),
              (Bytes{0x1F, 0xAB, 0xCD, 0xEF}));
    uint64_t record = rom.OffsetOf(rom.databases[1].entryIds[0]) - 8;
    EXPECT_EQ(Le32(b, record), 0x03000010u);
}

TEST(RomBuilder, DatesCountSecondsFrom1904) {
    EXPECT_EQ(PalmDate(1904, 1, 1), 0u);
    EXPECT_EQ(PalmDate(2001, 1, 1), 0xB6757900u);
    EXPECT_EQ(PalmDate(1970, 1, 1), 2082844800u);
    EXPECT_EQ(PalmDate(2000, 2, 29, 23, 59, 59) + 1, PalmDate(2000, 3, 1));
}

TEST(RomBuilder, RefusesWhatCannotBeLaidOut) {
    RomSpec version1 = TwoDatabases(1, 0);
    EXPECT_THROW(BuildRom(version1), std::invalid_argument);
    RomSpec noHeap = TwoDatabases(3, 0);
    noHeap.databases[0].heap = 1;
    EXPECT_THROW(BuildRom(noHeap), std::invalid_argument);
    RomSpec tooSmall = TwoDatabases(3, 64);
    EXPECT_THROW(BuildRom(tooSmall), std::invalid_argument);
    RomSpec armV3 = TwoDatabases(3, 0);
    armV3.card.headerVersion = 6;
    EXPECT_THROW(BuildRom(armV3), std::invalid_argument);
}

} // namespace
