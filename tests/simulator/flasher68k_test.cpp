// The 68k flasher alone on the emulated 68000 against every part of the catalogue: its
// description of the chip, its checksum, and the sector rewrite that keeps every byte outside
// the range, erases only what must change and survives a failed erase.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ostervane/link/crc32.h"
#include "ostervane/payloads/payloads.h"
#include "simulator/cpu_runner.h"
#include "simulator/flash_behaviour.h"
#include "simulator/flash_chip.h"
#include "simulator/rom_presets.h"
#include "tests/simulator/different_bytes.h"

namespace ostervane::simulator {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFlasher = 0x200000;
constexpr uint32_t kSource = 0x300000;
constexpr uint32_t kWork = 0x400000;

uint32_t Be32(const Bytes &bytes, size_t at) {
    return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
           uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
}

// A 68k-v5 handheld (RAM at 0) whose flash is the part under test.
struct Board {
    explicit Board(const FlashPart &part) : model(*FindHandheldModel("68k-v5")) {
        model.flashPart = &part;
        memory = BuildMemory(model);
        std::span<const uint8_t> code = LowLevelFlashPayload();
        memory.Write(kFlasher, code.data(), code.size());
        memory.Write(kWork, Bytes(16, 0).data(), 16);
    }
    FlashChip &Chip() { return *memory.FlashChipAt(model.flashBase); }
    Bytes Read(uint32_t address, size_t count) const {
        Bytes bytes(count);
        memory.Read(address, bytes.data(), count);
        return bytes;
    }
    // Runs one operation of the flasher on the CPU; the registers it left.
    RegisterBlock Run(uint32_t operation, uint32_t a6, uint32_t count, uint32_t a3 = kSource,
                      uint32_t blockSize = 0x10000) {
        RegisterBlock r = model.registers;
        r.d[3] = operation;
        r.d[4] = blockSize;
        r.d[5] = count;
        r.a[2] = model.flashBase;
        r.a[3] = a3;
        r.a[4] = kWork;
        r.a[6] = a6;
        r.pc = kFlasher + kFlasherEntryOffset;
        r.sr = 0x2700;
        ResumeOutcome outcome = cpu.Run(memory, r);
        EXPECT_EQ(outcome.exception, kExceptionBreak) << cpu.LastReport().error;
        EXPECT_FALSE(cpu.LastReport().ranAway) << "ran away";
        EXPECT_TRUE(Chip().InReadArrayMode());
        return r;
    }
    // Flashes `data` at `destination`; d0.
    uint32_t Flash(uint32_t destination, const Bytes &data) {
        memory.Write(kSource, data.data(), data.size());
        last = Run(1, destination, uint32_t(data.size()));
        return last.d[0];
    }

    HandheldModel model;
    HandheldMemory memory;
    M68kCpuRunner cpu;
    RegisterBlock last;
};

using ostervane::testing::DifferentFrom;

std::vector<const FlashPart *> AllParts() {
    std::vector<const FlashPart *> parts;
    for (const FlashPart &part : FlashParts()) {
        parts.push_back(&part);
    }
    return parts;
}

class Flasher68k : public ::testing::TestWithParam<const FlashPart *> {};

TEST_P(Flasher68k, DescribesTheChipAndChecksumsMemory) {
    const FlashPart &part = *GetParam();
    Board board(part);
    RegisterBlock r = board.Run(3, 0, 0);
    Bytes description = board.Read(kSource, 12 + 8 * part.regions.size());
    EXPECT_EQ(description[1], part.commandSet == FlashCommandSet::Amd ? 1 : 2);
    if (!part.answersCfi) {
        EXPECT_EQ(r.d[0], 3u);
        EXPECT_EQ(description[3], 0u);
    } else {
        EXPECT_EQ(r.d[0], 0u);
        ASSERT_EQ(description[3], part.regions.size());
        EXPECT_EQ(Be32(description, 8), part.Size());
        for (size_t i = 0; i < part.regions.size(); ++i) {
            EXPECT_EQ(Be32(description, 12 + 8 * i), part.regions[i].sectorSize);
            EXPECT_EQ(Be32(description, 16 + 8 * i), part.regions[i].sectorCount);
        }
    }
    EXPECT_EQ((description[4] << 8 | description[5]), part.manufacturerId);
    EXPECT_EQ((description[6] << 8 | description[7]), part.deviceId);

    Bytes rom = board.Read(board.model.flashBase + 0x7001, 0x3001);
    EXPECT_EQ(board.Run(2, board.model.flashBase + 0x7001, 0x3001).d[0],
              Crc32(rom.data(), rom.size()));
}

TEST_P(Flasher68k, RewritesTheRangeKeepingEveryByteAroundIt) {
    Board board(*GetParam());
    const FlashChip &chip = board.Chip();
    uint32_t base = board.model.flashBase;
    // From inside the first sector that is not the very first, over three more sectors' worth.
    uint32_t first = base + chip.SectorSize(base);
    uint32_t destination = first + 0x1000;
    // Odd: the last word keeps a byte.
    uint32_t count = std::min<uint32_t>(chip.SectorSize(first) * 3, 0x30000) + 0x123;
    Bytes before = board.Read(base, chip.Size());
    Bytes data = DifferentFrom(board.Read(destination, count), 7);
    ASSERT_EQ(board.Flash(destination, data), 0u);
    EXPECT_EQ(board.Read(destination, count), data);
    Bytes after = board.Read(base, chip.Size());
    for (size_t i = 0; i < after.size(); ++i) {
        if (base + i < destination || base + i >= destination + count) {
            ASSERT_EQ(after[i], before[i]) << "byte at " << std::hex << base + i << " changed";
        }
    }
    // Each sector the range reached was erased once; the bytes in front of it were kept.
    std::vector<uint32_t> touched;
    for (uint32_t at = destination; at < destination + count;
         at = chip.BlockStart(at) + chip.SectorSize(at)) {
        touched.push_back(chip.BlockStart(at));
    }
    EXPECT_EQ(chip.Counters().erasedBlocks, touched);
    EXPECT_EQ(board.last.d[1], touched.size());
    EXPECT_EQ(board.last.d[2], 0x1000u);

    // The same data again: nothing erased, nothing programmed.
    uint32_t programs = chip.Counters().programs;
    EXPECT_EQ(board.Flash(destination, data), 0u);
    EXPECT_EQ(chip.Counters().erasedBlocks.size(), touched.size());
    EXPECT_EQ(chip.Counters().programs, programs);
}

TEST_P(Flasher68k, AFailedEraseKeepsTheBytesInFrontAndARetryUsesTheSavedCopy) {
    Board board(*GetParam());
    FlashChip &chip = board.Chip();
    uint32_t base = board.model.flashBase;
    uint32_t sector = base + chip.SectorSize(base);
    uint32_t destination = sector + 0x800;
    Bytes kept = board.Read(sector, 0x800);
    Bytes data = DifferentFrom(board.Read(destination, 0x1000), 9);
    chip.AddWornWord(destination + 0x10);
    EXPECT_NE(board.Flash(destination, data), 0u);
    EXPECT_EQ(board.Read(sector, 0x800), kept);
    // The wear gone, the retry ends the job and still keeps what was in front.
    chip.ClearWear();
    ASSERT_EQ(board.Flash(destination, data), 0u);
    EXPECT_EQ(board.Read(sector, 0x800), kept);
    EXPECT_EQ(board.Read(destination, data.size()), data);
}

TEST_P(Flasher68k, RefusesMisalignedOrOutOfChipRequests) {
    Board board(*GetParam());
    uint32_t base = board.model.flashBase;
    EXPECT_EQ(board.Flash(base + 0x10001, Bytes{1, 2}), 2u);
    if (GetParam()->answersCfi) { // only a chip that tells its size can be overrun
        EXPECT_EQ(board.Flash(base + board.Chip().Size() - 2, Bytes(4, 0)), 2u);
    }
    EXPECT_EQ(board.Run(9, base, 0).d[0], 2u);
    EXPECT_TRUE(board.Chip().Counters().erasedBlocks.empty());
}

// Without a CFI answer the flasher takes the block size it is given; an erase that shows the
// real sector is larger stops the rewrite with 6 instead of going on.
TEST(Flasher68kWithoutCfi, AnEraseReachingPastTheAssumedBlockStopsTheRewrite) {
    Board board(*FindFlashPart("amd-nocfi-16m"));
    uint32_t sector = board.model.flashBase + 0x18000; // a 32 KB block by assumption
    Bytes data = DifferentFrom(board.Read(sector, 0x100), 2);
    board.memory.Write(kSource, data.data(), data.size());
    EXPECT_EQ(board.Run(1, sector, uint32_t(data.size()), kSource, 0x8000).d[0], 6u);
}

INSTANTIATE_TEST_SUITE_P(Parts, Flasher68k, ::testing::ValuesIn(AllParts()), [](const auto &info) {
    std::string name = info.param->name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

} // namespace
} // namespace ostervane::simulator
