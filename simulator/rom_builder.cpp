// Lays out a ROM part: plans every chunk first (sizes do not depend on addresses), gives heaps
// and chunks their places, then writes the structures with the LocalIDs now known.
#include "simulator/rom_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "simulator/packet_framing.h"

namespace ostervane::simulator {

namespace {

constexpr uint32_t kCardSignature = 0xFEEDBEEF;
constexpr uint32_t kStoreSignature = 0xFEEDFACE;
constexpr uint64_t kStorageAt = 0x100;
constexpr uint64_t kBlockListAt = 0x200;
constexpr uint64_t kHeapListAt = 0x208;
constexpr uint32_t kChunkHeader = 8;
constexpr uint32_t kTerminator = 4;
constexpr uint32_t kDatabaseHeader = 80;
constexpr uint8_t kLockedForGood = 15;
constexpr uint8_t kOwnerBookkeeping = 1;
constexpr uint8_t kOwnerData = 2;

// Writes numbers into the part in its byte order.
class Writer {
public:
    Writer(RomData &bytes, bool little) : bytes_(bytes), little_(little) {}

    void U8(uint64_t at, uint8_t v) { bytes_.at(at) = v; }
    void U16(uint64_t at, uint16_t v) { Put(at, v, 2); }
    void U32(uint64_t at, uint32_t v) { Put(at, v, 4); }
    void Text(uint64_t at, const std::string &text, size_t field) {
        std::memcpy(&bytes_.at(at), text.data(), std::min(text.size(), field));
    }
    void Data(uint64_t at, const RomData &data) {
        if (!data.empty() && at + data.size() <= bytes_.size()) {
            std::memcpy(&bytes_[at], data.data(), data.size());
        }
    }

private:
    void Put(uint64_t at, uint32_t v, int size) {
        for (int i = 0; i < size; ++i) {
            int shift = little_ ? 8 * i : 8 * (size - 1 - i);
            bytes_.at(at + i) = uint8_t(v >> shift);
        }
    }
    RomData &bytes_;
    bool little_;
};

enum class ChunkRole { Directory, DatabaseHeader, AppInfo, SortInfo, Entry };

struct PlannedChunk {
    ChunkRole role = ChunkRole::Entry;
    size_t heap = 0;
    size_t database = 0; // or the directory's index
    size_t entry = 0;
    uint32_t dataSize = 0;
    uint64_t header = 0; // offset of the chunk header, once placed
    uint32_t size = 0;
    uint8_t owner = kOwnerData;

    uint64_t DataOffset() const { return header + kChunkHeader; }
};

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

uint16_t HeapFlags(int version) {
    switch (version) {
    case 2:
        return 0x8001;
    case 3:
        return 0x4001;
    case 4:
        return 0x2001;
    default:
        throw std::invalid_argument("heap version " + std::to_string(version) +
                                    " cannot be built (2, 3 or 4)");
    }
}

class Layout {
public:
    explicit Layout(const RomSpec &spec)
        : spec_(spec), arm_(spec.Arm()), alignment_(arm_ ? 4 : 2), resourceEntry_(arm_ ? 12 : 10) {}

    BuiltRom Build() {
        Check();
        PlanChunks();
        PlaceHeaps();
        built_.base = spec_.base;
        built_.bytes.assign(size_t(std::max<uint64_t>(imageEnd_, spec_.card.length)), 0);
        built_.length = spec_.card.length != 0 ? spec_.card.length : uint32_t(imageEnd_);
        Writer w(built_.bytes, arm_);
        WriteChunks(w);
        WriteHeaps(w);
        WriteStorage(w);
        WriteCard(w);
        return std::move(built_);
    }

private:
    void Check() const {
        if (spec_.heaps.empty()) {
            throw std::invalid_argument("a ROM store needs a heap");
        }
        for (const RomHeapSpec &heap : spec_.heaps) {
            HeapFlags(heap.version);
            if (arm_ && heap.version != 4) {
                throw std::invalid_argument("ARM stores are built with version 4 heaps only");
            }
        }
        if (spec_.directoryHeap >= spec_.heaps.size()) {
            throw std::invalid_argument("the directory's heap does not exist");
        }
        for (const RomDatabaseSpec &db : spec_.databases) {
            if (db.heap >= spec_.heaps.size()) {
                throw std::invalid_argument("database '" + db.name + "' names no heap");
            }
        }
    }

    uint32_t Id(uint64_t offset) const { return uint32_t(spec_.base + offset); }

    bool IsResource(const RomDatabaseSpec &db) const { return (db.attributes & 0x0001) != 0; }
    uint32_t EntrySize(const RomDatabaseSpec &db) const {
        return IsResource(db) ? resourceEntry_ : 8;
    }
    size_t EntryCount(const RomDatabaseSpec &db) const {
        return IsResource(db) ? db.resources.size() : db.records.size();
    }
    uint32_t DirectoryEntriesAt() const { return arm_ ? 8 : 6; }

    std::vector<std::vector<size_t>> DirectoryGroups() const {
        std::vector<std::vector<size_t>> groups(1);
        for (size_t d = 0; d < spec_.databases.size(); ++d) {
            if (spec_.databasesPerDirectory != 0 &&
                groups.back().size() == spec_.databasesPerDirectory) {
                groups.emplace_back();
            }
            groups.back().push_back(d);
        }
        return groups;
    }

    void Plan(ChunkRole role, size_t heap, size_t index, size_t entry, uint64_t dataSize,
              uint8_t owner) {
        if (dataSize > 0xFFFFFF - 16) {
            throw std::invalid_argument("a block of data is too large for a chunk");
        }
        PlannedChunk chunk{role, heap, index, entry, uint32_t(dataSize)};
        chunk.size = uint32_t(AlignUp(kChunkHeader + dataSize, alignment_));
        chunk.owner = owner;
        chunks_.push_back(chunk);
    }

    void PlanChunks() {
        groups_ = DirectoryGroups();
        for (size_t g = 0; g < groups_.size(); ++g) {
            Plan(ChunkRole::Directory, spec_.directoryHeap, g, 0,
                 DirectoryEntriesAt() + 4 * groups_[g].size(), kOwnerBookkeeping);
        }
        for (size_t d = 0; d < spec_.databases.size(); ++d) {
            const RomDatabaseSpec &db = spec_.databases[d];
            Plan(ChunkRole::DatabaseHeader, db.heap, d, 0,
                 kDatabaseHeader + uint64_t(EntrySize(db)) * EntryCount(db), kOwnerBookkeeping);
            if (db.appInfo) {
                Plan(ChunkRole::AppInfo, db.heap, d, 0, db.appInfo->size(), kOwnerData);
            }
            if (db.sortInfo) {
                Plan(ChunkRole::SortInfo, db.heap, d, 0, db.sortInfo->size(), kOwnerData);
            }
            for (size_t e = 0; e < EntryCount(db); ++e) {
                if (IsResource(db)) {
                    Plan(ChunkRole::Entry, db.heap, d, e, db.resources[e].data.size(), kOwnerData);
                } else if (db.records[e].data) {
                    Plan(ChunkRole::Entry, db.heap, d, e, db.records[e].data->size(), kOwnerData);
                }
            }
        }
    }

    uint32_t HeapHeaderSize(int version) const {
        if (arm_) {
            return 20;
        }
        return version == 2 ? 12 : 16;
    }

    struct PlacedHeap {
        uint64_t start = 0;
        uint32_t size = 0;
        uint64_t freeHeader = 0; // 0: no free chunk
        uint32_t freeSize = 0;
    };

    void PlaceHeaps() {
        uint64_t at = kHeapListAt + (arm_ ? 4 : 2) + 4 * spec_.heaps.size();
        for (size_t h = 0; h < spec_.heaps.size(); ++h) {
            const RomHeapSpec &spec = spec_.heaps[h];
            if (spec.offset != 0 && spec.offset < at) {
                throw std::invalid_argument("heap " + std::to_string(h) +
                                            " would overlap what comes before it");
            }
            PlacedHeap heap;
            heap.start = spec.offset != 0 ? spec.offset : AlignUp(at, 4);
            uint64_t next = heap.start + HeapHeaderSize(spec.version);
            for (PlannedChunk &chunk : chunks_) {
                if (chunk.heap == h) {
                    chunk.header = next;
                    next += chunk.size;
                }
            }
            uint64_t used = next + kTerminator - heap.start;
            if (spec.size != 0 && spec.size != used) {
                uint64_t space = spec.size < used ? 0 : spec.size - used;
                if (space < kChunkHeader || space % alignment_ != 0 || space > 0xFFFFFF) {
                    throw std::invalid_argument("heap " + std::to_string(h) + " cannot be made " +
                                                std::to_string(spec.size) + " bytes long");
                }
                heap.freeHeader = next;
                heap.freeSize = uint32_t(space);
                used = spec.size;
            }
            heap.size = uint32_t(used);
            heaps_.push_back(heap);
            at = heap.start + heap.size;
            imageEnd_ = std::max(imageEnd_, at);
        }
    }

    // Word 1: free bit, size adjustment, size; word 2: lock count, owner, handle offset / 2.
    void ChunkHeader(Writer &w, uint64_t at, uint32_t size, uint8_t sizeAdj, bool free,
                     uint8_t lock, uint8_t owner, uint32_t handleOffset) {
        w.U32(at, (free ? 0x80000000u : 0) | uint32_t(sizeAdj) << 24 | size);
        w.U32(at + 4, uint32_t(lock) << 28 | uint32_t(owner) << 24 | (handleOffset & 0xFFFFFF));
    }

    const PlannedChunk *Find(ChunkRole role, size_t index, size_t entry = 0) const {
        for (const PlannedChunk &chunk : chunks_) {
            if (chunk.role == role && chunk.database == index && chunk.entry == entry) {
                return &chunk;
            }
        }
        return nullptr;
    }
    uint32_t IdOf(ChunkRole role, size_t index, size_t entry = 0) const {
        const PlannedChunk *chunk = Find(role, index, entry);
        return chunk != nullptr ? Id(chunk->DataOffset()) : 0;
    }

    void WriteChunks(Writer &w) {
        for (const PlannedChunk &chunk : chunks_) {
            ChunkHeader(w, chunk.header, chunk.size,
                        uint8_t(chunk.size - kChunkHeader - chunk.dataSize), false, kLockedForGood,
                        chunk.owner, 0);
        }
        for (size_t g = 0; g < groups_.size(); ++g) {
            WriteDirectory(w, g);
        }
        built_.databases.resize(spec_.databases.size());
        for (size_t d = 0; d < spec_.databases.size(); ++d) {
            WriteDatabase(w, d);
        }
    }

    void WriteDirectory(Writer &w, size_t g) {
        uint64_t at = Find(ChunkRole::Directory, g)->DataOffset();
        built_.directoryIds.push_back(Id(at));
        w.U32(at, g + 1 < groups_.size() ? IdOf(ChunkRole::Directory, g + 1) : 0);
        w.U16(at + 4, uint16_t(groups_[g].size()));
        uint64_t entry = at + DirectoryEntriesAt();
        for (size_t d : groups_[g]) {
            w.U32(entry, IdOf(ChunkRole::DatabaseHeader, d));
            entry += 4;
        }
    }

    void WriteDatabase(Writer &w, size_t d) {
        const RomDatabaseSpec &db = spec_.databases[d];
        BuiltDatabase &built = built_.databases[d];
        uint64_t at = Find(ChunkRole::DatabaseHeader, d)->DataOffset();
        built.headerId = Id(at);
        built.appInfoId = IdOf(ChunkRole::AppInfo, d);
        built.sortInfoId = IdOf(ChunkRole::SortInfo, d);
        w.Text(at, db.name, 32);
        w.U16(at + 32, db.attributes);
        w.U16(at + 34, db.version);
        w.U32(at + 36, db.creationDate);
        w.U32(at + 40, db.modificationDate);
        w.U32(at + 44, db.lastBackupDate);
        w.U32(at + 48, db.modificationNumber);
        w.U32(at + 52, built.appInfoId);
        w.U32(at + 56, built.sortInfoId);
        w.U32(at + 60, db.type);
        w.U32(at + 64, db.creator);
        w.U32(at + 68, db.uniqueIdSeed);
        w.U32(at + 72, 0); // no continued record list
        w.U16(at + 76, uint16_t(EntryCount(db)));
        if (db.appInfo) {
            w.Data(Find(ChunkRole::AppInfo, d)->DataOffset(), *db.appInfo);
        }
        if (db.sortInfo) {
            w.Data(Find(ChunkRole::SortInfo, d)->DataOffset(), *db.sortInfo);
        }
        uint64_t entry = at + (arm_ ? 80 : 78);
        for (size_t e = 0; e < EntryCount(db); ++e, entry += EntrySize(db)) {
            const PlannedChunk *chunk = Find(ChunkRole::Entry, d, e);
            uint32_t id = chunk != nullptr ? Id(chunk->DataOffset()) : 0;
            built.entryIds.push_back(id);
            if (IsResource(db)) {
                const RomResourceSpec &resource = db.resources[e];
                w.U32(entry, resource.type);
                w.U16(entry + 4, resource.id);
                w.U32(entry + (arm_ ? 8 : 6), id);
                w.Data(chunk->DataOffset(), resource.data);
                continue;
            }
            const RomRecordSpec &record = db.records[e];
            w.U32(entry, id);
            // Attributes and the unique id: single bytes, the id most significant first.
            uint32_t unique = record.uniqueId & 0xFFFFFF;
            w.U8(entry + 4, record.attributes);
            w.U8(entry + 5, uint8_t(unique >> 16));
            w.U8(entry + 6, uint8_t(unique >> 8));
            w.U8(entry + 7, uint8_t(unique));
            if (chunk != nullptr) {
                w.Data(chunk->DataOffset(), *record.data);
            }
        }
    }

    void WriteHeaps(Writer &w) {
        built_.heapListId = Id(kHeapListAt);
        w.U16(kHeapListAt, uint16_t(heaps_.size()));
        uint64_t list = kHeapListAt + (arm_ ? 4 : 2);
        for (size_t h = 0; h < heaps_.size(); ++h) {
            const PlacedHeap &heap = heaps_[h];
            built_.heapIds.push_back(Id(heap.start));
            w.U32(list + 4 * h, Id(heap.start));
            WriteHeapHeader(w, spec_.heaps[h].version, heap);
            if (heap.freeHeader != 0) {
                uint64_t terminator = heap.start + heap.size - kTerminator;
                ChunkHeader(w, heap.freeHeader, heap.freeSize, 0, true, 0, 0,
                            uint32_t((terminator - heap.freeHeader) / 2));
                built_.freeData.push_back(
                    {heap.freeHeader + kChunkHeader, heap.freeSize - kChunkHeader});
            }
        }
    }

    void WriteHeapHeader(Writer &w, int version, const PlacedHeap &heap) {
        uint64_t at = heap.start;
        uint32_t firstFree = heap.freeHeader != 0 ? uint32_t((heap.freeHeader - at) / 2) : 0;
        w.U16(at, HeapFlags(version));
        if (arm_) {
            w.U32(at + 4, heap.size);
            w.U32(at + 8, firstFree);
            w.U16(at + 12, 0); // no master pointers
            w.U32(at + 16, 0);
        } else if (version == 2) {
            w.U32(at + 2, heap.size);
            w.U16(at + 6, 0);
            w.U32(at + 8, 0);
        } else {
            w.U32(at + 2, heap.size);
            w.U32(at + 6, firstFree);
            w.U16(at + 10, 0);
            w.U32(at + 12, 0);
        }
    }

    void WriteStorage(Writer &w) {
        const RomStoreSpec &s = spec_.store;
        uint64_t at = kStorageAt;
        w.U32(at, kStoreSignature);
        w.U16(at + 4, s.version);
        w.U16(at + 6, 0); // a ROM store
        w.Text(at + 8, s.name, 32);
        w.U32(at + 40, s.creationDate);
        w.U32(at + 44, s.backupDate);
        w.U32(at + 48, Id(kHeapListAt));
        w.U32(at + 52, s.initCodeOffset1);
        w.U32(at + 56, s.initCodeOffset2);
        w.U32(at + 60, built_.directoryIds.front());
        w.U32(at + 86 + (arm_ ? 2 : 0), s.splashScreenPtr);
        w.U32(at + 90 + (arm_ ? 2 : 0), s.hardResetScreenPtr);
        w.U16(at + (arm_ ? 96 : 94), s.localeLanguage);
        w.U16(at + (arm_ ? 98 : 96), s.localeCountry);
        // The RAM block list the card header points to.
        for (uint16_t b = 0; b < spec_.card.numRamBlocks && kBlockListAt + 8 * b < kHeapListAt;
             ++b) {
            w.U32(kBlockListAt + 8 * b, 0);
            w.U32(kBlockListAt + 8 * b + 4, 0xFFFFFFFF);
        }
    }

    void WriteCard(Writer &w) {
        const RomCardSpec &c = spec_.card;
        w.U32(0, c.initStack);
        w.U32(4, c.resetVector);
        w.U32(8, kCardSignature);
        w.U16(12, c.headerVersion);
        w.U16(14, c.flags);
        w.Text(16, c.name, 32);
        w.Text(48, c.manufacturer, 32);
        w.U16(80, c.cardVersion);
        if (arm_) {
            WriteArmCard(w);
            return;
        }
        w.U32(82, c.creationDate);
        w.U16(86, c.numRamBlocks);
        w.U32(88, Id(kBlockListAt));
        if (c.headerVersion >= 2) {
            w.U32(92, c.readWriteParmsOffset);
            w.U32(96, c.readWriteParmsSize);
            w.U32(100, c.readOnlyParmsOffset);
            w.U32(104, spec_.base);
            w.U32(108, built_.length);
        }
        if (c.headerVersion >= 3) {
            w.U32(114, c.readWriteWorkingOffset);
            w.U32(118, c.readWriteWorkingSize);
        }
        if (c.headerVersion >= 4) {
            w.U32(122, c.halCodeOffset);
        }
        if (c.headerVersion >= 5) {
            w.U32(126, c.companyId);
            w.U32(130, c.halId);
            w.U32(134, c.romVersionNumber);
            w.Text(138, c.romVersionString, 32);
        }
        if (c.headerVersion >= 2 && c.checksum) {
            built_.checksum = PartChecksum();
            w.U16(112, built_.checksum);
        }
    }

    void WriteArmCard(Writer &w) {
        const RomCardSpec &c = spec_.card;
        w.U16(82, c.numRamBlocks);
        w.U32(84, c.creationDate);
        w.U32(88, Id(kBlockListAt));
        w.U32(100, c.readOnlyParmsOffset);
        w.U32(104, spec_.base);
        w.U32(108, built_.length);
        w.U32(128, c.companyId);
        w.U32(132, c.halId);
        w.U32(136, c.romVersionNumber);
        w.Text(140, c.romVersionString, 32);
    }

    // CRC-16 over [0, 112) and [114, length), as far as the bytes reach.
    uint16_t PartChecksum() const {
        size_t end = std::min<size_t>(built_.length, built_.bytes.size());
        RomData covered(built_.bytes.begin(), built_.bytes.begin() + std::min<size_t>(end, 112));
        if (end > 114) {
            covered.insert(covered.end(), built_.bytes.begin() + 114, built_.bytes.begin() + end);
        }
        return Crc16(covered.data(), covered.size());
    }

    const RomSpec &spec_;
    bool arm_;
    uint32_t alignment_;
    uint32_t resourceEntry_;
    std::vector<std::vector<size_t>> groups_;
    std::vector<PlannedChunk> chunks_;
    std::vector<PlacedHeap> heaps_;
    uint64_t imageEnd_ = kHeapListAt;
    BuiltRom built_;
};

void PutBe(RomData &out, uint32_t value, int size) {
    for (int i = size - 1; i >= 0; --i) {
        out.push_back(uint8_t(value >> (8 * i)));
    }
}

void PutLe(RomData &out, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        out.push_back(uint8_t(value >> (8 * i)));
    }
}

} // namespace

uint32_t PalmDate(int year, int month, int day, int hour, int minute, int second) {
    // Days from 1904-01-01 by the civil-calendar count of March-based years.
    auto daysFromCivil = [](int y, int m, int d) {
        y -= m <= 2;
        int era = (y >= 0 ? y : y - 399) / 400;
        int yoe = y - era * 400;
        int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return int64_t(era) * 146097 + doe;
    };
    int64_t days = daysFromCivil(year, month, day) - daysFromCivil(1904, 1, 1);
    return uint32_t(days * 86400 + hour * 3600 + minute * 60 + second);
}

BuiltRom BuildRom(const RomSpec &spec) {
    return Layout(spec).Build();
}

RomData FeatureTable(const std::vector<RomFeatureGroup> &groups, bool arm) {
    RomData out;
    auto put = arm ? PutLe : PutBe;
    put(out, uint32_t(groups.size()), 2);
    if (arm) {
        put(out, 0, 2);
    }
    for (const auto &[creator, features] : groups) {
        put(out, creator, 4);
        put(out, uint32_t(features.size()), 2);
        if (arm) {
            put(out, 0, 2);
        }
        for (const auto &[number, value] : features) {
            put(out, number, 2);
            if (arm) {
                put(out, 0, 2);
            }
            put(out, value, 4);
        }
    }
    return out;
}

RomDatabaseSpec SystemDatabase(uint32_t osVersion, uint32_t processor, bool arm) {
    RomDatabaseSpec system;
    system.name = arm ? "Boot" : "System";
    system.attributes = 0x0001 | 0x0002;
    system.type = FourCC("rsrc");
    system.creator = FourCC("psys");
    system.resources.push_back(
        {arm ? FourCC("afea") : FourCC("feat"), 10000,
         FeatureTable({{FourCC("psys"), {{1, osVersion}, {2, processor}}}}, arm)});
    return system;
}

RomData CategoryAppInfo(const std::vector<std::string> &names, const RomData &extra) {
    RomData out(2 + 16 * 16 + 16 + 2, 0);
    for (size_t i = 0; i < names.size() && i < 16; ++i) {
        std::memcpy(&out[2 + 16 * i], names[i].data(), std::min<size_t>(names[i].size(), 15));
        out[2 + 256 + i] = uint8_t(i);
    }
    out[2 + 256 + 16] = uint8_t(std::min<size_t>(names.size(), 16));
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

} // namespace ostervane::simulator
