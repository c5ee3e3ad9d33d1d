// CRC-32 as the flasher computes it on the handheld (reflected polynomial 0xEDB88320, initial
// value and final inversion 0xFFFFFFFF), so a piece of the image and the flash it went to can
// be compared without reading the flash back over the line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostervane {

uint32_t Crc32(const uint8_t *data, size_t length);

} // namespace ostervane
