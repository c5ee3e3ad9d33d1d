// Hand-made ROM images for the reader's tests, the command-line tests and the benchmark: a card
// of databases laid out as a 68k (big-endian) or ARM (little-endian) ROM store, with a map of
// where each structure landed so a test can break exactly one of them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ostervane::testing {

using Bytes = std::vector<uint8_t>;

// A four-character code from its text ("psys").
uint32_t Code(const char (&text)[5]);

struct TestRecord {
    uint8_t attributes = 0;
    uint32_t uniqueId = 0;
    Bytes data;
    bool noData = false; // LocalID 0
};

struct TestResource {
    uint32_t type = 0;
    uint16_t id = 0;
    Bytes data;
};

struct TestDatabase {
    std::string name; // raw bytes; up to 32
    uint16_t attributes = 0;
    uint16_t version = 1;
    uint32_t creationDate = 0xB6757900; // 2001-01-01 00:00
    uint32_t modificationDate = 0xB6757900;
    uint32_t lastBackupDate = 0;
    uint32_t modificationNumber = 0;
    uint32_t type = 0;
    uint32_t creator = 0;
    uint32_t uniqueIdSeed = 0;
    std::optional<Bytes> appInfo;
    std::optional<Bytes> sortInfo;
    std::vector<TestRecord> records;
    std::vector<TestResource> resources;
    // Entries beyond this many go to a continued record list (68k only); nullopt: none.
    std::optional<size_t> entriesInHeader;
};

struct TestRomOptions {
    bool arm = false;
    int heapVersion = 3;              // 1 to 4 on 68k; 4 on ARM
    uint16_t headerVersion = 5;       // 68k card header version; ARM headers are version 6
    uint32_t base = 0x10C08000;       // LocalID of the big ROM's first byte
    int heaps = 1;                    // the databases are spread over this many heaps
    size_t databasesPerDirectory = 0; // 0: one directory; else the directory is chained
    std::string cardName = "PalmCard";
    std::string manufacturer = "Palm Computing";
    uint32_t companyId = 0x70616C6D; // 'palm'
    uint32_t halId = 0x54455354;     // 'TEST'
    uint32_t romVersion = 0x04003000;
    std::string romVersionString = "ROM 4.0 test";
    uint32_t creationDate = 0xB6757900;
    uint16_t flags = 0x0020; // 68EZ328
    bool wholeCard = false;  // put a small ROM (one 'boot' database) in front of the big ROM
};

// Where the structures of the last image built lie, by name: "card", "storage", "heapList",
// "heap0", "directory0" (the data of each directory chunk), "db3" (the data of database 3's
// header chunk), "db3.entries", "db3.list" (its continued record list's data), "db3.e1" (the
// data of its entry 1), "db3.appInfo", "db3.sortInfo", "chunk:db3" (the header of database 3's
// chunk) and "small.card".  Offsets count from the start of the image.
using Places = std::map<std::string, uint64_t>;

class TestRom {
public:
    explicit TestRom(TestRomOptions options = {}) : options_(std::move(options)) {}

    TestDatabase &Add(TestDatabase database) {
        databases_.push_back(std::move(database));
        return databases_.back();
    }
    Bytes Build();
    const Places &At() const { return places_; }
    uint64_t Place(const std::string &name) const { return places_.at(name); }
    uint32_t BigRomBase() const { return options_.base; }

private:
    TestRomOptions options_;
    std::vector<TestDatabase> databases_;
    Places places_;
};

// A 68k feature table ('feat') or its ARM form ('afea') with these ('psys', number, value)
// features in one group.
Bytes FeatureTable(const std::vector<std::pair<uint16_t, uint32_t>> &psysFeatures, bool arm);

// The databases the benchmark and the command-line tests use: "System" with a feature table
// (OS 4.0), a record database with app and sort info, a resource database, and `fillers` more
// databases of `fillerBytes` bytes each.
void AddSampleDatabases(TestRom &rom, bool arm, size_t fillers = 0, size_t fillerBytes = 0);

} // namespace ostervane::testing
