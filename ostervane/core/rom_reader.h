// The databases inside a Palm OS ROM image, read from its bytes in memory: card and storage
// headers, heaps and their chunks, the database directory, and every database with its records
// or resources, app info and sort info.
//
// How the model works:
// - ReadRomImage borrows the image's bytes and copies none of the data in it.  Every block of
//   data (a record, a resource, an app-info or sort-info block, a chunk) is a RomBytes: a file
//   offset and a length inside those bytes; RomImage::Bytes turns one into a span.  The caller
//   keeps the bytes alive, unchanged, for as long as the model or any span from it is used.
// - An image holds up to two parts: the small ROM (only in a whole-card image, which starts with
//   it) and the big ROM (a backup holds only this one).  Each part has its card header and, as
//   far as they could be read, its storage header, heaps with their chunks, and its databases in
//   directory order.
// - Nothing in the image is trusted.  Every offset, size, count and chain is checked before it
//   is used, and a chain that comes back on itself ends there.  Whatever does not check out is
//   described in RomImage::problems with where it happened ("big ROM, database 12 'Foo': record
//   3 lies past the end of the image"), and reading goes on with the next thing that can be
//   read.  A database whose entries could not all be read is still listed, with `complete` false
//   and the entries that could be read.
// - Positions in messages and in the model count from 0 (database 0 is the directory's first,
//   record 0 the first record), as Palm OS counts them.
// - Names and other texts are the raw 8-bit bytes of the image (Windows-1252) up to their NUL;
//   rom_text.h turns them into UTF-8 for showing.  Numbers are in host order once read;
//   RomCardHeader::order says how the image stored them.
// - Palm OS 5 (ARM) images are little-endian with padding for 4-byte alignment.  Their card,
//   storage and heap headers, version 4 heaps, chunks, directory, database headers and entries
//   are read; what is not known for them (other heap versions, continued record lists) is not
//   guessed at: the part says "database list not supported for this ROM" (databasesSupported
//   false) or the database is marked incomplete, with a problem saying why.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace ostervane {

enum class RomByteOrder { BigEndian, LittleEndian };
enum class RomPartKind { Small, Big };

// A run of bytes inside the image: file offset and length.
struct RomBytes {
    uint64_t offset = 0;
    uint64_t size = 0;
};

// The 256-byte card header at the start of a part.  Fields the header's version does not have
// are 0 (or empty).
struct RomCardHeader {
    uint64_t fileOffset = 0;
    RomByteOrder order = RomByteOrder::BigEndian;
    bool arm = false; // version 6 or later: the Palm OS 5 layout
    uint32_t initStack = 0;
    uint32_t resetVector = 0;
    uint16_t headerVersion = 0;
    uint16_t flags = 0;
    std::string name;         // raw bytes up to the NUL, at most 32
    std::string manufacturer; // raw bytes up to the NUL, at most 32
    uint16_t cardVersion = 0;
    uint32_t creationDate = 0; // seconds since 1904, local time
    uint16_t numRamBlocks = 0;
    uint32_t blockListOffset = 0;
    uint32_t readWriteParmsOffset = 0;
    uint32_t readWriteParmsSize = 0;
    uint32_t readOnlyParmsOffset = 0;
    uint32_t bigRomOffset = 0; // LocalID of the big ROM
    uint32_t checksumBytes = 0;
    uint16_t checksumValue = 0;
    uint32_t readWriteWorkingOffset = 0;
    uint32_t readWriteWorkingSize = 0;
    uint32_t halCodeOffset = 0;
    uint32_t companyId = 0; // four-character code, first character most significant
    uint32_t halId = 0;
    uint32_t romVersionNumber = 0; // encoded like the OS version feature
    std::string romVersionString;  // raw bytes up to the NUL, at most 32
    // The LocalID of the header's first byte (blockListOffset - 0x200): a LocalID L lies at file
    // offset fileOffset + (L - base).
    uint32_t base = 0;
};

// Card header flag bits.
inline constexpr uint16_t kRomCardFlagRamOnly = 0x0001;
inline constexpr uint16_t kRomCardFlag68328 = 0x0010;
inline constexpr uint16_t kRomCardFlag68EZ328 = 0x0020;
inline constexpr uint16_t kRomCardFlag68VZ328 = 0x0040;
inline constexpr uint16_t kRomCardFlag68SZ328 = 0x0080;

// The storage header right after the card header.
struct RomStorageHeader {
    uint64_t fileOffset = 0;
    uint16_t version = 0;
    uint16_t flags = 0;
    std::string name; // raw bytes up to the NUL ("ROM Store")
    uint32_t creationDate = 0;
    uint32_t backupDate = 0;
    uint32_t heapListOffset = 0;
    uint32_t initCodeOffset1 = 0;
    uint32_t initCodeOffset2 = 0;
    uint32_t databaseDirId = 0;
    uint32_t splashScreenPtr = 0;
    uint32_t hardResetScreenPtr = 0;
    uint16_t localeLanguage = 0;
    uint16_t localeCountry = 0;
};

// A chunk of a heap: its header and the data after it.
struct RomChunk {
    uint64_t headerOffset = 0; // file offset of the chunk header
    RomBytes data;             // the data: size - header size - sizeAdj bytes
    uint32_t localId = 0;      // LocalID of the first data byte
    uint32_t size = 0;         // the whole chunk, header included
    uint8_t sizeAdj = 0;
    bool free = false;
    bool moved = false;
    uint8_t lockCount = 0;
    uint8_t owner = 0;
    int32_t handleOffset = 0; // as stored (in units of 2 bytes)
};

// A heap of a store, with the range of its chunks in RomPart::chunks.
struct RomHeap {
    uint32_t localId = 0;
    uint64_t fileOffset = 0;
    int version = 0; // 1 to 4, from the flags
    uint16_t flags = 0;
    uint32_t size = 0; // the whole heap (a version 1 heap's 0 is given as 65536)
    uint32_t firstFreeChunkOffset = 0;
    uint16_t numEntries = 0; // of the master pointer table in the heap header
    uint32_t nextTblOffset = 0;
    size_t firstChunk = 0; // index into RomPart::chunks
    size_t chunkCount = 0;
    bool walkedToEnd = false; // the chunk walk reached the heap's terminator
};

// Record attribute bits (the low nibble is the category).
inline constexpr uint8_t kRomRecordDelete = 0x80;
inline constexpr uint8_t kRomRecordDirty = 0x40;
inline constexpr uint8_t kRomRecordBusy = 0x20;
inline constexpr uint8_t kRomRecordSecret = 0x10;

struct RomRecord {
    uint32_t localId = 0;
    uint8_t attributes = 0;
    uint32_t uniqueId = 0;        // 24 bits
    std::optional<RomBytes> data; // none for LocalID 0 or a LocalID that is no chunk
};

struct RomResource {
    uint32_t type = 0;
    uint16_t id = 0;
    uint32_t localId = 0;
    std::optional<RomBytes> data;
};

// Database attribute bits.
inline constexpr uint16_t kRomDatabaseResource = 0x0001;

struct RomDatabase {
    RomPartKind part = RomPartKind::Big;
    size_t index = 0;           // position in its part's directory walk
    uint32_t headerLocalId = 0; // LocalID of the database header
    RomBytes header;            // the database header's chunk data
    std::string name;           // raw bytes up to the NUL, at most 32
    uint16_t attributes = 0;
    uint16_t version = 0;
    uint32_t creationDate = 0;
    uint32_t modificationDate = 0;
    uint32_t lastBackupDate = 0;
    uint32_t modificationNumber = 0;
    uint32_t appInfoId = 0;
    uint32_t sortInfoId = 0;
    uint32_t type = 0;
    uint32_t creator = 0;
    uint32_t uniqueIdSeed = 0;
    uint32_t nextRecordListId = 0;
    std::optional<RomBytes> appInfo;
    std::optional<RomBytes> sortInfo;
    std::vector<RomRecord> records;     // record databases
    std::vector<RomResource> resources; // resource databases
    bool complete = true; // every entry the header (and its record lists) names was read

    bool IsResourceDatabase() const { return (attributes & kRomDatabaseResource) != 0; }
    size_t EntryCount() const { return IsResourceDatabase() ? resources.size() : records.size(); }
    // The bytes of every record or resource body, the app info and the sort info.
    uint64_t DataBytes() const;
};

struct RomPart {
    RomPartKind kind = RomPartKind::Big;
    RomCardHeader card;
    RomBytes extent; // from the card header to the next part or the end of the image
    std::optional<RomStorageHeader> storage;
    std::vector<RomHeap> heaps;
    std::vector<RomChunk> chunks; // every heap's chunks, heap by heap in walk order
    std::vector<RomDatabase> databases;
    bool databasesSupported = true; // false: the store's layout is not known (ARM)

    // The chunk whose data starts at `localId`, or nullptr.
    const RomChunk *ChunkAt(uint32_t localId) const;

    // Sorted (LocalID, index into chunks); filled by the reader.
    std::vector<std::pair<uint32_t, size_t>> chunkIndex;
};

struct RomImage {
    std::span<const uint8_t> bytes; // borrowed
    bool wholeCard = false;         // the image starts with the small ROM
    std::optional<RomPart> small;
    std::optional<RomPart> big;
    std::vector<std::string> problems; // each names where it happened

    // The bytes of a range the model gave (always inside `bytes`).
    std::span<const uint8_t> Bytes(const RomBytes &range) const {
        return bytes.subspan(size_t(range.offset), size_t(range.size));
    }
    // Every database: the small ROM's, then the big ROM's.
    std::vector<const RomDatabase *> Databases() const;
    // The big ROM when there is one, else the small ROM; nullptr when no card header was found.
    const RomPart *MainPart() const;
};

// Reads the image.  Never fails: an image with no card header gives a model with no parts and a
// problem saying so.
RomImage ReadRomImage(std::span<const uint8_t> bytes);

// The card header at `offset` of `bytes` in either layout, or nullopt (with the reason in `why`
// when given) when no valid header is there.
std::optional<RomCardHeader> ReadCardHeader(std::span<const uint8_t> bytes, uint64_t offset,
                                            std::string *why = nullptr);

// "small ROM" or "big ROM".
const char *PartName(RomPartKind kind);

} // namespace ostervane
