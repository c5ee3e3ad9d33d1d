// A 16-bit NOR flash chip of the simulated handheld, built from a catalogue part: the command
// state machine of its command set, driven by bus reads and writes, with the cells kept in the
// handheld's memory.
//
// The chip sits on a 16-bit bus: word address = (address - base) / 2.
// AMD/Fujitsu style: unlock cycles 0xAA at word 0x555 and 0x55 at word 0x2AA (low 11 bits of
// the word address decoded), then 0x90 autoselect (manufacturer at word 0, device at word 1),
// 0xA0 program one word, or 0x80, a second unlock and 0x30 at a sector to erase it; 0x98 at
// word 0x55 enters the CFI query; 0xF0 resets to read-array.  While busy, reads give data
// polling (DQ7 the complement of the data's bit 7, DQ6 toggling, DQ2 toggling in the erasing
// sector); a failed operation adds DQ5 and holds until 0xF0.
// Intel style: 0xFF read array, 0x90 identify, 0x98 query, 0x70 read status, 0x50 clear
// status, 0x40/0x10 program, 0x20/0xD0 block erase, 0x60 then 0xD0 unlock, 0x01 lock, 0x2F lock
// down.  Status: 0x80 ready, 0x20 erase error, 0x10 program error, 0x02 block locked, 0x30 a
// bad command sequence; error bits stay until 0x50 and block program and erase meanwhile.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "simulator/flash_parts.h"
#include "simulator/sim_time.h"

namespace ostervane::simulator {

class HandheldMemory;

struct FlashSectorCounters {
    uint32_t start = 0; // address
    uint32_t size = 0;
    uint32_t erases = 0;
    uint32_t programs = 0; // word programs carried out in the sector
};

struct FlashChipCounters {
    uint32_t programs = 0; // word programs carried out
    uint32_t erases = 0;
    std::vector<uint32_t> erasedBlocks; // sector start addresses, in order
    SimTime busyTime{0};                // how long the operations took, summed
    std::vector<FlashSectorCounters> sectors;
};

class FlashChip {
public:
    static constexpr uint16_t kAmdManufacturer = 0x0001;
    static constexpr uint16_t kIntelManufacturer = 0x0089;

    // A little-endian chip sits on the bus of a little-endian CPU: the word at an even address
    // has its low byte there.
    FlashChip(const FlashPart &part, uint32_t base, bool littleEndian = false);

    const FlashPart &Part() const { return part_; }
    FlashCommandSet CommandSet() const { return part_.commandSet; }
    uint32_t Base() const { return base_; }
    uint32_t Size() const { return size_; }
    bool Contains(uint32_t address) const { return address - base_ < size_; }
    // The start and size of the sector (erase block) holding `address`.
    uint32_t BlockStart(uint32_t address) const;
    uint32_t SectorSize(uint32_t address) const;
    bool IsLocked(uint32_t address) const;

    // The bus side, as code running on the handheld sees the chip.  `size` is 1 or 2 bytes;
    // byte accesses take the matching half of the word.
    uint16_t BusRead(const HandheldMemory &memory, uint32_t address, unsigned size);
    void BusWrite(HandheldMemory &memory, uint32_t address, unsigned size, uint16_t value);

    // The operations themselves, for the behavioural flasher (no command cycles, no locks):
    // erase the sector holding `address` (false when a worn word kept its value), and program
    // a word, which can only clear bits (false when the cell does not end up holding `value`
    // or the word is worn).
    bool EraseBlock(HandheldMemory &memory, uint32_t address);
    bool ProgramWord(HandheldMemory &memory, uint32_t address, uint16_t value);

    // A worn-out word: programming and erasing leave it as it is, and the operation fails.
    void AddWornWord(uint32_t address) { worn_.insert(address & ~1u); }
    void RemoveWornWord(uint32_t address) { worn_.erase(address & ~1u); }
    void ClearWear() { worn_.clear(); }

    const FlashChipCounters &Counters() const { return counters_; }
    const FlashSectorCounters &SectorCounters(uint32_t address) const;
    void ResetCounters();
    bool InReadArrayMode() const { return mode_ == Mode::ReadArray; }

private:
    enum class Mode { ReadArray, Identify, Query, Status, Busy, Failed };
    enum class Operation { None, Program, Erase };
    enum class Lock : uint8_t { Unlocked, Locked, LockedDown };
    static constexpr int kProgramBusyReads = 2;
    static constexpr int kEraseBusyReads = 4;

    size_t SectorIndex(uint32_t address) const;
    uint32_t WordAddress(uint32_t address) const { return (address - base_) >> 1; }
    uint16_t CellWord(const HandheldMemory &memory, uint32_t address) const;
    uint16_t ModeWord(const HandheldMemory &memory, uint32_t address);
    uint16_t IdentifyWord(uint32_t address) const;
    uint16_t QueryWord(uint32_t address) const;
    uint16_t PollingWord(uint32_t address);
    uint16_t StatusWord();

    void AmdWrite(HandheldMemory &memory, uint32_t address, uint16_t value);
    bool AmdUnlockCycle(uint32_t word, uint8_t command);
    void AmdCommand(uint32_t word, uint8_t command);
    void AmdStart(Operation operation, bool succeeded, uint16_t data, uint32_t address);

    void IntelWrite(HandheldMemory &memory, uint32_t address, uint16_t value);
    void IntelCommand(uint8_t command);
    void IntelSecondCycle(HandheldMemory &memory, uint32_t address, uint16_t value);
    void IntelProgram(HandheldMemory &memory, uint32_t address, uint16_t value);
    void IntelErase(HandheldMemory &memory, uint32_t address);
    void IntelLockCommand(uint32_t address, uint8_t command);

    FlashPart part_;
    uint32_t base_;
    uint32_t size_;
    bool littleEndian_;
    std::vector<uint8_t> cfi_; // the query table, one byte a word address
    std::vector<Lock> locks_;  // one a sector
    Mode mode_ = Mode::ReadArray;
    int cycle_ = 0;            // AMD: which write of a command sequence comes next
    uint8_t intelCommand_ = 0; // Intel: the command awaiting its second cycle
    Operation operation_ = Operation::None;
    uint16_t pollData_ = 0; // AMD: the data the operation under way writes
    size_t busySector_ = 0; // AMD: the sector being erased
    int busyReads_ = 0;
    bool toggle_ = false;      // DQ6
    bool eraseToggle_ = false; // DQ2
    uint8_t status_ = 0x80;    // Intel status register
    std::set<uint32_t> worn_;
    FlashChipCounters counters_;
};

} // namespace ostervane::simulator
