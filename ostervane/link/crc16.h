// CRC-16 of debugger packets: polynomial 0x1021, most significant bit first, initial value 0,
// no final inversion.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostervane {

uint16_t Crc16(const uint8_t *data, size_t length);

} // namespace ostervane
