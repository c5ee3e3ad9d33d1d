// Test images for restores: random bytes that differ from what the flash holds in every
// position, so that every sector a restore reaches must really be erased and rewritten.
#pragma once

#include <cstdint>
#include <vector>

namespace ostervane::testing {

inline std::vector<uint8_t> DifferentFrom(const std::vector<uint8_t> &current, uint32_t seed) {
    std::vector<uint8_t> bytes(current.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(current[i] ^ (1 + (seed >> 16) % 255));
    }
    return bytes;
}

} // namespace ostervane::testing
