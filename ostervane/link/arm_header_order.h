// The byte order of an ARM ROM's first card header: the handheld holds its signature and
// version big-endian, a .rom file little-endian like every other field of the header.  A
// backup turns the one into the other, a restore turns it back.
#pragma once

#include <cstdint>

namespace ostervane {

// FE ED BE EF and a big-endian version above 5 become EF BE ED FE and a little-endian version.
void ArmHeaderToFileOrder(uint8_t *block, uint32_t size);

// The reverse, for a block read from a .rom file.
void ArmHeaderToHandheldOrder(uint8_t *block, uint32_t size);

} // namespace ostervane
