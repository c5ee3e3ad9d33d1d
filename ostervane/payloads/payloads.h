// The two device-side flashers a restore sends to the handheld, built into the program.
#pragma once

#include <cstdint>
#include <span>

namespace ostervane {

// The ARM flasher, entered at its first byte; the bytes live as long as the program.
std::span<const uint8_t> ArmFlasherPayload();

// The 68k flasher database "LowLevelFlash"; the bytes live as long as the program.
std::span<const uint8_t> LowLevelFlashPayload();

} // namespace ostervane
