// The handheld's CPU: runs the code the host resumed on an emulated 68000 (Unicorn) against the
// handheld's RAM and flash chips, until the debugger's break trap or a step limit.
//
// How a run ends:
//   TRAP #8 (the debugger's break)   the handheld re-enters its debugger: a state packet with
//                                    the CPU's registers, exception 0x0080
//   any other trap or exception      re-entry with that exception (vector number times 4)
//   a bus fault or bad instruction   re-entry with 0x0008 (bus error) or 0x0010 (illegal)
//   the step limit                   the code ran away: the handheld hangs and never answers
//                                    again until something resets it, as a real one does
// A Continue into ROM (the reset address, say) runs the handheld's own system, which is not
// emulated: the handheld leaves the debugger and goes back to its work.
#pragma once

#include <cstdint>
#include <string>

#include "simulator/debugger.h"

namespace ostervane::simulator {

struct CpuRunReport {
    bool trapped = false;  // ended at a trap or exception the debugger catches
    bool ranAway = false;  // hit the step limit
    uint32_t vector = 0;   // the trap's or exception's vector number
    std::string error;     // the emulator's complaint, if any
};

class M68kCpuRunner : public CodeRunner {
public:
    static constexpr uint64_t kDefaultStepLimit = 20'000'000;
    static constexpr uint16_t kExceptionIllegal = 0x0010;

    explicit M68kCpuRunner(uint64_t stepLimit = kDefaultStepLimit) : stepLimit_(stepLimit) {}

    ResumeOutcome Run(HandheldMemory &memory, RegisterBlock &registers) override;
    const CpuRunReport &LastReport() const { return report_; }

private:
    uint64_t stepLimit_;
    CpuRunReport report_;
};

} // namespace ostervane::simulator
