// CRC-16 with polynomial 0x1021, most significant bit first, initial value 0 and no final
// inversion: the check of debugger packets and of a ROM's card header alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ostervane {

// Continues `crc` over `bytes`, so a long range may be fed in pieces.
uint16_t Crc16(std::span<const uint8_t> bytes, uint16_t crc = 0);

inline uint16_t Crc16(const uint8_t *data, size_t length) {
    return Crc16(std::span<const uint8_t>(data, length));
}

} // namespace ostervane
