// What `info` shows of a ROM image, worked out once for the command line and the windows: the
// card's fields, the OS version and processor, the checksum and identification verdicts, and
// one row per database.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ostervane/core/rom_checksum.h"
#include "ostervane/core/rom_image.h"
#include "ostervane/core/rom_reader.h"

namespace ostervane {

struct RomDatabaseRow {
    const RomDatabase *database = nullptr;
    std::string name;    // UTF-8
    std::string type;    // FourCharText
    std::string creator; // FourCharText
    uint16_t attributes = 0;
    std::string attributesText; // DatabaseAttributeText
    uint16_t version = 0;
    size_t entries = 0;
    uint64_t bytes = 0;       // bodies, app info and sort info
    const char *part = "big"; // "big" or "small"
    bool complete = true;
};

struct RomSummary {
    const RomPart *main = nullptr; // the big ROM, else the small ROM; nullptr: no card header
    std::optional<uint32_t> osVersion;
    std::string osVersionText; // "" when the feature table does not give it
    std::string cpuFamily;
    RomChecksumResult checksum;                     // of the main part, as far as the image goes
    std::optional<RomChecksumResult> smallChecksum; // of a whole card's small ROM
    RomImageInfo identification;                    // what `identify` finds
    RomVerdict verdict = RomVerdict::Unknown;       // with a family warning accepted
    std::vector<RomDatabaseRow> rows;               // small ROM first, in directory order
    std::vector<std::string> problems;              // the reader's, then the feature table's
};

// Summarises the image; `image` must outlive the summary.
RomSummary SummariseRom(const RomImage &image);

// The names of the database attribute bits set, joined by "|" ("resource|readonly"), as the
// database file library names them; bits without a name as hex ("0x1000").
std::string DatabaseAttributeText(uint16_t attributes);

} // namespace ostervane
