// What a ROM image says about itself beyond its card header: the system's feature table (the OS
// version, the processor) and the CPU family.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ostervane/core/rom_reader.h"

namespace ostervane {

struct RomFeature {
    uint32_t creator = 0;
    uint16_t number = 0;
    uint32_t value = 0;
};

// The system's default features: resource 'feat' 10000 of the 'psys' resource database
// "System" on 68k, 'afea' 10000 of "Boot" on ARM, followed by the other 'feat'/'afea'
// resources of 'psys' databases.  Counts that do not fit their resource end that resource's
// table and add a problem to `problems` (when given).
std::vector<RomFeature> ReadFeatureTable(const RomImage &image,
                                         std::vector<std::string> *problems = nullptr);

// Feature ('psys', 1), the OS version; nullopt when the table does not have it.
std::optional<uint32_t> RomOsVersion(const std::vector<RomFeature> &features);

// The CPU family: "ARM" for a Palm OS 5 header; for 68k the processors the card header's flags
// name ("68EZ328", or "68328, 68EZ328" when several are set; "68328" for headers before version
// 3), or failing that the one feature ('psys', 2) names; "" when nothing says.
std::string RomCpuFamily(const RomCardHeader &card, const std::vector<RomFeature> &features);

} // namespace ostervane
