// Reading a store's heaps: the heap list, each heap header by its version, the walk over its
// chunks, the checks that the heap holds together, and the index from LocalID to chunk.
#include <algorithm>
#include <set>

#include "ostervane/core/rom_part_reading.h"

namespace ostervane::rom_reading {
namespace {

constexpr uint16_t kMostHeaps = 128;
constexpr uint16_t kHeapFlagVersion4 = 0x2000;
constexpr uint16_t kHeapFlagVersion3 = 0x4000;
constexpr uint16_t kHeapFlagVersion2 = 0x8000;
constexpr uint16_t kHeapFlagReadOnly = 0x0001;
constexpr uint32_t kChunkUnusedBits = 0x30000000;

// The sizes that follow from a heap's version and byte layout.
struct HeapLayout {
    uint64_t fixedHeader = 0;
    uint64_t chunkHeader = 0;
    uint64_t terminator = 0;
};

// ARM heaps have one known layout whatever their flags say (only version 4 is read on).
HeapLayout LayoutOf(int version, bool arm) {
    if (arm) {
        return {20, 8, 4};
    }
    if (version == 1) {
        return {8, 6, 2};
    }
    return {version == 2 ? 12u : 16u, 8, 4};
}

int VersionOf(uint16_t flags) {
    return (flags & kHeapFlagVersion4)   ? 4
           : (flags & kHeapFlagVersion3) ? 3
           : (flags & kHeapFlagVersion2) ? 2
                                         : 1;
}

std::string HeapWhere(size_t index) {
    return "heap " + std::to_string(index);
}

// The heap header's fields; false when the header does not fit in the image.
bool ReadHeapHeader(const RomFields &f, bool arm, uint64_t at, RomHeap &heap) {
    if (!f.Has(at, 2)) {
        return false;
    }
    heap.flags = f.U16(at);
    heap.version = VersionOf(heap.flags);
    if (!f.Has(at, LayoutOf(heap.version, arm).fixedHeader)) {
        return false;
    }
    if (arm) {
        heap.size = f.U32(at + 4);
        heap.firstFreeChunkOffset = f.U32(at + 8);
        heap.numEntries = f.U16(at + 12);
        heap.nextTblOffset = f.U32(at + 16);
    } else if (heap.version == 1) {
        heap.size = f.U16(at + 2) == 0 ? 0x10000 : f.U16(at + 2);
        heap.numEntries = f.U16(at + 4);
        heap.nextTblOffset = f.U16(at + 6);
    } else if (heap.version == 2) {
        heap.size = f.U32(at + 2);
        heap.numEntries = f.U16(at + 6);
        heap.nextTblOffset = f.U32(at + 8);
    } else {
        heap.size = f.U32(at + 2);
        heap.firstFreeChunkOffset = f.U32(at + 6);
        heap.numEntries = f.U16(at + 10);
        heap.nextTblOffset = f.U32(at + 12);
    }
    return true;
}

void ReadChunkHeader(const RomFields &f, int version, uint64_t at, RomChunk &chunk) {
    chunk.headerOffset = at;
    if (version == 1) {
        chunk.size = f.U16(at);
        chunk.lockCount = f.U8(at + 2) >> 4;
        chunk.owner = f.U8(at + 2) & 0x0F;
        chunk.free = (f.U8(at + 3) & 0x80) != 0;
        chunk.sizeAdj = f.U8(at + 3) & 0x0F;
        chunk.handleOffset = int16_t(f.U16(at + 4));
        return;
    }
    const uint32_t first = f.U32(at), second = f.U32(at + 4);
    chunk.free = (first & 0x80000000u) != 0;
    chunk.moved = (first & 0x40000000u) != 0;
    chunk.sizeAdj = uint8_t(first >> 24 & 0x0F);
    chunk.size = first & 0x00FFFFFF;
    chunk.lockCount = uint8_t(second >> 28);
    chunk.owner = uint8_t(second >> 24 & 0x0F);
    const uint32_t handle = second & 0x00FFFFFF;
    chunk.handleOffset = int32_t(handle & 0x00800000 ? handle | 0xFF000000u : handle);
}

class HeapWalk {
public:
    HeapWalk(PartReading &reading, RomHeap &heap, size_t index)
        : reading_(reading), f_(reading.fields), heap_(heap),
          layout_(LayoutOf(heap.version, reading.Arm())), where_(HeapWhere(index)) {}

    void Walk() {
        heap_.firstChunk = reading_.part.chunks.size();
        const uint64_t heapEnd = heap_.fileOffset + heap_.size;
        uint64_t at = heap_.fileOffset + layout_.fixedHeader + 4 * uint64_t(heap_.numEntries);
        const uint64_t mostChunks = heap_.size / layout_.chunkHeader + 1;
        for (uint64_t count = 0; count <= mostChunks; count++) {
            if (!Fits(at, layout_.terminator, heapEnd, "the chunk walk")) {
                break;
            }
            if (IsTerminator(at)) {
                heap_.walkedToEnd = true;
                CheckTerminator(at, heapEnd);
                break;
            }
            RomChunk chunk;
            if (!Fits(at, layout_.chunkHeader, heapEnd, "a chunk header") ||
                !ReadChunk(at, heapEnd, chunk)) {
                break;
            }
            reading_.part.chunks.push_back(chunk);
            at += chunk.size;
        }
        heap_.chunkCount = reading_.part.chunks.size() - heap_.firstChunk;
    }

private:
    // `count` bytes at `at` lie inside the heap and the image; a problem otherwise.
    bool Fits(uint64_t at, uint64_t count, uint64_t heapEnd, const char *what) {
        if (at + count > heapEnd) {
            reading_.Problem(where_, std::string(what) + " at " + Hex(at) +
                                         " runs past the heap's end (" + Hex(heapEnd) +
                                         ") with no terminator");
            return false;
        }
        if (!f_.Has(at, count)) {
            reading_.Problem(where_, std::string(what) + " at " + Hex(at) +
                                         " runs past the end of the image");
            return false;
        }
        return true;
    }

    bool IsTerminator(uint64_t at) const {
        return layout_.chunkHeader == 6 ? f_.U16(at) == 0 : (f_.U32(at) & 0x00FFFFFF) == 0;
    }

    // Equivalent to the sum of the header, the master pointers, the chunks and the terminator
    // being the heap's size.
    void CheckTerminator(uint64_t at, uint64_t heapEnd) {
        if (at + layout_.terminator != heapEnd) {
            reading_.Problem(where_, "its chunks end at " + Hex(at + layout_.terminator) +
                                         ", not at the heap's end (" + Hex(heapEnd) + ")");
        }
    }

    bool ReadChunk(uint64_t at, uint64_t heapEnd, RomChunk &chunk) {
        ReadChunkHeader(f_, heap_.version, at, chunk);
        // Named only when there is a problem: most chunks have none.
        auto problem = [&](const std::string &what) {
            reading_.Problem(where_ + ", chunk at " + Hex(at), what);
        };
        if (chunk.size < layout_.chunkHeader) {
            problem("its size " + std::to_string(chunk.size) + " is smaller than its header");
            return false;
        }
        if (chunk.size > heapEnd - at) {
            problem("its size " + std::to_string(chunk.size) + " runs past the heap's end (" +
                    Hex(heapEnd) + ")");
            return false;
        }
        if (!f_.Has(at, chunk.size)) {
            problem("its size " + std::to_string(chunk.size) + " runs past the end of the image");
            return false;
        }
        if (chunk.sizeAdj > chunk.size - layout_.chunkHeader) {
            problem("its size adjustment " + std::to_string(chunk.sizeAdj) +
                    " is larger than its data");
            return false;
        }
        std::optional<uint32_t> localId = reading_.LocalIdOf(at + layout_.chunkHeader);
        if (!localId) {
            problem("it lies beyond the card's LocalIDs");
            return false;
        }
        if (heap_.version > 1 && (f_.U32(at) & kChunkUnusedBits) != 0) {
            problem("unused header bits are set");
        }
        chunk.localId = *localId;
        chunk.data = {at + layout_.chunkHeader, chunk.size - layout_.chunkHeader - chunk.sizeAdj};
        return true;
    }

    PartReading &reading_;
    const RomFields &f_;
    RomHeap &heap_;
    HeapLayout layout_;
    std::string where_;
};

// The chunk of `heap` whose header is at `offset`, or nullptr.
const RomChunk *ChunkWithHeaderAt(const RomPart &part, const RomHeap &heap, uint64_t offset) {
    auto first = part.chunks.begin() + std::ptrdiff_t(heap.firstChunk);
    auto last = first + std::ptrdiff_t(heap.chunkCount);
    auto found = std::lower_bound(first, last, offset, [](const RomChunk &chunk, uint64_t at) {
        return chunk.headerOffset < at;
    });
    return found != last && found->headerOffset == offset ? &*found : nullptr;
}

uint64_t TerminatorOffset(const PartReading &reading, const RomHeap &heap) {
    if (heap.chunkCount == 0) {
        return heap.fileOffset + LayoutOf(heap.version, reading.Arm()).fixedHeader +
               4 * uint64_t(heap.numEntries);
    }
    const RomChunk &last = reading.part.chunks[heap.firstChunk + heap.chunkCount - 1];
    return last.headerOffset + last.size;
}

// The free-chunk chain of a version 3 or 4 heap: each link must land on a free chunk of the
// heap; a link back to a chunk already seen ends it.
void CheckFreeList(PartReading &reading, const RomHeap &heap, size_t index) {
    if (heap.version < 3 || heap.firstFreeChunkOffset == 0 || !heap.walkedToEnd) {
        return;
    }
    std::set<uint64_t> seen;
    uint64_t at = heap.fileOffset + 2 * uint64_t(heap.firstFreeChunkOffset);
    const uint64_t terminator = TerminatorOffset(reading, heap);
    while (at != terminator) {
        const RomChunk *chunk = ChunkWithHeaderAt(reading.part, heap, at);
        if (chunk == nullptr || !chunk->free) {
            reading.Problem(HeapWhere(index),
                            "its free-chunk list leads to " + Hex(at) + ", which is no free chunk");
            return;
        }
        if (!seen.insert(at).second) {
            reading.Problem(HeapWhere(index),
                            "its free-chunk list comes back to " + Hex(at) + "; it ends there");
            return;
        }
        at = uint64_t(int64_t(at) + 2 * int64_t(chunk->handleOffset));
    }
}

// A further master pointer table must be one of the heap's chunks; its own links are not
// followed, since ROM heaps have none.
void CheckMasterPointerTables(PartReading &reading, const RomHeap &heap, size_t index) {
    if (heap.nextTblOffset == 0 || !heap.walkedToEnd) {
        return;
    }
    const uint64_t at = heap.fileOffset + heap.nextTblOffset;
    const RomPart &part = reading.part;
    for (size_t i = heap.firstChunk; i < heap.firstChunk + heap.chunkCount; i++) {
        if (part.chunks[i].headerOffset == at || part.chunks[i].data.offset == at) {
            return;
        }
    }
    reading.Problem(HeapWhere(index),
                    "its next master pointer table at " + Hex(at) + " is not one of its chunks");
}

void CheckFlags(PartReading &reading, const RomHeap &heap, size_t index) {
    const uint16_t known =
        kHeapFlagVersion4 | kHeapFlagVersion3 | kHeapFlagVersion2 | kHeapFlagReadOnly;
    if ((heap.flags & ~known) != 0) {
        reading.Problem(HeapWhere(index), "unknown flag bits in " + Hex(heap.flags));
    }
}

// The heap list's LocalIDs; none (with a problem) when the list cannot be read.
std::vector<uint32_t> HeapIds(PartReading &reading) {
    const RomFields &f = reading.fields;
    const uint32_t listId = reading.part.storage->heapListOffset;
    LocalIdFault fault;
    std::optional<uint64_t> at = reading.FileOffsetOf(listId, 2, &fault);
    if (!at) {
        reading.Problem("heap list", LocalIdFaultText(fault, listId));
        return {};
    }
    const uint16_t count = f.U16(*at);
    const uint64_t first = *at + (reading.Arm() ? 4 : 2);
    if (count == 0 || count > kMostHeaps) {
        reading.Problem("heap list",
                        "it names " + std::to_string(count) + " heaps; a ROM store has 1 to 128");
        return {};
    }
    if (!f.Has(first, 4 * uint64_t(count))) {
        reading.Problem("heap list",
                        "its " + std::to_string(count) + " heaps run past the end of the image");
        return {};
    }
    std::vector<uint32_t> ids;
    for (uint16_t i = 0; i < count; i++) {
        ids.push_back(f.U32(first + 4 * uint64_t(i)));
    }
    return ids;
}

bool ReadHeap(PartReading &reading, uint32_t heapId, size_t index, RomHeap &heap) {
    const std::string where = HeapWhere(index);
    LocalIdFault fault;
    std::optional<uint64_t> at = reading.FileOffsetOf(heapId, 2, &fault);
    if (!at) {
        reading.Problem(where, LocalIdFaultText(fault, heapId));
        return false;
    }
    heap.localId = heapId;
    heap.fileOffset = *at;
    if (!ReadHeapHeader(reading.fields, reading.Arm(), *at, heap)) {
        reading.Problem(where, "its header at " + Hex(*at) + " runs past the end of the image");
        return false;
    }
    if (reading.Arm() && heap.version != 4) {
        reading.Problem(where, "a version " + std::to_string(heap.version) +
                                   " heap: database list not supported for this ROM");
        reading.part.databasesSupported = false;
        return false;
    }
    const HeapLayout layout = LayoutOf(heap.version, reading.Arm());
    if (layout.fixedHeader + 4 * uint64_t(heap.numEntries) + layout.terminator > heap.size) {
        reading.Problem(where, "its size " + std::to_string(heap.size) +
                                   " leaves no room for its header and terminator");
        return false;
    }
    if (!reading.fields.Has(*at, heap.size)) {
        reading.Problem(where, "its " + std::to_string(heap.size) + " bytes from " + Hex(*at) +
                                   " run past the end of the image");
    }
    CheckFlags(reading, heap, index);
    return true;
}

void IndexChunks(PartReading &reading) {
    RomPart &part = reading.part;
    part.chunkIndex.clear();
    part.chunkIndex.reserve(part.chunks.size());
    for (size_t i = 0; i < part.chunks.size(); i++) {
        part.chunkIndex.emplace_back(part.chunks[i].localId, i);
    }
    std::sort(part.chunkIndex.begin(), part.chunkIndex.end());
    auto duplicate =
        std::adjacent_find(part.chunkIndex.begin(), part.chunkIndex.end(),
                           [](const auto &a, const auto &b) { return a.first == b.first; });
    if (duplicate != part.chunkIndex.end()) {
        reading.Problem("heaps", "two chunks start at LocalID " + Hex(duplicate->first));
    }
}

// A heap that shares bytes with one read before: its chunks would be walked twice.
struct HeapRange {
    uint64_t begin;
    uint64_t end;
    size_t index;
};

bool OverlapsEarlierHeap(PartReading &reading, const RomHeap &heap, size_t index,
                         std::vector<HeapRange> &ranges) {
    const HeapRange range{heap.fileOffset, heap.fileOffset + heap.size, index};
    for (const HeapRange &earlier : ranges) {
        if (range.begin < earlier.end && earlier.begin < range.end) {
            reading.Problem(HeapWhere(index),
                            "it overlaps heap " + std::to_string(earlier.index) + "; skipped");
            return true;
        }
    }
    ranges.push_back(range);
    return false;
}

} // namespace

void ReadHeaps(PartReading &reading) {
    std::vector<uint32_t> ids = HeapIds(reading);
    std::vector<HeapRange> ranges;
    for (size_t index = 0; index < ids.size(); index++) {
        RomHeap heap;
        if (!ReadHeap(reading, ids[index], index, heap)) {
            if (!reading.part.databasesSupported) {
                break;
            }
            continue;
        }
        if (OverlapsEarlierHeap(reading, heap, index, ranges)) {
            continue;
        }
        HeapWalk(reading, heap, index).Walk();
        CheckFreeList(reading, heap, index);
        CheckMasterPointerTables(reading, heap, index);
        reading.part.heaps.push_back(heap);
    }
    IndexChunks(reading);
}

} // namespace ostervane::rom_reading
