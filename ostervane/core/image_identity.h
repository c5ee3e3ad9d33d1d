// What identification found in a ROM image, as every restore job receives it; all zero or
// empty for a backup.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostervane {

struct ImageIdentity {
    uint32_t imageDeviceId = 0;
    std::optional<std::vector<uint32_t>> imageAddressList;
    uint32_t imageLoadBase = 0;
    std::string imageManufacturer;
    uint32_t imageExpectedEnd = 0;
    uint64_t imageOffset = 0; // where the written part starts in the file; 0 unless a whole card
};

} // namespace ostervane
