// PackageEntry: one source database in the RAM or expansion-ROM list of a package, holding
// its file open for as long as the entry exists; and the PackageFlags bits.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace tarnhollow {

// Bits of an entry's flags byte, as the Data database records them.
enum PackageFlags : uint8_t {
    kFlagChecked = 0x01,  // a RAM entry to install: its database is embedded
    kFlagRomList = 0x02,  // an entry of the expansion-ROM list
    kFlagRamList = 0x04,  // an entry of the RAM list
    kFlagLaunch = 0x08,   // launch after reset
    kFlagInverted = 0x10, // the embedded copy has type and creator inverted
};

inline constexpr uint8_t kRamCheckedFlags = 0x05, kRamUncheckedFlags = 0x04, kRomFlags = 0x12;
inline constexpr uint8_t kLocationRamChecked = 3, kLocationOther = 2;

struct FileCloser {
    void operator()(std::FILE *file) const {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

struct PackageEntry {
    FileHandle file;             // open for reading; null when restored without its database
    std::array<char, 32> name{}; // database name, NUL-padded
    uint8_t flags = 0;           // PackageFlags
    uint8_t location = 0;        // 3 for a checked RAM entry, 2 otherwise
    int32_t size = 0;            // file size in bytes
    uint32_t type = 0;
    uint32_t creator = 0;
    uint16_t headerWord = 0; // attribute word when added, version word when restored

    std::string Name() const { return std::string(name.data(), strnlen(name.data(), name.size())); }
    void SetName(const std::string &text);
};

} // namespace tarnhollow
