// Builds the bytes of a Palm OS ROM part from a plain description: card header, storage header,
// heap list, heaps of chunks, the database directory and the databases with their records or
// resources, app info and sort info, laid out at a chosen base address.
//
// Layout: the card header at offset 0, the storage header at 0x100, the RAM block list at 0x200,
// the heap list at 0x208, then the heaps.  Every LocalID is the address of the structure in the
// card's LocalID space: base + its offset in the bytes built (as on EZ/VZ-era handhelds, where a
// LocalID is the CPU address).  68k parts are big-endian and packed on 2-byte boundaries; an ARM
// part (card header version 6) is little-endian with 4-byte alignment and only version 4 heaps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ostervane::simulator {

using RomData = std::vector<uint8_t>;

// A four-character code from its text ("psys").
constexpr uint32_t FourCC(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}

// Seconds since 1904-01-01 00:00:00, the handheld's dates.
uint32_t PalmDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

struct RomCardSpec {
    uint32_t initStack = 0x3000;
    uint32_t resetVector = 0;
    uint16_t headerVersion = 3; // 1 to 5 on 68k; 6 makes an ARM part
    uint16_t flags = 0x0020;    // 68EZ328
    std::string name = "PalmCard";
    std::string manufacturer;
    uint16_t cardVersion = 1;
    uint32_t creationDate = 0;
    uint16_t numRamBlocks = 1;
    uint32_t readWriteParmsOffset = 0;
    uint32_t readWriteParmsSize = 0;
    uint32_t readOnlyParmsOffset = 0;
    uint32_t readWriteWorkingOffset = 0;
    uint32_t readWriteWorkingSize = 0;
    uint32_t halCodeOffset = 0;
    uint32_t companyId = 0;
    uint32_t halId = 0;
    uint32_t romVersionNumber = 0;
    std::string romVersionString;
    // checksumBytes: 0 means up to the end of the last heap.
    uint32_t length = 0;
    // Compute the CRC-16 of the part over its length (68k headers of version 2 and later).
    bool checksum = true;
};

struct RomStoreSpec {
    uint16_t version = 1; // 2 on ARM
    std::string name = "ROM Store";
    uint32_t creationDate = 0;
    uint32_t backupDate = 0;
    uint32_t initCodeOffset1 = 0;
    uint32_t initCodeOffset2 = 0;
    uint32_t splashScreenPtr = 0;
    uint32_t hardResetScreenPtr = 0;
    uint16_t localeLanguage = 0;
    uint16_t localeCountry = 23; // United States
};

struct RomHeapSpec {
    int version = 3; // 2, 3 or 4 (ARM: 4)
    // Offset of the heap from the part's start; 0 places it right after the one before (4-byte
    // aligned).
    uint32_t offset = 0;
    // The whole heap in bytes; 0 makes it just hold its chunks.  A larger heap ends with one free
    // chunk that fills the space up to its terminator.
    uint32_t size = 0;
};

struct RomRecordSpec {
    uint8_t attributes = 0;                  // delete, dirty, busy, secret bits and the category
    uint32_t uniqueId = 0;                   // 24 bits
    std::optional<RomData> data = RomData{}; // nullopt: LocalID 0, no chunk
};

struct RomResourceSpec {
    uint32_t type = 0;
    uint16_t id = 0;
    RomData data;
};

struct RomDatabaseSpec {
    std::string name;             // at most 31 bytes are kept with the NUL; 32 fill the field
    uint16_t attributes = 0x0002; // read-only; 0x0001 makes a resource database
    uint16_t version = 1;
    uint32_t creationDate = 0;
    uint32_t modificationDate = 0;
    uint32_t lastBackupDate = 0;
    uint32_t modificationNumber = 0;
    uint32_t type = 0;
    uint32_t creator = 0;
    uint32_t uniqueIdSeed = 0;
    std::optional<RomData> appInfo;
    std::optional<RomData> sortInfo;
    std::vector<RomRecordSpec> records;     // record databases
    std::vector<RomResourceSpec> resources; // resource databases
    size_t heap = 0;                        // index into RomSpec::heaps
};

struct RomSpec {
    uint32_t base = 0x10C08000; // LocalID of the part's first byte
    RomCardSpec card;
    RomStoreSpec store;
    std::vector<RomHeapSpec> heaps = {RomHeapSpec{}};
    size_t directoryHeap = 0;
    // 0: one directory; otherwise each directory chunk lists at most this many databases and
    // names the next one.
    size_t databasesPerDirectory = 0;
    std::vector<RomDatabaseSpec> databases;

    bool Arm() const { return card.headerVersion >= 6; }
};

// A run of the bytes built: offset from the part's start and length.
struct RomRun {
    uint64_t offset = 0;
    uint64_t size = 0;
};

struct BuiltDatabase {
    uint32_t headerId = 0; // LocalID of the database header (its chunk data)
    uint32_t appInfoId = 0;
    uint32_t sortInfoId = 0;
    std::vector<uint32_t> entryIds; // LocalID of each record's or resource's data (0 for none)
};

struct BuiltRom {
    RomData bytes; // from the card header to the end of the last heap (or of the card's length)
    uint32_t base = 0;
    uint32_t heapListId = 0;
    std::vector<uint32_t> heapIds;
    std::vector<uint32_t> directoryIds; // the directory chunks' data, in chain order
    std::vector<BuiltDatabase> databases;
    std::vector<RomRun> freeData; // the data of each free chunk (left zero)
    uint32_t length = 0;          // the card header's checksumBytes
    uint16_t checksum = 0;

    uint64_t OffsetOf(uint32_t localId) const { return localId - base; }
};

// Lays the ROM out.  Throws std::invalid_argument when the description cannot be laid out (an
// unknown heap version, a database in a heap that does not exist, a heap too small for its
// chunks, a 68k-only structure asked of an ARM part).
BuiltRom BuildRom(const RomSpec &spec);

// A feature table resource ('feat' on 68k, 'afea' on ARM): groups of (creator, features).
using RomFeatureGroup = std::pair<uint32_t, std::vector<std::pair<uint16_t, uint32_t>>>;
RomData FeatureTable(const std::vector<RomFeatureGroup> &groups, bool arm);

// The database that holds the system's features: "System" ('rsrc'/'psys') with 'feat' 10000 on
// 68k, "Boot" with 'afea' 10000 on ARM, giving the OS version ('psys', 1) and the processor
// ('psys', 2).
RomDatabaseSpec SystemDatabase(uint32_t osVersion, uint32_t processor, bool arm);

// An app info block of the usual category layout: renamed bits, 16 names of 16 bytes, 16 ids,
// the last unique id and a pad byte (276 bytes), then `extra`.
RomData CategoryAppInfo(const std::vector<std::string> &names, const RomData &extra = {});

} // namespace ostervane::simulator
