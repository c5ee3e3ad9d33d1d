// The 68k flasher alone on the emulated 68000 against both kinds of flash chip: erase only at
// block starts, words that already hold their value left alone, failures reported in d0.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ostervane/payloads/payloads.h"
#include "simulator/cpu_runner.h"
#include "simulator/flash_behaviour.h"
#include "simulator/flash_chip.h"
#include "simulator/rom_presets.h"

namespace ostervane::simulator {
namespace {

using Bytes = std::vector<uint8_t>;

struct Board {
    explicit Board(const char *name) : model(*FindHandheldModel(name)), memory(BuildMemory(model)) {
        flasher = model.ramBase + 0x100000;
        source = model.ramBase + 0x180000;
        std::span<const uint8_t> code = LowLevelFlashPayload();
        memory.Write(flasher, code.data(), code.size());
    }
    FlashChip &Chip() { return *memory.FlashChipAt(model.flashBase); }
    Bytes Flash(uint32_t address, size_t count) {
        Bytes bytes(count);
        memory.Read(address, bytes.data(), count);
        return bytes;
    }
    // Runs one flash operation on the CPU; returns d0.
    uint32_t Run(uint32_t destination, const Bytes &data, uint32_t blockSize = 0) {
        memory.Write(source, data.data(), data.size());
        RegisterBlock r = model.registers;
        r.d[3] = 1;
        r.d[4] = blockSize != 0 ? blockSize : model.flashBlockSize;
        r.d[5] = static_cast<uint32_t>(data.size());
        r.a[2] = model.flashBase;
        r.a[3] = source;
        r.a[6] = destination;
        r.pc = flasher + kFlasherEntryOffset;
        r.sr = 0x2700;
        ResumeOutcome outcome = cpu.Run(memory, r);
        EXPECT_TRUE(outcome.reentersDebugger) << cpu.LastReport().error;
        EXPECT_EQ(outcome.exception, kExceptionBreak) << cpu.LastReport().error;
        EXPECT_TRUE(Chip().InReadArrayMode());
        registers = r;
        return r.d[0];
    }

    HandheldModel model;
    HandheldMemory memory;
    M68kCpuRunner cpu;
    RegisterBlock registers;
    uint32_t flasher = 0;
    uint32_t source = 0;
};

Bytes Pattern(size_t count, uint8_t seed) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    }
    return bytes;
}

class Flasher68k : public ::testing::TestWithParam<const char *> {};

TEST_P(Flasher68k, ErasesAtBlockStartsAndProgramsThePiece) {
    Board board(GetParam());
    uint32_t block = board.model.flashBlockSize;
    uint32_t destination = board.model.flashBase + block; // a block start
    Bytes data = Pattern(0x1000, 3);
    EXPECT_EQ(board.Run(destination, data), 0u);
    EXPECT_EQ(board.Flash(destination, data.size()), data);
    EXPECT_EQ(board.Chip().Counters().erasedBlocks, std::vector<uint32_t>{destination});
    // The rest of the block was erased with it.
    EXPECT_EQ(board.Flash(destination + 0x1000, 16), Bytes(16, 0xFF));

    // A piece further into the same block is programmed without an erase.
    Bytes more = Pattern(0x800, 9);
    EXPECT_EQ(board.Run(destination + 0x1000, more), 0u);
    EXPECT_EQ(board.Flash(destination + 0x1000, more.size()), more);
    EXPECT_EQ(board.Chip().Counters().erases, 1u);
    EXPECT_EQ(board.Flash(destination, data.size()), data);
}

TEST_P(Flasher68k, WordsThatHoldTheirValueAreNotProgrammed) {
    Board board(GetParam());
    uint32_t destination = board.model.flashBase + board.model.flashBlockSize;
    Bytes data = Pattern(0x400, 5);
    for (size_t i = 0; i < data.size(); i += 8) {
        data[i] = data[i + 1] = 0xFF; // already erased: nothing to program
    }
    ASSERT_EQ(board.Run(destination, data), 0u);
    EXPECT_EQ(board.Chip().Counters().programs, 0x200u - 0x80u);

    // The same bytes again off the block start: no erase, no program.
    uint32_t programs = board.Chip().Counters().programs;
    EXPECT_EQ(board.Run(destination + 0x100, Bytes(data.begin() + 0x100, data.end())), 0u);
    EXPECT_EQ(board.Chip().Counters().programs, programs);
    EXPECT_EQ(board.Chip().Counters().erases, 1u);

    // An odd count writes the last high byte and leaves its neighbour erased.
    EXPECT_EQ(board.Run(destination + 0x400, Bytes{0x12, 0x34, 0x56}), 0u);
    EXPECT_EQ(board.Flash(destination + 0x400, 4), (Bytes{0x12, 0x34, 0x56, 0xFF}));
}

TEST_P(Flasher68k, AFlashThatDoesNotVerifyReportsNonZero) {
    Board board(GetParam());
    uint32_t destination = board.model.flashBase + board.model.flashBlockSize;
    Bytes data = Pattern(0x200, 1);
    ASSERT_EQ(board.Run(destination, data), 0u);
    // Off a block start nothing is erased, so bits that would have to go back to 1 cannot:
    // the AMD-style chip times out (DQ5), the Intel-style one programs what it can and the
    // verify finds the difference.
    Bytes inverted(data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        inverted[i] = static_cast<uint8_t>(~data[i]);
    }
    EXPECT_NE(board.Run(destination, inverted, board.model.flashBlockSize * 2), 0u);
    // A worn word fails even after an erase.
    board.Chip().AddWornWord(destination + 0x10);
    EXPECT_NE(board.Run(destination, Pattern(0x200, 2)), 0u);
    // A request the flasher does not know, or unaligned words, are refused.
    EXPECT_EQ(board.Run(destination + 1, Bytes{1, 2}), 2u);
}

INSTANTIATE_TEST_SUITE_P(BothCommandSets, Flasher68k, ::testing::Values("68k-v3", "68k-v5"));

} // namespace
} // namespace ostervane::simulator
