// The flash chip's two command state machines and its erase and program operations.
#include "simulator/flash_chip.h"

#include <utility>

#include "simulator/handheld_memory.h"

namespace ostervane::simulator {

namespace {

constexpr uint32_t kUnlock1Offset = 0xAAAA;
constexpr uint32_t kUnlock2Offset = 0x5554;
constexpr uint16_t kAmdDeviceCode = 0x2249;   // 16 Mbit, bottom boot
constexpr uint16_t kIntelDeviceCode = 0x88C3; // 16 Mbit, bottom boot

// AMD cycles: which write of a command sequence the chip waits for.
enum AmdCycle : int {
    kAmdIdle,
    kAmdUnlocked1,
    kAmdUnlocked2,
    kAmdProgramData,
    kAmdEraseUnlock1,
    kAmdEraseUnlocked1,
    kAmdEraseUnlocked2,
};

constexpr uint8_t kStatusReady = 0x80;
constexpr uint8_t kStatusEraseError = 0x20;
constexpr uint8_t kStatusProgramError = 0x10;
constexpr uint8_t kStatusLocked = 0x02;
constexpr uint8_t kStatusSequenceError = 0x30;

} // namespace

FlashChip::FlashChip(FlashCommandSet commandSet, uint32_t base, uint32_t size, uint32_t blockSize,
                     bool littleEndian)
    : commandSet_(commandSet), base_(base), size_(size), blockSize_(blockSize),
      littleEndian_(littleEndian) {}

uint32_t FlashChip::BlockStart(uint32_t address) const {
    return base_ + (address - base_) / blockSize_ * blockSize_;
}

uint16_t FlashChip::CellWord(const HandheldMemory &memory, uint32_t address) const {
    uint8_t bytes[2] = {0xFF, 0xFF};
    memory.Read(address & ~1u, bytes, 2);
    return littleEndian_ ? static_cast<uint16_t>(bytes[1] << 8 | bytes[0])
                         : static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

uint16_t FlashChip::IdentifyWord(uint32_t address) const {
    uint32_t offset = (address - base_) & 0xFE;
    bool intel = commandSet_ == FlashCommandSet::Intel;
    if (offset == 0) {
        return intel ? kIntelManufacturer : kAmdManufacturer;
    }
    if (offset == 2) {
        return intel ? kIntelDeviceCode : kAmdDeviceCode;
    }
    return 0;
}

// AMD status while an operation runs: DQ7 the complement of the data's bit 7, DQ6 toggling on
// every read, DQ5 once the operation has failed.
uint16_t FlashChip::PollingWord() {
    toggle_ = !toggle_;
    uint16_t word = static_cast<uint16_t>((~pollExpected_ & 0x80) | (toggle_ ? 0x40 : 0));
    return mode_ == Mode::Failed ? word | 0x20 : word;
}

void FlashChip::StartBusy(uint16_t expected, int reads) {
    pollExpected_ = expected;
    busyReads_ = reads;
    mode_ = commandSet_ == FlashCommandSet::Amd ? Mode::Busy : Mode::Status;
}

uint16_t FlashChip::BusRead(const HandheldMemory &memory, uint32_t address, unsigned size) {
    uint16_t word = 0xFFFF;
    switch (mode_) {
    case Mode::ReadArray:
        word = CellWord(memory, address);
        break;
    case Mode::Autoselect:
        word = IdentifyWord(address);
        break;
    case Mode::Status:
        word = busyReads_ > 0 ? status_ & ~kStatusReady : status_;
        if (busyReads_ > 0) {
            --busyReads_;
        }
        break;
    case Mode::Busy:
        word = PollingWord();
        if (--busyReads_ <= 0) {
            mode_ = Mode::ReadArray;
        }
        break;
    case Mode::Failed:
        word = PollingWord();
        break;
    }
    if (size == 1) {
        bool lowByte = ((address & 1) != 0) != littleEndian_;
        return lowByte ? word & 0xFF : word >> 8;
    }
    return word;
}

void FlashChip::BusWrite(HandheldMemory &memory, uint32_t address, unsigned size, uint16_t value) {
    if (size == 1) {
        value &= 0xFF;
    }
    if (commandSet_ == FlashCommandSet::Amd) {
        AmdWrite(memory, address, value);
    } else {
        IntelWrite(memory, address, value);
    }
}

void FlashChip::AmdWrite(HandheldMemory &memory, uint32_t address, uint16_t value) {
    if (mode_ == Mode::Busy) {
        return; // an embedded operation ignores the bus until it is done
    }
    uint32_t offset = address - base_;
    uint8_t command = static_cast<uint8_t>(value);
    if (cycle_ != kAmdProgramData && command == 0xF0) {
        mode_ = Mode::ReadArray;
        cycle_ = kAmdIdle;
        return;
    }
    if (mode_ == Mode::Failed) {
        return; // only the reset above leaves a failed operation
    }
    switch (cycle_) {
    case kAmdIdle:
    case kAmdEraseUnlock1:
        cycle_ = offset == kUnlock1Offset && command == 0xAA
                     ? (cycle_ == kAmdIdle ? kAmdUnlocked1 : kAmdEraseUnlocked1)
                     : kAmdIdle;
        return;
    case kAmdUnlocked1:
    case kAmdEraseUnlocked1:
        cycle_ = offset == kUnlock2Offset && command == 0x55
                     ? (cycle_ == kAmdUnlocked1 ? kAmdUnlocked2 : kAmdEraseUnlocked2)
                     : kAmdIdle;
        return;
    case kAmdUnlocked2:
        cycle_ = kAmdIdle;
        if (offset != kUnlock1Offset) {
            return;
        }
        if (command == 0x90) {
            mode_ = Mode::Autoselect;
        } else if (command == 0xA0) {
            cycle_ = kAmdProgramData;
        } else if (command == 0x80) {
            cycle_ = kAmdEraseUnlock1;
        }
        return;
    case kAmdProgramData:
        cycle_ = kAmdIdle;
        if (ProgramWord(memory, address, value)) {
            StartBusy(value, kProgramBusyReads);
        } else {
            pollExpected_ = value;
            mode_ = Mode::Failed;
        }
        return;
    case kAmdEraseUnlocked2:
        cycle_ = kAmdIdle;
        if (command == 0x30) {
            EraseBlock(memory, address);
            StartBusy(0xFFFF, kEraseBusyReads);
        }
        return;
    default:
        cycle_ = kAmdIdle;
        return;
    }
}

void FlashChip::IntelWrite(HandheldMemory &memory, uint32_t address, uint16_t value) {
    if (mode_ == Mode::Status && busyReads_ > 0) {
        return; // the write state machine is busy
    }
    uint8_t command = static_cast<uint8_t>(value);
    uint32_t block = BlockStart(address);
    bool locked = unlockedBlocks_.count(block) == 0;
    if (intelCommand_ != 0) {
        uint16_t pending = std::exchange(intelCommand_, 0);
        mode_ = Mode::Status;
        if (pending == 0x40 || pending == 0x10) {
            if (locked) {
                status_ |= kStatusProgramError | kStatusLocked;
            } else if (!ProgramWord(memory, address, value) && worn_.count(address & ~1u)) {
                status_ |= kStatusProgramError;
            }
            StartBusy(value, kProgramBusyReads);
        } else if (pending == 0x20 && command == 0xD0) {
            if (locked) {
                status_ |= kStatusEraseError | kStatusLocked;
            } else {
                EraseBlock(memory, address);
            }
            StartBusy(0xFFFF, kEraseBusyReads);
        } else if (pending == 0x60 && command == 0xD0) {
            unlockedBlocks_.insert(block);
        } else if (pending == 0x60 && command == 0x01) {
            unlockedBlocks_.erase(block);
        } else {
            status_ |= kStatusSequenceError;
        }
        return;
    }
    switch (command) {
    case 0xFF:
        mode_ = Mode::ReadArray;
        return;
    case 0x90:
        mode_ = Mode::Autoselect;
        return;
    case 0x70:
        mode_ = Mode::Status;
        return;
    case 0x50:
        status_ = kStatusReady;
        return;
    case 0x40:
    case 0x10:
    case 0x20:
    case 0x60:
        intelCommand_ = command;
        return;
    default:
        status_ |= kStatusSequenceError;
        mode_ = Mode::Status;
        return;
    }
}

void FlashChip::EraseBlock(HandheldMemory &memory, uint32_t address) {
    uint32_t start = BlockStart(address);
    std::vector<uint8_t> erased(blockSize_, 0xFF);
    std::vector<uint8_t> old(blockSize_);
    memory.Read(start, old.data(), blockSize_);
    for (uint32_t worn : worn_) {
        if (worn - start < blockSize_) {
            erased[worn - start] = old[worn - start];
            erased[worn - start + 1] = old[worn - start + 1];
        }
    }
    memory.Program(start, erased.data(), erased.size());
    ++counters_.erases;
    counters_.erasedBlocks.push_back(start);
    counters_.busyTime += kEraseTime;
}

bool FlashChip::ProgramWord(HandheldMemory &memory, uint32_t address, uint16_t value) {
    address &= ~1u;
    uint16_t old = CellWord(memory, address);
    uint16_t result = worn_.count(address) ? old : static_cast<uint16_t>(old & value);
    uint8_t high = static_cast<uint8_t>(result >> 8), low = static_cast<uint8_t>(result);
    const uint8_t bytes[2] = {littleEndian_ ? low : high, littleEndian_ ? high : low};
    memory.Program(address, bytes, 2);
    ++counters_.programs;
    counters_.busyTime += kProgramTime;
    return result == value;
}

} // namespace ostervane::simulator
