// The 68k flasher without a CPU, for fast host tests: a Continue into the flasher database
// "LowLevelFlash" runs the flasher's own C code (built for the host) against the handheld's
// memory and flash chips, so the chips see the very bus cycles the flasher makes on the
// emulated 68000, and the results come back in the registers the same way.
#pragma once

#include <optional>

#include "simulator/debugger.h"

namespace ostervane::simulator {

// The offset of the flasher's entry in its database image.
inline constexpr uint32_t kFlasherEntryOffset = 138;

// When `registers` enter the flasher (pc at the entry of a "LowLevelFlash" image in memory):
// carries out the operation d3 asks for and leaves its results in the registers.  The run
// takes as long as the chips were busy.  A work area, source or description buffer outside
// the handheld's memory ends the run with a bus error, as on the CPU.  Otherwise nothing: the
// resumed code is not the flasher.
std::optional<ResumeOutcome> RunFlasherBehaviour(HandheldMemory &memory, RegisterBlock &registers);

} // namespace ostervane::simulator
