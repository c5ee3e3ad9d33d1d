// The ARM flasher alone on the emulated ARM CPU against the ARM handheld's flash: the whole image
// written with erases only at block starts, the marker cleared, the result word, the restart.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ostervane/payloads/payloads.h"
#include "simulator/cpu_runner.h"
#include "simulator/flash_chip.h"
#include "simulator/rom_presets.h"

namespace ostervane::simulator {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kLoadBase = 0x100000;
constexpr uint32_t kParameters = kLoadBase + 0x10000;
constexpr uint32_t kEntry = kLoadBase + 0x10100;
constexpr uint32_t kImage = kLoadBase + 0x20000;
constexpr uint32_t kMarker = 0x5000;

void PutLe32(HandheldMemory &memory, uint32_t address, uint32_t value) {
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                              uint8_t(value >> 24)};
    memory.Write(address, bytes, 4);
}

uint32_t GetLe32(const HandheldMemory &memory, uint32_t address) {
    uint8_t b[4] = {};
    memory.Read(address, b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

struct ArmBoard {
    ArmBoard() : model(*FindHandheldModel("arm")), memory(BuildMemory(model)) {
        std::span<const uint8_t> code = ArmFlasherPayload();
        memory.Write(kEntry, code.data(), code.size());
        PutLe32(memory, kMarker, 0xFEEDFACE);
    }
    FlashChip &Chip() { return *memory.FlashChipAt(model.flashBase); }
    Bytes Flash(uint32_t address, size_t count) {
        Bytes bytes(count);
        memory.Read(address, bytes.data(), count);
        return bytes;
    }
    // Hands the image over as the host does; returns the flasher's result word.
    uint32_t Run(const Bytes &image, uint32_t target) {
        memory.Write(kImage, image.data(), image.size());
        const uint32_t words[5] = {model.flashBase, kImage, uint32_t(image.size()), kMarker,
                                   target};
        for (uint32_t i = 0; i < 5; ++i) {
            PutLe32(memory, kParameters + 4 * i, words[i]);
        }
        PutLe32(memory, kParameters + 20, 0xDEAD);
        RegisterBlock registers = model.registers;
        registers.pc = kEntry;
        outcome = cpu.Run(memory, registers);
        EXPECT_EQ(cpu.LastReport().restartedAt, model.flashBase) << cpu.LastReport().error;
        EXPECT_TRUE(outcome.restarted);
        EXPECT_TRUE(Chip().InReadArrayMode());
        return GetLe32(memory, kParameters + 20);
    }

    HandheldModel model;
    HandheldMemory memory;
    ArmCpuRunner cpu;
    ResumeOutcome outcome;
};

Bytes Pattern(size_t count, uint8_t seed) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 9));
    }
    return bytes;
}

TEST(ArmFlasher, WritesTheImageClearsTheMarkerAndRestarts) {
    ArmBoard board;
    Bytes image = Pattern(0x18001, 4); // an odd size ends with a low byte
    for (size_t i = 0x100; i < 0x200; ++i) {
        image[i] = 0xFF; // already erased: not programmed
    }
    EXPECT_EQ(board.Run(image, 0x20010000), 0u);
    EXPECT_EQ(board.Flash(0x20010000, image.size()), image);
    EXPECT_EQ(board.Flash(0x20010000 + image.size(), 1), Bytes{0xFF});
    EXPECT_EQ(board.Chip().Counters().erasedBlocks,
              (std::vector<uint32_t>{0x20010000, 0x20020000}));
    EXPECT_EQ(board.Chip().Counters().programs, (image.size() + 1) / 2 - 0x80);
    EXPECT_EQ(GetLe32(board.memory, kMarker), 0xFFFFFFFFu);
    // The small ROM in front of the target is untouched.
    EXPECT_EQ(board.Flash(0x20000008, 4), (Bytes{0xEF, 0xBE, 0xED, 0xFE}));
}

TEST(ArmFlasher, AFailedFlashIsReportedAndKeepsTheMarker) {
    ArmBoard board;
    board.Chip().AddWornWord(0x20010020);
    EXPECT_NE(board.Run(Pattern(0x1000, 7), 0x20010000), 0u);
    EXPECT_EQ(GetLe32(board.memory, kMarker), 0xFEEDFACEu);
}

} // namespace
} // namespace ostervane::simulator
