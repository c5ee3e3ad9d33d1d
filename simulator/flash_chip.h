// A 16-bit NOR flash chip of the simulated handheld: the command state machine of either common
// command set, driven by bus reads and writes, with the cells kept in the handheld's memory.
//
// AMD/Fujitsu style: unlock cycles 0xAA at base+0xAAAA and 0x55 at base+0x5554, then 0x90
// autoselect (manufacturer at base+0, device at base+2), 0xA0 program one word, 0x80 and a
// second unlock then 0x30 at a block to erase it; while busy, reads give data polling (DQ7 the
// complement of the data's bit 7, DQ6 toggling); a program that would set a bit fails with DQ5
// until 0xF0 resets the chip.  Intel style: 0xFF read array, 0x90 identify (manufacturer 0x89),
// 0x70 read status (0x80 ready; 0x10 program, 0x20 erase, 0x02 block locked, 0x30 sequence
// error), 0x50 clear status, 0x40 program, 0x20/0xD0 block erase, 0x60/0xD0 unlock.  Intel
// blocks start locked, and a program there only clears bits (the flasher's verify finds it).
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "simulator/sim_time.h"

namespace ostervane::simulator {

class HandheldMemory;

enum class FlashCommandSet { Amd, Intel };

struct FlashChipCounters {
    uint32_t programs = 0; // program commands carried out
    uint32_t erases = 0;
    std::vector<uint32_t> erasedBlocks; // block start addresses, in order
    SimTime busyTime{0};                // how long the operations took, summed
};

class FlashChip {
public:
    static constexpr uint16_t kAmdManufacturer = 0x0001;
    static constexpr uint16_t kIntelManufacturer = 0x0089;
    static constexpr SimTime kProgramTime = std::chrono::microseconds(12);
    static constexpr SimTime kEraseTime = std::chrono::milliseconds(700);

    // A little-endian chip sits on the bus of a little-endian CPU: the word at an even address
    // has its low byte there.
    FlashChip(FlashCommandSet commandSet, uint32_t base, uint32_t size, uint32_t blockSize,
              bool littleEndian = false);

    FlashCommandSet CommandSet() const { return commandSet_; }
    uint32_t Base() const { return base_; }
    uint32_t Size() const { return size_; }
    uint32_t BlockSize() const { return blockSize_; }
    bool Contains(uint32_t address) const { return address - base_ < size_; }
    uint32_t BlockStart(uint32_t address) const;

    // The bus side, as code running on the handheld sees the chip.  `size` is 1 or 2 bytes;
    // byte accesses take the matching half of the word.
    uint16_t BusRead(const HandheldMemory &memory, uint32_t address, unsigned size);
    void BusWrite(HandheldMemory &memory, uint32_t address, unsigned size, uint16_t value);

    // The operations themselves, for the behavioural flasher (no command cycles, no locks):
    // erase the block holding `address`, and program a word, which can only clear bits; false
    // when the cell does not end up holding `value`.
    void EraseBlock(HandheldMemory &memory, uint32_t address);
    bool ProgramWord(HandheldMemory &memory, uint32_t address, uint16_t value);

    // A worn-out word: programming and erasing leave it as it is.
    void AddWornWord(uint32_t address) { worn_.insert(address & ~1u); }
    const FlashChipCounters &Counters() const { return counters_; }
    bool InReadArrayMode() const { return mode_ == Mode::ReadArray; }

private:
    enum class Mode { ReadArray, Autoselect, Status, Busy, Failed };
    static constexpr int kProgramBusyReads = 2;
    static constexpr int kEraseBusyReads = 4;

    uint16_t CellWord(const HandheldMemory &memory, uint32_t address) const;
    uint16_t IdentifyWord(uint32_t address) const;
    uint16_t PollingWord();
    void AmdWrite(HandheldMemory &memory, uint32_t address, uint16_t value);
    void IntelWrite(HandheldMemory &memory, uint32_t address, uint16_t value);
    void StartBusy(uint16_t expected, int reads);

    FlashCommandSet commandSet_;
    uint32_t base_;
    uint32_t size_;
    uint32_t blockSize_;
    bool littleEndian_;
    Mode mode_ = Mode::ReadArray;
    int cycle_ = 0; // AMD: unlock cycles seen; Intel: the command awaiting its data
    uint16_t intelCommand_ = 0;
    uint16_t pollExpected_ = 0; // AMD: the data the operation under way writes
    int busyReads_ = 0;
    bool toggle_ = false;
    uint8_t status_ = 0x80; // Intel status register
    std::set<uint32_t> unlockedBlocks_;
    std::set<uint32_t> worn_;
    FlashChipCounters counters_;
};

} // namespace ostervane::simulator
