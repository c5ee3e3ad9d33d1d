// Lays out test ROM images: headers, heap list, heaps of chunks, directory, database headers
// and data, in the byte order and layout of a 68k or an ARM ROM.
#include "test_rom.h"

#include <cstring>

#include "ostervane/core/rom_checksum.h"

namespace ostervane::testing {
namespace {

constexpr uint64_t kCardSize = 0x100;
constexpr uint64_t kHeapListAt = 0x208;
constexpr uint64_t kSmallRomSpan = 0x8000; // a whole card's big ROM starts this far in

class Out {
public:
    Out(Bytes &bytes, bool littleEndian) : bytes_(bytes), le_(littleEndian) {}

    void U8(uint64_t at, uint8_t value) { Grow(at, 1)[0] = value; }
    void U16(uint64_t at, uint16_t value) {
        uint8_t *p = Grow(at, 2);
        p[le_ ? 1 : 0] = uint8_t(value >> 8);
        p[le_ ? 0 : 1] = uint8_t(value);
    }
    void U32(uint64_t at, uint32_t value) {
        uint8_t *p = Grow(at, 4);
        for (int i = 0; i < 4; i++) {
            p[le_ ? i : 3 - i] = uint8_t(value >> (8 * i));
        }
    }
    void Raw(uint64_t at, const void *data, size_t size) {
        if (size > 0) {
            std::memcpy(Grow(at, size), data, size);
        }
    }
    void Text(uint64_t at, const std::string &text, size_t field) {
        Raw(at, text.data(), std::min(text.size(), field));
    }

private:
    uint8_t *Grow(uint64_t at, size_t count) {
        if (bytes_.size() < at + count) {
            bytes_.resize(at + count);
        }
        return &bytes_[at];
    }
    Bytes &bytes_;
    bool le_;
};

struct PlannedChunk {
    int heap = 0;
    uint8_t owner = 2;
    uint64_t dataSize = 0;
    std::string place; // name in the places map of the chunk's data
    uint64_t headerOffset = 0;
    uint32_t localId = 0;
};

uint64_t Align(uint64_t value, uint64_t to) {
    return (value + to - 1) / to * to;
}

class PartBuilder {
    struct PlannedDatabase {
        size_t header = 0;
        size_t inHeader = 0;
        std::optional<size_t> list, appInfo, sortInfo;
        std::vector<size_t> entries; // SIZE_MAX: no data
        bool resource = false;
    };

public:
    PartBuilder(Bytes &image, const TestRomOptions &options, uint64_t fileOffset, uint32_t base,
                std::string prefix, Places &places)
        : out_(image, options.arm), options_(options), at_(fileOffset), base_(base),
          prefix_(std::move(prefix)), places_(places) {}

    // Lays out the part; returns where it ends.
    uint64_t Build(const std::vector<TestDatabase> &databases, uint32_t bigRomAddress) {
        PlanChunks(databases);
        PlaceHeaps();
        WriteStore(databases);
        WriteCard(bigRomAddress);
        return end_;
    }

private:
    bool Arm() const { return options_.arm; }
    uint64_t ChunkHeader() const { return options_.heapVersion == 1 ? 6 : 8; }
    uint64_t HeapHeader() const {
        return Arm() ? 20 : options_.heapVersion == 1 ? 8 : options_.heapVersion == 2 ? 12 : 16;
    }
    uint64_t Terminator() const { return options_.heapVersion == 1 ? 2 : 4; }
    uint64_t Alignment() const { return Arm() ? 4 : 2; }
    uint64_t ResourceEntry() const { return Arm() ? 12 : 10; }
    uint64_t FirstEntry() const { return Arm() ? 80 : 78; }

    void Place(const std::string &name, uint64_t offset) { places_[prefix_ + name] = offset; }

    size_t Plan(int heap, uint8_t owner, uint64_t size, const std::string &place) {
        chunks_.push_back({heap, owner, size, place});
        return chunks_.size() - 1;
    }

    void PlanChunks(const std::vector<TestDatabase> &databases) {
        const size_t perDirectory =
            options_.databasesPerDirectory == 0 ? databases.size() : options_.databasesPerDirectory;
        for (size_t first = 0; first == 0 || first < databases.size(); first += perDirectory) {
            const size_t count = std::min(perDirectory, databases.size() - first);
            directories_.push_back({first, count});
            Plan(0, 1, (Arm() ? 8 : 6) + 4 * count,
                 "directory" + std::to_string(directories_.size() - 1));
            if (perDirectory == 0) {
                break;
            }
        }
        for (size_t i = 0; i < databases.size(); i++) {
            PlanDatabase(databases[i], i, int(i % size_t(options_.heaps)));
        }
    }

    void PlanDatabase(const TestDatabase &db, size_t index, int heap) {
        const std::string name = "db" + std::to_string(index);
        const bool resource = !db.resources.empty() || (db.attributes & 1);
        const size_t entries = resource ? db.resources.size() : db.records.size();
        const size_t inHeader = std::min(entries, db.entriesInHeader.value_or(entries));
        const uint64_t entrySize = resource ? ResourceEntry() : 8;
        PlannedDatabase planned;
        planned.header = Plan(heap, 1, FirstEntry() + inHeader * entrySize + (Arm() ? 0 : 2), name);
        planned.inHeader = inHeader;
        if (inHeader < entries) {
            planned.list = Plan(heap, 1, 6 + (entries - inHeader) * 8 + 2, name + ".list");
        }
        if (db.appInfo) {
            planned.appInfo = Plan(heap, 2, db.appInfo->size(), name + ".appInfo");
        }
        if (db.sortInfo) {
            planned.sortInfo = Plan(heap, 2, db.sortInfo->size(), name + ".sortInfo");
        }
        for (size_t e = 0; e < entries; e++) {
            const bool noData = !resource && db.records[e].noData;
            const uint64_t size =
                resource ? db.resources[e].data.size() : db.records[e].data.size();
            planned.entries.push_back(
                noData ? SIZE_MAX : Plan(heap, 2, size, name + ".e" + std::to_string(e)));
        }
        planned.resource = resource;
        databases_.push_back(planned);
    }

    uint32_t LocalIdOf(uint64_t offset) const { return uint32_t(base_ + (offset - at_)); }

    void PlaceHeaps() {
        const uint64_t listAt = at_ + kHeapListAt;
        const uint64_t idsAt = listAt + (Arm() ? 4 : 2);
        uint64_t heapAt = Align(idsAt + 4 * uint64_t(options_.heaps), 4);
        Place("heapList", listAt);
        out_.U16(listAt, uint16_t(options_.heaps));
        for (int heap = 0; heap < options_.heaps; heap++) {
            Place("heap" + std::to_string(heap), heapAt);
            out_.U32(idsAt + 4 * uint64_t(heap), LocalIdOf(heapAt));
            uint64_t chunkAt = heapAt + HeapHeader();
            for (PlannedChunk &chunk : chunks_) {
                if (chunk.heap != heap) {
                    continue;
                }
                chunk.headerOffset = chunkAt;
                chunk.localId = LocalIdOf(chunkAt + ChunkHeader());
                Place(chunk.place, chunkAt + ChunkHeader());
                Place("chunk:" + chunk.place, chunkAt);
                chunkAt += ChunkHeader() + Align(chunk.dataSize, Alignment());
            }
            const uint64_t heapSize = chunkAt + Terminator() - heapAt;
            WriteHeapHeader(heapAt, heapSize);
            Terminator() == 2 ? out_.U16(chunkAt, 0) : out_.U32(chunkAt, 0);
            end_ = chunkAt + Terminator();
            heapAt = Align(end_, 4);
        }
        for (const PlannedChunk &chunk : chunks_) {
            WriteChunkHeader(chunk);
        }
    }

    void WriteHeapHeader(uint64_t at, uint64_t size) {
        const int version = options_.heapVersion;
        const uint16_t flags = version == 4   ? 0x2001
                               : version == 3 ? 0x4001
                               : version == 2 ? 0x8001
                                              : 0x0001;
        out_.U16(at, flags);
        if (Arm()) {
            out_.U32(at + 4, uint32_t(size));
        } else if (version == 1) {
            out_.U16(at + 2, uint16_t(size));
        } else {
            out_.U32(at + 2, uint32_t(size));
        }
    }

    void WriteChunkHeader(const PlannedChunk &chunk) {
        const uint64_t padded = Align(chunk.dataSize, Alignment());
        const uint64_t size = ChunkHeader() + padded;
        const uint8_t sizeAdj = uint8_t(padded - chunk.dataSize);
        const uint64_t at = chunk.headerOffset;
        if (options_.heapVersion == 1) {
            out_.U16(at, uint16_t(size));
            out_.U8(at + 2, uint8_t(0xF0 | chunk.owner));
            out_.U8(at + 3, sizeAdj);
            return;
        }
        out_.U32(at, uint32_t(sizeAdj) << 24 | uint32_t(size));
        out_.U32(at + 4, 0xF0000000u | uint32_t(chunk.owner) << 24);
    }

    uint32_t IdOf(size_t chunk) const { return chunk == SIZE_MAX ? 0 : chunks_[chunk].localId; }
    uint64_t DataOf(size_t chunk) const { return chunks_[chunk].headerOffset + ChunkHeader(); }

    void WriteStore(const std::vector<TestDatabase> &databases) {
        const uint64_t store = at_ + kCardSize;
        Place("storage", store);
        out_.U32(store, 0xFEEDFACE);
        out_.U16(store + 4, Arm() ? 2 : 1);
        out_.Text(store + 8, "ROM Store", 32);
        out_.U32(store + 48, LocalIdOf(at_ + kHeapListAt));
        out_.U32(store + 60, IdOf(0));
        out_.U32(at_ + 0x204, 0xFFFFFFFF); // the RAM block list's one entry
        for (size_t d = 0; d < directories_.size(); d++) {
            const uint64_t at = DataOf(d);
            out_.U32(at, d + 1 < directories_.size() ? IdOf(d + 1) : 0);
            out_.U16(at + 4, uint16_t(directories_[d].second));
            for (size_t i = 0; i < directories_[d].second; i++) {
                const size_t db = directories_[d].first + i;
                out_.U32(at + (Arm() ? 8 : 6) + 4 * i, IdOf(databases_[db].header));
            }
        }
        for (size_t i = 0; i < databases.size(); i++) {
            WriteDatabase(databases[i], databases_[i], "db" + std::to_string(i));
        }
    }

    void WriteDatabase(const TestDatabase &db, const PlannedDatabase &planned,
                       const std::string &name) {
        const uint64_t at = DataOf(planned.header);
        out_.Text(at, db.name, 32);
        out_.U16(at + 32, uint16_t(db.attributes | (planned.resource ? 1 : 0)));
        out_.U16(at + 34, db.version);
        out_.U32(at + 36, db.creationDate);
        out_.U32(at + 40, db.modificationDate);
        out_.U32(at + 44, db.lastBackupDate);
        out_.U32(at + 48, db.modificationNumber);
        out_.U32(at + 52, planned.appInfo ? IdOf(*planned.appInfo) : 0);
        out_.U32(at + 56, planned.sortInfo ? IdOf(*planned.sortInfo) : 0);
        out_.U32(at + 60, db.type);
        out_.U32(at + 64, db.creator);
        out_.U32(at + 68, db.uniqueIdSeed);
        out_.U32(at + 72, planned.list ? IdOf(*planned.list) : 0);
        out_.U16(at + 76, uint16_t(planned.inHeader));
        Place(name + ".entries", at + FirstEntry());
        if (planned.appInfo) {
            out_.Raw(DataOf(*planned.appInfo), db.appInfo->data(), db.appInfo->size());
        }
        if (planned.sortInfo) {
            out_.Raw(DataOf(*planned.sortInfo), db.sortInfo->data(), db.sortInfo->size());
        }
        uint64_t entryAt = at + FirstEntry();
        for (size_t e = 0; e < planned.entries.size(); e++) {
            if (e == planned.inHeader) {
                const uint64_t list = DataOf(*planned.list);
                out_.U16(list + 4, uint16_t(planned.entries.size() - planned.inHeader));
                entryAt = list + 6;
            }
            WriteEntry(db, planned, e, entryAt);
            entryAt += planned.resource ? ResourceEntry() : 8;
        }
    }

    void WriteEntry(const TestDatabase &db, const PlannedDatabase &planned, size_t e, uint64_t at) {
        const size_t chunk = planned.entries[e];
        if (planned.resource) {
            const TestResource &resource = db.resources[e];
            out_.U32(at, resource.type);
            out_.U16(at + 4, resource.id);
            out_.U32(at + (Arm() ? 8 : 6), IdOf(chunk));
            out_.Raw(DataOf(chunk), resource.data.data(), resource.data.size());
            return;
        }
        const TestRecord &record = db.records[e];
        out_.U32(at, IdOf(chunk));
        out_.U8(at + 4, record.attributes);
        out_.U8(at + 5, uint8_t(record.uniqueId >> 16));
        out_.U8(at + 6, uint8_t(record.uniqueId >> 8));
        out_.U8(at + 7, uint8_t(record.uniqueId));
        if (chunk != SIZE_MAX) {
            out_.Raw(DataOf(chunk), record.data.data(), record.data.size());
        }
    }

    void WriteCard(uint32_t bigRomAddress) {
        Place("card", at_);
        const TestRomOptions &o = options_;
        const uint64_t at = at_;
        if (Arm()) {
            out_.U32(at, 0xEA00001E); // a branch
            out_.U32(at + 8, 0xFEEDBEEF);
            out_.U16(at + 12, 6);
            out_.U16(at + 14, 0x2080);
            out_.Text(at + 16, o.cardName, 32);
            out_.Text(at + 48, o.manufacturer, 32);
            out_.U16(at + 80, 1);
            out_.U16(at + 82, 1);
            out_.U32(at + 84, o.creationDate);
            out_.U32(at + 88, base_ + 0x200);
            out_.U32(at + 104, bigRomAddress);
            out_.U32(at + 108, uint32_t(end_ - at_));
            out_.U32(at + 128, o.companyId);
            out_.U32(at + 132, o.halId);
            out_.U32(at + 136, o.romVersion);
            out_.Text(at + 140, o.romVersionString, 32);
            return;
        }
        out_.U32(at, 0x3000);
        out_.U32(at + 4, base_ + 0x100);
        out_.U32(at + 8, 0xFEEDBEEF);
        out_.U16(at + 12, o.headerVersion);
        out_.U16(at + 14, o.flags);
        out_.Text(at + 16, o.cardName, 32);
        out_.Text(at + 48, o.manufacturer, 32);
        out_.U16(at + 80, 1);
        out_.U32(at + 82, o.creationDate);
        out_.U16(at + 86, 1);
        out_.U32(at + 88, base_ + 0x200);
        if (o.headerVersion >= 2) {
            out_.U32(at + 104, bigRomAddress);
            out_.U32(at + 108, uint32_t(end_ - at_));
        }
        if (o.headerVersion >= 5) {
            out_.U32(at + 126, o.companyId);
            out_.U32(at + 130, o.halId);
            out_.U32(at + 134, o.romVersion);
            out_.Text(at + 138, o.romVersionString, 32);
        }
    }

    Out out_;
    const TestRomOptions &options_;
    uint64_t at_;
    uint32_t base_;
    std::string prefix_;
    Places &places_;
    std::vector<PlannedChunk> chunks_;
    std::vector<std::pair<size_t, size_t>> directories_; // first database, count
    std::vector<PlannedDatabase> databases_;
    uint64_t end_ = 0;
};

// The CRC-16 a 68k header of version 2 or later carries, over its whole part.
void Seal(Bytes &image, uint64_t at, uint64_t end) {
    std::span<const uint8_t> part(image.data() + at, end - at);
    uint16_t crc = RomCrc16(part.first(112));
    crc = RomCrc16(part.subspan(114), crc);
    image[at + 112] = uint8_t(crc >> 8);
    image[at + 113] = uint8_t(crc);
}

} // namespace

uint32_t Code(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint8_t(text[3]);
}

Bytes TestRom::Build() {
    places_.clear();
    Bytes image;
    uint64_t bigAt = 0;
    if (options_.wholeCard) {
        TestRomOptions small = options_;
        small.heaps = 1;
        small.databasesPerDirectory = 0;
        TestDatabase boot;
        boot.name = "Small ROM";
        boot.type = Code("boot");
        boot.creator = Code("psys");
        boot.resources.push_back({Code("boot"), 10000, Bytes(64, 0x4E)});
        const uint32_t smallBase = options_.base - uint32_t(kSmallRomSpan);
        PartBuilder builder(image, small, 0, smallBase, "small.", places_);
        const uint64_t smallEnd = builder.Build({boot}, options_.base);
        image.resize(kSmallRomSpan);
        if (!options_.arm) {
            Seal(image, 0, smallEnd);
        }
        bigAt = kSmallRomSpan;
    }
    PartBuilder builder(image, options_, bigAt, options_.base, "", places_);
    const uint64_t end = builder.Build(databases_, options_.base);
    image.resize(end);
    if (!options_.arm && options_.headerVersion >= 2) {
        Seal(image, bigAt, end);
    }
    return image;
}

Bytes FeatureTable(const std::vector<std::pair<uint16_t, uint32_t>> &psysFeatures, bool arm) {
    Bytes table;
    Out out(table, arm);
    out.U16(0, 1);
    const uint64_t group = arm ? 4 : 2;
    out.U32(group, Code("psys"));
    out.U16(group + 4, uint16_t(psysFeatures.size()));
    uint64_t at = group + (arm ? 8 : 6);
    for (const auto &[number, value] : psysFeatures) {
        out.U16(at, number);
        out.U32(at + (arm ? 4 : 2), value);
        at += arm ? 8 : 6;
    }
    return table;
}

void AddSampleDatabases(TestRom &rom, bool arm, size_t fillers, size_t fillerBytes) {
    TestDatabase system;
    system.name = arm ? "Boot" : "System";
    system.type = Code("rsrc");
    system.creator = Code("psys");
    system.attributes = 0x0003;
    system.resources.push_back({Code(arm ? "afea" : "feat"), 10000,
                                FeatureTable({{1, 0x04003000}, {2, 0x00020000}}, arm)});
    system.resources.push_back({Code("tSTR"), 1000, {'P', 'a', 'l', 'm', 0}});
    rom.Add(system);

    TestDatabase memo;
    memo.name = "MemoDB";
    memo.type = Code("DATA");
    memo.creator = Code("memo");
    memo.attributes = 0x0008;
    memo.version = 3;
    memo.modificationNumber = 7;
    memo.uniqueIdSeed = 0x123456;
    memo.appInfo = Bytes{'A', 'P', 'P', 0, 1, 2, 3};
    memo.sortInfo = Bytes{'S', 'O', 'R', 'T'};
    memo.records.push_back({0x40 | 0x01, 0x000101, {'o', 'n', 'e'}});
    memo.records.push_back({0x10 | 0x02, 0x000102, {'t', 'w', 'o', '!'}});
    rom.Add(memo);

    TestDatabase app;
    app.name = "Caf\xE9 \x80pp"; // Windows-1252: e acute and the euro sign
    app.type = Code("appl");
    app.creator = Code("Cafe");
    app.attributes = 0x0001 | 0x0040;
    app.resources.push_back({Code("code"), 0, Bytes(40, 0x4E)});
    app.resources.push_back({Code("code"), 1, Bytes(301, 0x71)});
    app.resources.push_back({Code("tAIN"), 1000, {'C', 'a', 'f', 0xE9, 0}});
    rom.Add(app);

    for (size_t i = 0; i < fillers; i++) {
        TestDatabase filler;
        filler.name = "Filler " + std::to_string(i);
        filler.type = Code("DATA");
        filler.creator = Code("fill");
        const size_t records = 8;
        for (size_t r = 0; r < records; r++) {
            filler.records.push_back({uint8_t(r & 0x0F), uint32_t(i * records + r + 1),
                                      Bytes(fillerBytes / records, uint8_t(i + r))});
        }
        rom.Add(filler);
    }
}

} // namespace ostervane::testing
