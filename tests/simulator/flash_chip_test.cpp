// The flash chip models as code on the handheld drives them over the bus: query tables and ids
// of every catalogue part, sector erase and bit-clearing programs, AMD-style data polling,
// Intel-style status, locks and sticky errors, worn words and the counters.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "simulator/flash_chip.h"
#include "simulator/flash_parts.h"
#include "simulator/handheld_memory.h"

namespace ostervane::simulator {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBase = 0x10000000;

uint8_t Pattern(uint32_t offset) {
    return static_cast<uint8_t>(offset * 37 + (offset >> 9) + 0x5A);
}

// One chip of a catalogue part at kBase, its cells holding a known pattern.
struct Bench {
    explicit Bench(const char *name, bool littleEndian = false)
        : part(*FindFlashPart(name)), chip(part, kBase, littleEndian) {
        memory.MapRom("flash", kBase, part.Size());
        Bytes cells(part.Size());
        for (uint32_t i = 0; i < cells.size(); ++i) {
            cells[i] = Pattern(i);
        }
        memory.Program(kBase, cells.data(), cells.size());
    }

    uint16_t Read(uint32_t offset) { return chip.BusRead(memory, kBase + offset, 2); }
    void Write(uint32_t offset, uint16_t value) { chip.BusWrite(memory, kBase + offset, 2, value); }
    Bytes Cells(uint32_t offset, uint32_t count) const {
        Bytes bytes(count);
        memory.Read(kBase + offset, bytes.data(), count);
        return bytes;
    }
    Bytes Original(uint32_t offset, uint32_t count) const {
        Bytes bytes(count);
        for (uint32_t i = 0; i < count; ++i) {
            bytes[i] = Pattern(offset + i);
        }
        return bytes;
    }

    // AMD style, with the unlock addresses of the newer parts (byte offsets 0xAAA and 0x554).
    void Command(uint8_t command) {
        Write(0xAAA, 0xAA);
        Write(0x554, 0x55);
        Write(0xAAA, command);
    }
    void Program(uint32_t offset, uint16_t value) {
        Command(0xA0);
        Write(offset, value);
    }
    void Erase(uint32_t offset) {
        Command(0x80);
        Write(0xAAA, 0xAA);
        Write(0x554, 0x55);
        Write(offset, 0x30);
    }
    // Toggle-bit polling as a flasher does it: true when DQ6 stops toggling, false when it
    // still toggles after DQ5 came up.
    bool WaitAmd(uint32_t offset) {
        for (int i = 0; i < 100; ++i) {
            uint16_t first = Read(offset), second = Read(offset);
            if (((first ^ second) & 0x40) == 0) {
                return true;
            }
            if ((second & 0x20) != 0) {
                first = Read(offset);
                second = Read(offset);
                return ((first ^ second) & 0x40) == 0;
            }
        }
        return false;
    }

    // Intel style: the status once the write state machine is ready.
    uint16_t WaitIntel(uint32_t offset) {
        uint16_t status = 0;
        for (int i = 0; i < 100 && ((status = Read(offset)) & 0x80) == 0; ++i) {
        }
        return status;
    }
    uint16_t IntelProgram(uint32_t offset, uint16_t value) {
        Write(offset, 0x40);
        Write(offset, value);
        return WaitIntel(offset);
    }
    uint16_t IntelErase(uint32_t offset) {
        Write(offset, 0x20);
        Write(offset, 0xD0);
        return WaitIntel(offset);
    }
    void IntelUnlock(uint32_t offset) {
        Write(offset, 0x60);
        Write(offset, 0xD0);
    }

    FlashPart part;
    HandheldMemory memory;
    FlashChip chip;
};

void EnterQuery(Bench &bench) {
    if (bench.part.commandSet == FlashCommandSet::Amd) {
        bench.Write(0xAA, 0x98);
    } else {
        bench.Write(0x1234, 0x98);
    }
}

uint32_t Query16(Bench &bench, uint32_t word) {
    return bench.Read(2 * word) | bench.Read(2 * word + 2) << 8;
}

TEST(FlashParts, EveryPartAnswersItsQueryAndIdsAsItsGeometryIs) {
    for (const FlashPart &part : FlashParts()) {
        SCOPED_TRACE(part.name);
        Bench bench(part.name.c_str());
        bool amd = part.commandSet == FlashCommandSet::Amd;
        if (amd) {
            bench.Command(0x90);
        } else {
            bench.Write(0x40, 0x90);
        }
        EXPECT_EQ(bench.Read(0), amd ? 0x0001 : 0x0089);
        EXPECT_EQ(bench.Read(2), part.deviceId);
        bench.Write(0, amd ? 0xF0 : 0xFF);

        EnterQuery(bench);
        if (!part.answersCfi) {
            // An old part: 0x98 is no command, reads stay array data.
            EXPECT_TRUE(bench.chip.InReadArrayMode());
            EXPECT_EQ(bench.Read(0x20), Pattern(0x20) << 8 | Pattern(0x21));
            continue;
        }
        EXPECT_EQ(bench.Read(0x20), 'Q');
        EXPECT_EQ(bench.Read(0x22), 'R');
        EXPECT_EQ(bench.Read(0x24), 'Y');
        EXPECT_EQ(Query16(bench, 0x13), amd ? 2u : 1u);
        EXPECT_EQ(1u << bench.Read(2 * 0x27), part.Size());
        EXPECT_EQ(Query16(bench, 0x28), 2u);
        EXPECT_NE(bench.Read(2 * 0x1F), 0); // typical word program time given
        EXPECT_NE(bench.Read(2 * 0x21), 0); // typical sector erase time given

        // The regions in the table are the sectors the chip erases, from the bottom up.
        uint32_t regions = bench.Read(2 * 0x2C), offset = 0;
        ASSERT_EQ(regions, part.regions.size());
        for (uint32_t i = 0; i < regions; ++i) {
            uint32_t count = Query16(bench, 0x2D + 4 * i) + 1;
            uint32_t size = Query16(bench, 0x2F + 4 * i) * 256;
            for (uint32_t s = 0; s < count; ++s, offset += size) {
                EXPECT_EQ(bench.chip.BlockStart(kBase + offset + size - 1), kBase + offset);
                EXPECT_EQ(bench.chip.SectorSize(kBase + offset), size);
            }
        }
        EXPECT_EQ(offset, part.Size());

        uint32_t pri = Query16(bench, 0x15);
        EXPECT_EQ(bench.Read(2 * pri), 'P');
        EXPECT_EQ(bench.Read(2 * pri + 2), 'R');
        EXPECT_EQ(bench.Read(2 * pri + 4), 'I');
        EXPECT_EQ(bench.Read(2 * pri + 6), '1');
        if (amd) {
            uint16_t boot = bench.Read(2 * (pri + 0x0F));
            bool bottom = part.regions.front().sectorSize < part.regions.back().sectorSize;
            bool top = part.regions.front().sectorSize > part.regions.back().sectorSize;
            EXPECT_EQ(boot, bottom ? 2 : top ? 3 : 0);
        }
        bench.Write(0, amd ? 0xF0 : 0xFF);
        EXPECT_TRUE(bench.chip.InReadArrayMode());
        EXPECT_EQ(bench.Cells(0x20, 2), bench.Original(0x20, 2));
        EXPECT_EQ(bench.Read(0x20), Pattern(0x20) << 8 | Pattern(0x21));
    }
    // Boot sectors as the part names say.
    Bench bottom("amd-bottom-16m"), top("amd-top-16m");
    EXPECT_EQ(bottom.chip.BlockStart(kBase + 0x7FFF), kBase + 0x6000);
    EXPECT_EQ(bottom.chip.SectorSize(kBase + 0x8000), 0x8000u);
    EXPECT_EQ(top.chip.BlockStart(kBase + 0x1FFFFF), kBase + 0x1FC000);
    EXPECT_EQ(top.chip.SectorSize(kBase + 0x1F0000), 0x8000u);
}

TEST(FlashChip, AmdEraseTakesExactlyItsSectorAndProgramsOnlyClearBits) {
    Bench bench("amd-bottom-16m");
    bench.Erase(0x5000); // inside the first 8 KB sector, 0x4000-0x5FFF
    EXPECT_TRUE(bench.WaitAmd(0x5000));
    EXPECT_TRUE(bench.chip.InReadArrayMode());
    EXPECT_EQ(bench.Cells(0x3FFE, 2), bench.Original(0x3FFE, 2));
    EXPECT_EQ(bench.Cells(0x4000, 0x2000), Bytes(0x2000, 0xFF));
    EXPECT_EQ(bench.Cells(0x6000, 2), bench.Original(0x6000, 2));
    EXPECT_EQ(bench.chip.Counters().erasedBlocks, std::vector<uint32_t>{kBase + 0x4000});

    // The older unlock addresses (byte offsets 0xAAAA and 0x5554) work as well.
    bench.Write(0xAAAA, 0xAA);
    bench.Write(0x5554, 0x55);
    bench.Write(0xAAAA, 0xA0);
    bench.Write(0x4000, 0x1234);
    EXPECT_TRUE(bench.WaitAmd(0x4000));
    EXPECT_EQ(bench.Read(0x4000), 0x1234);
    EXPECT_EQ(bench.Cells(0x4000, 2), (Bytes{0x12, 0x34}));

    // Clearing more bits works; a bit back to 1 fails and leaves the AND of both.
    bench.Program(0x4000, 0x1030);
    EXPECT_TRUE(bench.WaitAmd(0x4000));
    EXPECT_EQ(bench.Read(0x4000), 0x1030);
    bench.Program(0x4000, 0x0F0F);
    EXPECT_FALSE(bench.WaitAmd(0x4000));
    bench.Write(0, 0xF0);
    EXPECT_EQ(bench.Read(0x4000), 0x0000);

    // A plain write or a broken unlock is no command.
    bench.Write(0x4002, 0x0000);
    bench.Write(0xAAA, 0xAA);
    bench.Write(0x556, 0x55);
    bench.Write(0xAAA, 0xA0);
    bench.Write(0x4002, 0x0000);
    EXPECT_EQ(bench.Read(0x4002), 0xFFFF);
}

TEST(FlashChip, AmdDataPollingAndAFailedOperationHoldUntilReset) {
    Bench bench("amd-uniform-16m");
    bench.Erase(0x20000);
    EXPECT_TRUE(bench.WaitAmd(0x20000));
    bench.Program(0x20010, 0x0055); // bit 7 of the data clear
    uint16_t first = bench.Read(0x30000);
    bench.Program(0x20012, 0x0000); // ignored while busy
    uint16_t second = bench.Read(0x20010);
    EXPECT_EQ(first & 0x80, 0x80); // the complement of the data's bit 7
    EXPECT_EQ(second & 0x80, 0x80);
    EXPECT_NE((first ^ second) & 0x40, 0); // DQ6 toggles on any read
    EXPECT_EQ(second & 0x20, 0);
    EXPECT_TRUE(bench.WaitAmd(0x20010));
    EXPECT_EQ(bench.Read(0x20010), 0x0055);
    EXPECT_EQ(bench.Read(0x20012), 0xFFFF);

    // During an erase DQ7 is 0 and DQ2 toggles only in the erasing sector.
    bench.Erase(0x40000);
    uint16_t out1 = bench.Read(0x10000), out2 = bench.Read(0x10000);
    uint16_t in1 = bench.Read(0x40000), in2 = bench.Read(0x40002);
    EXPECT_EQ(in1 & 0x80, 0);
    EXPECT_NE((in1 ^ in2) & 0x04, 0);
    EXPECT_EQ((out1 ^ out2) & 0x04, 0);
    EXPECT_TRUE(bench.WaitAmd(0x40000));

    // A failure keeps DQ5 and DQ7 the complement, ignoring commands, until 0xF0.
    bench.Program(0x20010, 0x00AA);
    for (int i = 0; i < 6; ++i) {
        uint16_t word = bench.Read(0x20010);
        EXPECT_EQ(word & 0xA0, 0x20);
    }
    bench.Command(0x90);
    EXPECT_FALSE(bench.chip.InReadArrayMode());
    EXPECT_NE(bench.Read(0) & 0x20, 0);
    bench.Write(0x20010, 0xF0);
    EXPECT_TRUE(bench.chip.InReadArrayMode());
    EXPECT_EQ(bench.Read(0x20010), 0x0000);
}

TEST(FlashChip, IntelLocksStatusAndStickyErrorsNeedClearStatus) {
    Bench bench("intel-bottom-32m", true); // the ARM handheld's little-endian bus
    uint32_t block = 0x4000;               // an 8 KB parameter block
    // Locked at power-up: program and erase fail with the lock bit and change nothing.
    EXPECT_TRUE(bench.chip.IsLocked(kBase + block));
    EXPECT_EQ(bench.IntelProgram(block, 0x0000), 0x92);
    EXPECT_EQ(bench.Cells(block, 2), bench.Original(block, 2));
    bench.Write(block, 0x50);
    EXPECT_EQ(bench.IntelErase(block), 0xA2);
    EXPECT_EQ(bench.Cells(block, 4), bench.Original(block, 4));
    EXPECT_EQ(bench.chip.Counters().programs + bench.chip.Counters().erases, 0u);

    // Unlocked, but the error is still in the status: nothing is carried out.
    bench.IntelUnlock(block);
    EXPECT_FALSE(bench.chip.IsLocked(kBase + block));
    EXPECT_EQ(bench.IntelErase(block) & 0x20, 0x20);
    EXPECT_EQ(bench.chip.Counters().erases, 0u);
    bench.Write(block, 0x50);
    EXPECT_EQ(bench.IntelErase(block), 0x80);
    EXPECT_EQ(bench.Cells(block - 2, 2), bench.Original(block - 2, 2));
    EXPECT_EQ(bench.Cells(block, 0x2000), Bytes(0x2000, 0xFF));
    EXPECT_EQ(bench.Cells(block + 0x2000, 2), bench.Original(block + 0x2000, 2));

    // The status stays readable until 0xFF; a status byte sits at the even address.
    EXPECT_EQ(bench.IntelProgram(block, 0x1234), 0x80);
    EXPECT_EQ(bench.chip.BusRead(bench.memory, kBase + block, 1), 0x80);
    bench.Write(block, 0xFF);
    EXPECT_EQ(bench.Read(block), 0x1234);
    EXPECT_EQ(bench.Cells(block, 2), (Bytes{0x34, 0x12}));
    // A bit back to 1 is a program error; it too holds until cleared.
    EXPECT_EQ(bench.IntelProgram(block, 0x4321), 0x90);
    EXPECT_EQ(bench.IntelProgram(block + 2, 0x0000), 0x90);
    EXPECT_EQ(bench.Cells(block + 2, 2), (Bytes{0xFF, 0xFF}));
    bench.Write(block, 0x50);

    // A bad confirm or an unknown command is a sequence error.
    bench.Write(block, 0x20);
    bench.Write(block, 0xFF);
    EXPECT_EQ(bench.WaitIntel(block), 0xB0);
    bench.Write(block, 0x50);
    bench.Write(block, 0x77);
    EXPECT_EQ(bench.WaitIntel(block), 0xB0);
    bench.Write(block, 0x50);

    // Identify mode gives the ids and each block's lock state; lock-down cannot be undone.
    bench.Write(0, 0x90);
    EXPECT_EQ(bench.Read(0), 0x0089);
    EXPECT_EQ(bench.Read(2), 0x88C5);
    EXPECT_EQ(bench.Read(block + 4), 0);
    EXPECT_EQ(bench.Read(0x6004), 1);
    bench.Write(block, 0x60);
    bench.Write(block, 0x2F);
    bench.IntelUnlock(block);
    bench.Write(0, 0x90);
    EXPECT_EQ(bench.Read(block + 4), 3);
    EXPECT_EQ(bench.IntelProgram(block + 2, 0x0000), 0x92);

    // A part without flexible locking starts unlocked.
    Bench uniform("intel-uniform-16m");
    EXPECT_EQ(uniform.IntelErase(0x20000), 0x80);
    EXPECT_EQ(uniform.Cells(0x20000, 0x20000), Bytes(0x20000, 0xFF));
    EXPECT_EQ(uniform.Cells(0x40000, 2), uniform.Original(0x40000, 2));
}

TEST(FlashChip, WornWordsFailTheirOperationsAndTheCountersFollowEachSector) {
    Bench amd("amd-bottom-16m");
    amd.chip.AddWornWord(kBase + 0x6010);
    amd.Erase(0x6000);
    EXPECT_FALSE(amd.WaitAmd(0x6000));
    amd.Write(0, 0xF0);
    EXPECT_EQ(amd.Cells(0x6010, 2), amd.Original(0x6010, 2)); // the worn word kept its value
    EXPECT_EQ(amd.Cells(0x6000, 0x10), Bytes(0x10, 0xFF));    // the rest was erased
    EXPECT_EQ(amd.Cells(0x6012, 0x1FEE), Bytes(0x1FEE, 0xFF));
    amd.Program(0x6010, 0x0000);
    EXPECT_FALSE(amd.WaitAmd(0x6010));
    amd.Write(0, 0xF0);
    EXPECT_EQ(amd.Cells(0x6010, 2), amd.Original(0x6010, 2));
    amd.chip.RemoveWornWord(kBase + 0x6010);
    amd.Program(0x6010, 0x0000);
    EXPECT_TRUE(amd.WaitAmd(0x6010));
    EXPECT_EQ(amd.Read(0x6010), 0x0000);

    // Erases and programs are counted per sector, and the time follows the sector's size.
    const FlashChipCounters &counters = amd.chip.Counters();
    EXPECT_EQ(counters.erases, 1u);
    EXPECT_EQ(counters.programs, 2u);
    const FlashSectorCounters &sector = amd.chip.SectorCounters(kBase + 0x6010);
    EXPECT_EQ(sector.start, kBase + 0x6000);
    EXPECT_EQ(sector.size, 0x2000u);
    EXPECT_EQ(sector.erases, 1u);
    EXPECT_EQ(sector.programs, 2u);
    EXPECT_EQ(amd.chip.SectorCounters(kBase).erases, 0u);
    EXPECT_EQ(counters.busyTime, amd.part.eraseTimePer64K / 8 + 2 * amd.part.wordProgramTime);
    amd.chip.ResetCounters();
    EXPECT_EQ(counters.erases + counters.programs + sector.erases + sector.programs, 0u);
    EXPECT_TRUE(counters.erasedBlocks.empty());
    EXPECT_EQ(counters.busyTime, SimTime(0));

    Bench intel("intel-uniform-16m");
    intel.chip.AddWornWord(kBase + 0x20100);
    EXPECT_EQ(intel.IntelErase(0x20000), 0xA0);
    EXPECT_EQ(intel.Cells(0x20100, 2), intel.Original(0x20100, 2));
    EXPECT_EQ(intel.Cells(0x20000, 0x100), Bytes(0x100, 0xFF));
    intel.Write(0, 0x50);
    EXPECT_EQ(intel.IntelProgram(0x20100, 0x0000), 0x90);
    intel.Write(0, 0x50);
    intel.chip.ClearWear();
    EXPECT_EQ(intel.IntelProgram(0x20100, 0x0000), 0x80);
}

} // namespace
} // namespace ostervane::simulator
