// The behavioural flasher: the flasher's C code on the host, its bus cycles sent to the chips.
#include "simulator/flash_behaviour.h"

#include <cstring>

#include "simulator/flash_chip.h"

extern "C" {
struct Registers {
    uint32_t d[8];
    uint32_t a[7];
};
void flasher68k_main(struct Registers *r);
}

namespace ostervane::simulator {

namespace {

constexpr char kFlasherName[] = "LowLevelFlash";
constexpr uint32_t kFlashOperation = 1;
constexpr uint32_t kDescribeOperation = 3;
constexpr uint32_t kWorkAreaHeader = 16;
constexpr uint32_t kDescriptionSize = 12 + 8 * 8;

// The memory the flasher's bus functions reach, for the run under way on this thread.
thread_local HandheldMemory *tMemory = nullptr;

bool EntersFlasher(const HandheldMemory &memory, const RegisterBlock &registers) {
    char name[sizeof kFlasherName] = {};
    return registers.pc >= kFlasherEntryOffset &&
           memory.Read(registers.pc - kFlasherEntryOffset, reinterpret_cast<uint8_t *>(name),
                       sizeof name) &&
           std::memcmp(name, kFlasherName, sizeof name) == 0;
}

// The RAM the operation will use is there; on the CPU a missing byte is a bus error.
bool BuffersMapped(const HandheldMemory &memory, const RegisterBlock &r) {
    switch (r.d[3]) {
    case kFlashOperation:
        return memory.IsMapped(r.a[3], r.d[5]) && memory.IsMapped(r.a[4], kWorkAreaHeader);
    case kDescribeOperation:
        return memory.IsMapped(r.a[3], kDescriptionSize);
    default:
        return true;
    }
}

} // namespace

std::optional<ResumeOutcome> RunFlasherBehaviour(HandheldMemory &memory, RegisterBlock &registers) {
    if (!EntersFlasher(memory, registers)) {
        return std::nullopt;
    }
    if (!BuffersMapped(memory, registers)) {
        return ResumeOutcome{true, std::chrono::milliseconds(1), kExceptionBusError, false};
    }
    Registers r;
    std::copy(registers.d.begin(), registers.d.end(), r.d);
    std::copy(registers.a.begin(), registers.a.end(), r.a);
    SimTime busyBefore = memory.FlashBusyTime();
    tMemory = &memory;
    flasher68k_main(&r);
    tMemory = nullptr;
    std::copy(r.d, r.d + 8, registers.d.begin());
    std::copy(r.a, r.a + 7, registers.a.begin());
    SimTime ran = memory.FlashBusyTime() - busyBefore + std::chrono::milliseconds(1);
    return ResumeOutcome{true, ran, kExceptionBreak, false};
}

} // namespace ostervane::simulator

// The flasher's bus, big-endian as on the 68000: flash through the chip's bus cycles, RAM as
// plain memory.  Unmapped bytes read as 0xFF and take no writes.
extern "C" {

uint16_t fl_read16(uint32_t address) {
    using namespace ostervane::simulator;
    if (FlashChip *chip = tMemory->FlashChipAt(address)) {
        return chip->BusRead(*tMemory, address, 2);
    }
    uint8_t bytes[2] = {0xFF, 0xFF};
    tMemory->Read(address, bytes, 2);
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

void fl_write16(uint32_t address, uint16_t value) {
    using namespace ostervane::simulator;
    if (FlashChip *chip = tMemory->FlashChipAt(address)) {
        chip->BusWrite(*tMemory, address, 2, value);
        return;
    }
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    tMemory->Write(address, bytes, 2);
}

uint8_t fl_read8(uint32_t address) {
    using namespace ostervane::simulator;
    if (FlashChip *chip = tMemory->FlashChipAt(address)) {
        return static_cast<uint8_t>(chip->BusRead(*tMemory, address, 1));
    }
    uint8_t byte = 0xFF;
    tMemory->Read(address, &byte, 1);
    return byte;
}

void fl_write8(uint32_t address, uint8_t value) {
    using namespace ostervane::simulator;
    if (FlashChip *chip = tMemory->FlashChipAt(address)) {
        chip->BusWrite(*tMemory, address, 1, value);
        return;
    }
    tMemory->Write(address, &value, 1);
}
}
