// The handheld's CPU: runs the code the host resumed on an emulated 68000 or ARM (Unicorn)
// against the handheld's RAM and flash chips, until the debugger's break trap, a jump into ROM
// or a step limit.
//
// How a run ends:
//   TRAP #8 (the debugger's break)   the handheld re-enters its debugger: a state packet with
//                                    the CPU's registers, exception 0x0080
//   any other trap or exception      re-entry with that exception (vector number times 4)
//   a bus fault or bad instruction   re-entry with 0x0008 (bus error) or 0x0010 (illegal)
//   the step limit                   the code ran away: the handheld hangs and never answers
//                                    again until something resets it, as a real one does
// A Continue into ROM (the reset address, say), or code that jumps there, hands control to the
// handheld's own system, which is not emulated: the outcome says the handheld restarted, and the
// debugger brings it back as its options say (reenterAfter), as without a CPU.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "simulator/debugger.h"

namespace ostervane::simulator {

struct CpuRunReport {
    bool trapped = false;                // ended at a trap or exception the debugger catches
    bool ranAway = false;                // hit the step limit
    uint32_t vector = 0;                 // the trap's or exception's vector number
    std::string error;                   // the emulator's complaint, if any
    std::optional<uint32_t> restartedAt; // where control went to ROM
};

// What both CPUs share: the report of the last run and the restart outcome.
class CpuRunner : public CodeRunner {
public:
    // A 68k flasher run handles one 64 KB piece, well under a tenth of this.
    static constexpr uint64_t kDefaultStepLimit = 20'000'000;

    explicit CpuRunner(uint64_t stepLimit) : stepLimit_(stepLimit) {}
    const CpuRunReport &LastReport() const { return report_; }

protected:
    ResumeOutcome Restarted(uint32_t at);

    uint64_t stepLimit_;
    CpuRunReport report_;
};

class M68kCpuRunner : public CpuRunner {
public:
    static constexpr uint16_t kExceptionIllegal = 0x0010;

    explicit M68kCpuRunner(uint64_t stepLimit = kDefaultStepLimit) : CpuRunner(stepLimit) {}
    ResumeOutcome Run(HandheldMemory &memory, RegisterBlock &registers) override;
};

// The ARM handheld's CPU (ARMv5, little-endian, ARM state): runs from pc until the code jumps
// into ROM, which restarts the handheld.  Faults come back as bus errors; the step limit, as
// on the 68000, hangs the handheld.
class ArmCpuRunner : public CpuRunner {
public:
    // The ARM flasher takes the whole image in one run, some 40 instructions a halfword: the
    // default covers images of 16 MB.
    static constexpr uint64_t kArmStepLimit = 500'000'000;

    explicit ArmCpuRunner(uint64_t stepLimit = kArmStepLimit) : CpuRunner(stepLimit) {}
    ResumeOutcome Run(HandheldMemory &memory, RegisterBlock &registers) override;
};

} // namespace ostervane::simulator
