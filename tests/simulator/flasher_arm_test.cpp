// The ARM flasher alone on the emulated ARM CPU against the ARM handheld's flash, with its own
// part and one of the other command set: the whole image written, nothing outside it changed,
// the marker cleared after a good flash only, the result word and the restart.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ostervane/payloads/payloads.h"
#include "simulator/cpu_runner.h"
#include "simulator/flash_chip.h"
#include "simulator/rom_presets.h"
#include "tests/simulator/different_bytes.h"

namespace ostervane::simulator {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kLoadBase = 0x100000;
constexpr uint32_t kParameters = kLoadBase + 0x10000;
constexpr uint32_t kEntry = kLoadBase + 0x10100;
constexpr uint32_t kImage = kLoadBase + 0x20000;
constexpr uint32_t kWork = 0x800000;
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
    explicit ArmBoard(const char *partName) : model(*FindHandheldModel("arm")) {
        model.flashPart = FindFlashPart(partName);
        memory = BuildMemory(model);
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
        const uint32_t words[] = {model.flashBase, kImage,  uint32_t(image.size()),
                                  kMarker,         target,  0xDEAD,
                                  kWork,           0x10000, 0xDEAD};
        for (uint32_t i = 0; i < std::size(words); ++i) {
            PutLe32(memory, kParameters + 4 * i, words[i]);
        }
        RegisterBlock registers = model.registers;
        registers.pc = kEntry;
        ResumeOutcome outcome = cpu.Run(memory, registers);
        EXPECT_EQ(cpu.LastReport().restartedAt, model.flashBase) << cpu.LastReport().error;
        EXPECT_TRUE(outcome.restarted);
        EXPECT_TRUE(Chip().InReadArrayMode());
        return GetLe32(memory, kParameters + 20);
    }

    HandheldModel model;
    HandheldMemory memory;
    ArmCpuRunner cpu;
};

using ostervane::testing::DifferentFrom;

class ArmFlasher : public ::testing::TestWithParam<const char *> {};

TEST_P(ArmFlasher, WritesTheImageKeepsEverythingElseClearsTheMarkerAndRestarts) {
    ArmBoard board(GetParam());
    uint32_t base = board.model.flashBase, target = board.model.bigRomBase;
    uint32_t size = board.Chip().Size();
    Bytes before = board.Flash(base, size);
    Bytes image = DifferentFrom(board.Flash(target, 0x18001), 4); // odd: ends in a low byte
    EXPECT_EQ(board.Run(image, target), 0u);
    EXPECT_EQ(board.Flash(target, image.size()), image);
    Bytes after = board.Flash(base, size);
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + (target - base), before.begin()))
        << "the small ROM changed";
    size_t end = target - base + image.size();
    EXPECT_TRUE(std::equal(after.begin() + end, after.end(), before.begin() + end))
        << "flash behind the image changed";
    EXPECT_EQ(GetLe32(board.memory, kMarker), 0xFFFFFFFFu);
    EXPECT_EQ(GetLe32(board.memory, kParameters + 32), board.Chip().Counters().erases);
    EXPECT_EQ(board.Chip().Counters().erasedBlocks,
              (std::vector<uint32_t>{0x20010000, 0x20020000}));

    // The same image again changes nothing.
    board.Chip().ResetCounters();
    PutLe32(board.memory, kMarker, 0xFEEDFACE);
    EXPECT_EQ(board.Run(image, target), 0u);
    EXPECT_EQ(board.Chip().Counters().erases, 0u);
    EXPECT_EQ(board.Chip().Counters().programs, 0u);
}

TEST_P(ArmFlasher, AFailedFlashIsReportedKeepsTheSmallRomAndTheMarker) {
    ArmBoard board(GetParam());
    uint32_t base = board.model.flashBase, target = board.model.bigRomBase;
    Bytes smallRom = board.Flash(base, target - base);
    board.Chip().AddWornWord(target + 0x20);
    EXPECT_NE(board.Run(DifferentFrom(board.Flash(target, 0x1000), 7), target), 0u);
    EXPECT_EQ(GetLe32(board.memory, kMarker), 0xFEEDFACEu);
    EXPECT_EQ(board.Flash(base, target - base), smallRom);
}

INSTANTIATE_TEST_SUITE_P(Parts, ArmFlasher, ::testing::Values("intel-bottom-32m", "amd-bottom-32m"),
                         [](const auto &info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace ostervane::simulator
