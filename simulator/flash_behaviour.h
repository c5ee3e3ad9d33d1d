// The 68k flasher's work without a CPU, for fast host tests: a Continue into the flasher
// database "LowLevelFlash" with d3 = 1 is carried out on the flash chip model directly.
#pragma once

#include <optional>

#include "simulator/debugger.h"

namespace ostervane::simulator {

// The offset of the flasher's entry in its database image.
inline constexpr uint32_t kFlasherEntryOffset = 138;

// When `registers` enter the flasher (pc at the entry of a "LowLevelFlash" image in memory) with
// d3 = 1: erases the blocks the piece reaches at their start, programs d5 bytes from a3 at a6
// (skipping words that hold their value), verifies, and leaves 0 (success), 1 (verify failed)
// or 2 (no flash chip there) in d0, as the real flasher does.  The flash takes no time.
// Otherwise nothing: the resumed code is not the flasher.
std::optional<ResumeOutcome> RunFlasherBehaviour(HandheldMemory &memory, RegisterBlock &registers);

} // namespace ostervane::simulator
