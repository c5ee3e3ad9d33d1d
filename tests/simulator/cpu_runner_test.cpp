// The emulated 68000 and the flash chips' bus behaviour: how a run ends (break, crash, runaway,
// ROM), and the command state machines as code on the handheld sees them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "simulator/cpu_runner.h"
#include "simulator/flash_chip.h"
#include "simulator/rom_presets.h"

namespace ostervane::simulator {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kCode = 0x200000; // RAM of 68k-v5

// Runs `code` at kCode on a 68k-v5 handheld with the step limit given.
struct Cpu {
    explicit Cpu(Bytes code, uint64_t steps = 1000) : memory(BuildMemory(Model())), runner(steps) {
        memory.Write(kCode, code.data(), code.size());
        registers = Model().registers;
        registers.pc = kCode;
        registers.sr = 0x2700;
    }
    static const HandheldModel &Model() { return *FindHandheldModel("68k-v5"); }
    ResumeOutcome Run() { return runner.Run(memory, registers); }

    HandheldMemory memory;
    M68kCpuRunner runner;
    RegisterBlock registers;
};

TEST(CpuRunner, BreakTrapReentersTheDebuggerWithTheRegistersAndTheRam) {
    // moveq #42,d0; move.l d0,(a1); trap #8
    Cpu cpu({0x70, 0x2A, 0x22, 0x80, 0x4E, 0x48});
    cpu.registers.a[1] = 0x4000;
    ResumeOutcome outcome = cpu.Run();
    EXPECT_TRUE(outcome.reentersDebugger);
    EXPECT_EQ(outcome.exception, kExceptionBreak);
    EXPECT_EQ(cpu.registers.d[0], 42u);
    Bytes stored(4);
    cpu.memory.Read(0x4000, stored.data(), 4);
    EXPECT_EQ(stored, (Bytes{0, 0, 0, 42}));
}

TEST(CpuRunner, CrashesComeBackAsExceptionsAndRunawaysHang) {
    Cpu unmapped({0x30, 0x80}); // move.w d0,(a0) with a0 outside memory
    unmapped.registers.a[0] = 0xF0000000;
    ResumeOutcome crash = unmapped.Run();
    EXPECT_TRUE(crash.reentersDebugger);
    EXPECT_EQ(crash.exception, kExceptionBusError);

    Cpu illegal({0x4A, 0xFC}); // ILLEGAL
    ResumeOutcome bad = illegal.Run();
    EXPECT_TRUE(bad.reentersDebugger);
    EXPECT_NE(bad.exception, kExceptionBreak);

    Cpu loop({0x60, 0xFE}); // bra.s *
    EXPECT_FALSE(loop.Run().reentersDebugger);
    EXPECT_TRUE(loop.runner.LastReport().ranAway);

    Cpu rom({});
    rom.registers.pc = Cpu::Model().resetAddress; // the handheld's own system: not emulated
    ResumeOutcome restart = rom.Run();
    EXPECT_FALSE(restart.reentersDebugger);
    EXPECT_TRUE(restart.restarted);
}

TEST(FlashChip, BusWritesFollowTheCommandSets) {
    HandheldMemory memory = BuildMemory(*FindHandheldModel("68k-v3"));
    FlashChip &amd = *memory.FlashChipAt(0x10C00000);
    uint32_t base = 0x10C00000, word = 0x10C10000;
    // A plain write is no command: the cell keeps its value.
    uint16_t before = amd.BusRead(memory, word, 2);
    amd.BusWrite(memory, word, 2, 0x0000);
    EXPECT_EQ(amd.BusRead(memory, word, 2), before);
    // Autoselect, then reset.
    amd.BusWrite(memory, base + 0xAAAA, 2, 0xAA);
    amd.BusWrite(memory, base + 0x5554, 2, 0x55);
    amd.BusWrite(memory, base + 0xAAAA, 2, 0x90);
    EXPECT_EQ(amd.BusRead(memory, base, 2), FlashChip::kAmdManufacturer);
    amd.BusWrite(memory, base, 2, 0xF0);
    EXPECT_TRUE(amd.InReadArrayMode());
    // A program that needs a 0 bit back at 1 fails with DQ5 until the reset.
    amd.EraseBlock(memory, word);
    amd.ProgramWord(memory, word, 0x00FF);
    amd.BusWrite(memory, base + 0xAAAA, 2, 0xAA);
    amd.BusWrite(memory, base + 0x5554, 2, 0x55);
    amd.BusWrite(memory, base + 0xAAAA, 2, 0xA0);
    amd.BusWrite(memory, word, 2, 0xFF00);
    EXPECT_NE(amd.BusRead(memory, word, 2) & 0x20, 0);
    amd.BusWrite(memory, base, 2, 0xF0);
    EXPECT_EQ(amd.BusRead(memory, word, 2), 0x0000);

    HandheldMemory intelMemory = BuildMemory(*FindHandheldModel("68k-v5"));
    FlashChip &intel = *intelMemory.FlashChipAt(0x10000000);
    uint32_t cell = 0x10020000;
    // Blocks start locked: a program fails with the lock bit in the status.
    intel.BusWrite(intelMemory, cell, 2, 0x40);
    intel.BusWrite(intelMemory, cell, 2, 0x0000);
    uint16_t status = 0;
    while (((status = intel.BusRead(intelMemory, cell, 2)) & 0x80) == 0) {
    }
    EXPECT_EQ(status & 0x12, 0x12);
    intel.BusWrite(intelMemory, cell, 2, 0x50);
    intel.BusWrite(intelMemory, cell, 2, 0xFF);
    EXPECT_EQ(intel.Counters().programs, 0u);
    // Unlocked, erased and programmed.
    for (uint16_t command : {0x60, 0xD0, 0x20, 0xD0}) {
        intel.BusWrite(intelMemory, cell, 2, command);
    }
    while ((intel.BusRead(intelMemory, cell, 2) & 0x80) == 0) {
    }
    intel.BusWrite(intelMemory, cell, 2, 0x40);
    intel.BusWrite(intelMemory, cell, 2, 0x1234);
    while (((status = intel.BusRead(intelMemory, cell, 2)) & 0x80) == 0) {
    }
    EXPECT_EQ(status, 0x80);
    intel.BusWrite(intelMemory, cell, 2, 0xFF);
    EXPECT_EQ(intel.BusRead(intelMemory, cell, 2), 0x1234);
    EXPECT_EQ(intel.BusRead(intelMemory, cell + 2, 2), 0xFFFF);
}

} // namespace
} // namespace ostervane::simulator
