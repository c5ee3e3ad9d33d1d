// The flash chip's two command state machines, its query table, and its erase and program
// operations.
#include "simulator/flash_chip.h"

#include <algorithm>
#include <utility>

#include "simulator/handheld_memory.h"

namespace ostervane::simulator {

namespace {

constexpr uint32_t kCommandAddressMask = 0x7FF; // word address bits a command cycle decodes
constexpr uint32_t kUnlock1Word = 0x555;
constexpr uint32_t kUnlock2Word = 0x2AA;
constexpr uint32_t kQueryWord = 0x55;
constexpr uint32_t kIdentifyAddressMask = 0xFF;

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

constexpr uint16_t kDq7 = 0x80, kDq6 = 0x40, kDq5 = 0x20, kDq3 = 0x08, kDq2 = 0x04;

constexpr uint8_t kStatusReady = 0x80;
constexpr uint8_t kStatusEraseError = 0x20;
constexpr uint8_t kStatusProgramError = 0x10;
constexpr uint8_t kStatusVppLow = 0x08;
constexpr uint8_t kStatusLocked = 0x02;
constexpr uint8_t kStatusSequenceError = 0x30;
constexpr uint8_t kStatusErrors =
    kStatusEraseError | kStatusProgramError | kStatusVppLow | kStatusLocked;

// The query table: word addresses 0x10 up, the primary extended table at 0x40.
constexpr size_t kQueryTableWords = 0x50;
constexpr uint8_t kExtendedTable = 0x40;

uint8_t Log2Ceil(uint64_t value) {
    uint8_t n = 0;
    while ((uint64_t{1} << n) < value) {
        ++n;
    }
    return n;
}

void Put16(std::vector<uint8_t> &table, size_t at, uint32_t value) {
    table[at] = static_cast<uint8_t>(value);
    table[at + 1] = static_cast<uint8_t>(value >> 8);
}

uint8_t BootFlag(const FlashPart &part) {
    if (part.regions.size() < 2) {
        return 0;
    }
    return part.regions.front().sectorSize < part.regions.back().sectorSize ? 2 : 3;
}

void PutExtendedTable(std::vector<uint8_t> &t, const FlashPart &part) {
    const uint8_t head[] = {'P', 'R', 'I', '1', '1'};
    std::copy(std::begin(head), std::end(head), t.begin() + kExtendedTable);
    uint8_t *e = &t[kExtendedTable];
    if (part.commandSet == FlashCommandSet::Amd) {
        e[0x05] = 0x00; // address-sensitive unlock required
        e[0x06] = 0x02; // erase suspend: read and program
        e[0x07] = 0x01; // sector protection
        e[0x08] = 0x01; // temporary sector unprotect
        e[0x09] = 0x04; // protection scheme
        e[0x0F] = BootFlag(part);
        return;
    }
    e[0x05] = part.locksAtPowerUp ? 0x66 : 0x06; // suspends; instant individual block locking
    e[0x09] = 0x01;                              // program after erase suspend
    e[0x0A] = part.locksAtPowerUp ? 0x03 : 0x00; // block status: lock and lock-down bits
    e[0x0C] = 0x33;                              // Vcc optimum 3.3 V
}

std::vector<uint8_t> QueryTable(const FlashPart &part) {
    std::vector<uint8_t> t(kQueryTableWords, 0);
    bool amd = part.commandSet == FlashCommandSet::Amd;
    t[0x10] = 'Q';
    t[0x11] = 'R';
    t[0x12] = 'Y';
    Put16(t, 0x13, amd ? 0x0002 : 0x0001);
    Put16(t, 0x15, kExtendedTable);
    t[0x1B] = 0x27; // Vcc 2.7 V to 3.6 V
    t[0x1C] = 0x36;
    t[0x1D] = amd ? 0x00 : 0xB4; // Vpp 11.4 V to 12.6 V on the Intel-style parts
    t[0x1E] = amd ? 0x00 : 0xC6;
    uint32_t largest = 0;
    for (const EraseRegion &region : part.regions) {
        largest = std::max(largest, region.sectorSize);
    }
    using std::chrono::duration_cast;
    t[0x1F] = Log2Ceil(duration_cast<std::chrono::microseconds>(part.wordProgramTime).count());
    t[0x21] = Log2Ceil(duration_cast<std::chrono::milliseconds>(part.EraseTime(largest)).count());
    t[0x23] = 0x04; // at most 16 times the typical word program
    t[0x25] = 0x03; // at most 8 times the typical sector erase
    t[0x27] = Log2Ceil(part.Size());
    Put16(t, 0x28, 0x0002); // x8 and x16
    t[0x2C] = static_cast<uint8_t>(part.regions.size());
    for (size_t i = 0; i < part.regions.size(); ++i) {
        Put16(t, 0x2D + 4 * i, part.regions[i].sectorCount - 1);
        Put16(t, 0x2F + 4 * i, part.regions[i].sectorSize / 256);
    }
    PutExtendedTable(t, part);
    return t;
}

} // namespace

FlashChip::FlashChip(const FlashPart &part, uint32_t base, bool littleEndian)
    : part_(part), base_(base), size_(part.Size()), littleEndian_(littleEndian),
      cfi_(QueryTable(part)) {
    uint32_t start = base;
    for (const EraseRegion &region : part_.regions) {
        for (uint32_t i = 0; i < region.sectorCount; ++i) {
            counters_.sectors.push_back({start, region.sectorSize, 0, 0});
            start += region.sectorSize;
        }
    }
    locks_.assign(counters_.sectors.size(), part_.locksAtPowerUp ? Lock::Locked : Lock::Unlocked);
}

size_t FlashChip::SectorIndex(uint32_t address) const {
    const std::vector<FlashSectorCounters> &sectors = counters_.sectors;
    auto after = std::upper_bound(
        sectors.begin(), sectors.end(), address,
        [](uint32_t a, const FlashSectorCounters &sector) { return a < sector.start; });
    return after == sectors.begin() ? 0 : static_cast<size_t>(after - sectors.begin() - 1);
}

uint32_t FlashChip::BlockStart(uint32_t address) const {
    return counters_.sectors[SectorIndex(address)].start;
}

uint32_t FlashChip::SectorSize(uint32_t address) const {
    return counters_.sectors[SectorIndex(address)].size;
}

bool FlashChip::IsLocked(uint32_t address) const {
    return locks_[SectorIndex(address)] != Lock::Unlocked;
}

const FlashSectorCounters &FlashChip::SectorCounters(uint32_t address) const {
    return counters_.sectors[SectorIndex(address)];
}

void FlashChip::ResetCounters() {
    counters_.programs = 0;
    counters_.erases = 0;
    counters_.erasedBlocks.clear();
    counters_.busyTime = SimTime(0);
    for (FlashSectorCounters &sector : counters_.sectors) {
        sector.erases = 0;
        sector.programs = 0;
    }
}

uint16_t FlashChip::CellWord(const HandheldMemory &memory, uint32_t address) const {
    uint8_t bytes[2] = {0xFF, 0xFF};
    memory.Read(address & ~1u, bytes, 2);
    return littleEndian_ ? static_cast<uint16_t>(bytes[1] << 8 | bytes[0])
                         : static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

uint16_t FlashChip::IdentifyWord(uint32_t address) const {
    bool intel = CommandSet() == FlashCommandSet::Intel;
    uint32_t word =
        intel ? (address - BlockStart(address)) >> 1 : WordAddress(address) & kIdentifyAddressMask;
    if (word == 0) {
        return part_.manufacturerId;
    }
    if (word == 1) {
        return part_.deviceId;
    }
    if (word == 2 && intel) {
        Lock lock = locks_[SectorIndex(address)];
        return lock == Lock::Unlocked ? 0 : lock == Lock::Locked ? 1 : 3;
    }
    return 0; // AMD word 2: the sector is not protected
}

uint16_t FlashChip::QueryWord(uint32_t address) const {
    uint32_t word = WordAddress(address) & kIdentifyAddressMask;
    return word < cfi_.size() ? cfi_[word] : 0;
}

// AMD status while an operation runs: DQ7 the complement of the data's bit 7 (0 during an
// erase), DQ6 toggling on every read, DQ3 once an erase has started, DQ2 toggling on reads in
// the erasing sector, and DQ5 once the operation has failed.
uint16_t FlashChip::PollingWord(uint32_t address) {
    toggle_ = !toggle_;
    uint16_t word = static_cast<uint16_t>((~pollData_ & kDq7) | (toggle_ ? kDq6 : 0));
    if (operation_ == Operation::Erase) {
        if (SectorIndex(address) == busySector_) {
            eraseToggle_ = !eraseToggle_;
        }
        word |= kDq3 | (eraseToggle_ ? kDq2 : 0);
    }
    return mode_ == Mode::Failed ? word | kDq5 : word;
}

uint16_t FlashChip::StatusWord() {
    if (busyReads_ > 0) {
        --busyReads_;
        return status_ & ~kStatusReady;
    }
    return status_;
}

uint16_t FlashChip::ModeWord(const HandheldMemory &memory, uint32_t address) {
    switch (mode_) {
    case Mode::ReadArray:
        return CellWord(memory, address);
    case Mode::Identify:
        return IdentifyWord(address);
    case Mode::Query:
        return QueryWord(address);
    case Mode::Status:
        return StatusWord();
    case Mode::Busy: {
        uint16_t word = PollingWord(address);
        if (--busyReads_ <= 0) {
            mode_ = Mode::ReadArray;
            operation_ = Operation::None;
        }
        return word;
    }
    case Mode::Failed:
        return PollingWord(address);
    }
    return 0xFFFF;
}

uint16_t FlashChip::BusRead(const HandheldMemory &memory, uint32_t address, unsigned size) {
    uint16_t word = ModeWord(memory, address);
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
    if (CommandSet() == FlashCommandSet::Amd) {
        AmdWrite(memory, address, value);
    } else {
        IntelWrite(memory, address, value);
    }
}

void FlashChip::AmdWrite(HandheldMemory &memory, uint32_t address, uint16_t value) {
    if (mode_ == Mode::Busy) {
        return; // an embedded operation ignores the bus until it is done
    }
    uint32_t word = WordAddress(address) & kCommandAddressMask;
    uint8_t command = static_cast<uint8_t>(value);
    if (cycle_ != kAmdProgramData && command == 0xF0) {
        mode_ = Mode::ReadArray;
        operation_ = Operation::None;
        cycle_ = kAmdIdle;
        return;
    }
    if (mode_ == Mode::Failed || mode_ == Mode::Query) {
        return; // only the reset above leaves these
    }
    if (cycle_ == kAmdIdle && command == 0x98 && word == kQueryWord) {
        if (part_.answersCfi) {
            mode_ = Mode::Query;
        }
        return;
    }
    if (AmdUnlockCycle(word, command)) {
        return;
    }
    int cycle = std::exchange(cycle_, kAmdIdle);
    if (cycle == kAmdUnlocked2) {
        AmdCommand(word, command);
    } else if (cycle == kAmdProgramData) {
        bool programmed = ProgramWord(memory, address, value);
        AmdStart(Operation::Program, programmed, value, address);
    } else if (cycle == kAmdEraseUnlocked2 && command == 0x30) {
        bool erased = EraseBlock(memory, address);
        AmdStart(Operation::Erase, erased, 0xFFFF, address);
    }
}

// The two unlock writes in front of every command, and the second pair an erase needs; true
// when the write was one of them.  A wrong write drops the sequence.
bool FlashChip::AmdUnlockCycle(uint32_t word, uint8_t command) {
    switch (cycle_) {
    case kAmdIdle:
    case kAmdEraseUnlock1:
        cycle_ = word == kUnlock1Word && command == 0xAA
                     ? (cycle_ == kAmdIdle ? kAmdUnlocked1 : kAmdEraseUnlocked1)
                     : kAmdIdle;
        return true;
    case kAmdUnlocked1:
    case kAmdEraseUnlocked1:
        cycle_ = word == kUnlock2Word && command == 0x55
                     ? (cycle_ == kAmdUnlocked1 ? kAmdUnlocked2 : kAmdEraseUnlocked2)
                     : kAmdIdle;
        return true;
    default:
        return false;
    }
}

void FlashChip::AmdCommand(uint32_t word, uint8_t command) {
    if (word != kUnlock1Word) {
        return;
    }
    if (command == 0x90) {
        mode_ = Mode::Identify;
    } else if (command == 0xA0) {
        cycle_ = kAmdProgramData;
    } else if (command == 0x80) {
        cycle_ = kAmdEraseUnlock1;
    }
}

void FlashChip::AmdStart(Operation operation, bool succeeded, uint16_t data, uint32_t address) {
    operation_ = operation;
    pollData_ = data;
    busySector_ = SectorIndex(address);
    busyReads_ = operation == Operation::Erase ? kEraseBusyReads : kProgramBusyReads;
    mode_ = succeeded ? Mode::Busy : Mode::Failed;
}

void FlashChip::IntelWrite(HandheldMemory &memory, uint32_t address, uint16_t value) {
    if (mode_ == Mode::Status && busyReads_ > 0) {
        return; // the write state machine is busy
    }
    if (intelCommand_ != 0) {
        IntelSecondCycle(memory, address, value);
    } else {
        IntelCommand(static_cast<uint8_t>(value));
    }
}

void FlashChip::IntelCommand(uint8_t command) {
    switch (command) {
    case 0xFF:
        mode_ = Mode::ReadArray;
        return;
    case 0x90:
        mode_ = Mode::Identify;
        return;
    case 0x98:
        if (part_.answersCfi) {
            mode_ = Mode::Query;
        }
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
        intelCommand_ = command;
        mode_ = Mode::Status;
        return;
    case 0x60:
        intelCommand_ = command;
        return;
    default:
        status_ |= kStatusSequenceError;
        mode_ = Mode::Status;
        return;
    }
}

void FlashChip::IntelSecondCycle(HandheldMemory &memory, uint32_t address, uint16_t value) {
    uint8_t pending = std::exchange(intelCommand_, 0);
    uint8_t command = static_cast<uint8_t>(value);
    if (pending == 0x40 || pending == 0x10) {
        IntelProgram(memory, address, value);
    } else if (pending == 0x20 && command == 0xD0) {
        IntelErase(memory, address);
    } else if (pending == 0x60 && (command == 0xD0 || command == 0x01 || command == 0x2F)) {
        IntelLockCommand(address, command);
    } else {
        status_ |= kStatusSequenceError;
        mode_ = Mode::Status;
    }
}

// A program or erase is refused outright while an earlier error is still in the status
// register; a locked block fails with the lock bit and keeps its cells.
void FlashChip::IntelProgram(HandheldMemory &memory, uint32_t address, uint16_t value) {
    if ((status_ & kStatusErrors) != 0) {
        return;
    }
    if (IsLocked(address)) {
        status_ |= kStatusProgramError | kStatusLocked;
    } else if (!ProgramWord(memory, address, value)) {
        status_ |= kStatusProgramError;
    }
    busyReads_ = kProgramBusyReads;
}

void FlashChip::IntelErase(HandheldMemory &memory, uint32_t address) {
    if ((status_ & kStatusErrors) != 0) {
        return;
    }
    if (IsLocked(address)) {
        status_ |= kStatusEraseError | kStatusLocked;
    } else if (!EraseBlock(memory, address)) {
        status_ |= kStatusEraseError;
    }
    busyReads_ = kEraseBusyReads;
}

// Lock commands take effect at once; a locked-down block stays locked until power-off.
void FlashChip::IntelLockCommand(uint32_t address, uint8_t command) {
    Lock &lock = locks_[SectorIndex(address)];
    if (command == 0x2F) {
        lock = Lock::LockedDown;
    } else if (lock != Lock::LockedDown) {
        lock = command == 0xD0 ? Lock::Unlocked : Lock::Locked;
    }
}

bool FlashChip::EraseBlock(HandheldMemory &memory, uint32_t address) {
    FlashSectorCounters &sector = counters_.sectors[SectorIndex(address)];
    std::vector<uint8_t> cells(sector.size, 0xFF);
    std::vector<uint8_t> old(sector.size);
    memory.Read(sector.start, old.data(), sector.size);
    bool wornInside = false;
    for (auto worn = worn_.lower_bound(sector.start);
         worn != worn_.end() && *worn - sector.start < sector.size; ++worn) {
        uint32_t at = *worn - sector.start;
        cells[at] = old[at];
        cells[at + 1] = old[at + 1];
        wornInside = true;
    }
    memory.Program(sector.start, cells.data(), cells.size());
    ++sector.erases;
    ++counters_.erases;
    counters_.erasedBlocks.push_back(sector.start);
    counters_.busyTime += part_.EraseTime(sector.size);
    return !wornInside;
}

bool FlashChip::ProgramWord(HandheldMemory &memory, uint32_t address, uint16_t value) {
    address &= ~1u;
    uint16_t old = CellWord(memory, address);
    bool worn = worn_.count(address) != 0;
    uint16_t result = worn ? old : static_cast<uint16_t>(old & value);
    uint8_t high = static_cast<uint8_t>(result >> 8), low = static_cast<uint8_t>(result);
    const uint8_t bytes[2] = {littleEndian_ ? low : high, littleEndian_ ? high : low};
    memory.Program(address, bytes, 2);
    ++counters_.sectors[SectorIndex(address)].programs;
    ++counters_.programs;
    counters_.busyTime += part_.wordProgramTime;
    return !worn && result == value;
}

} // namespace ostervane::simulator
