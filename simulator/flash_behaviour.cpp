// The behavioural flasher: the real flasher's erase, program and verify rules on the chip model.
#include "simulator/flash_behaviour.h"

#include <cstring>
#include <vector>

#include "simulator/flash_chip.h"

namespace ostervane::simulator {

namespace {

constexpr char kFlasherName[] = "LowLevelFlash";
constexpr uint32_t kFlashOperation = 1;
constexpr uint32_t kVerifyFailed = 1;
constexpr uint32_t kBadRequest = 2;

bool EntersFlasher(const HandheldMemory &memory, const RegisterBlock &registers) {
    char name[sizeof kFlasherName] = {};
    return registers.d[3] == kFlashOperation && registers.pc >= kFlasherEntryOffset &&
           memory.Read(registers.pc - kFlasherEntryOffset, reinterpret_cast<uint8_t *>(name),
                       sizeof name) &&
           std::memcmp(name, kFlasherName, sizeof name) == 0;
}

uint32_t Flash(HandheldMemory &memory, const RegisterBlock &registers) {
    uint32_t base = registers.a[2], source = registers.a[3], destination = registers.a[6];
    uint32_t count = registers.d[5], blockSize = registers.d[4];
    if (count == 0) {
        return 0;
    }
    FlashChip *chip = memory.FlashChipAt(destination);
    std::vector<uint8_t> data(count);
    if (chip == nullptr || (destination & 1) != 0 || !chip->Contains(destination + count - 1) ||
        !memory.Read(source, data.data(), count)) {
        return kBadRequest;
    }
    for (uint32_t at = 0; at < count; at += 2) {
        uint32_t address = destination + at;
        if (blockSize != 0 && (address - base) % blockSize == 0) {
            chip->EraseBlock(memory, address);
        }
        uint8_t old[2];
        memory.Read(address, old, 2);
        bool last = at + 1 == count; // an odd count: only the high byte is written
        uint16_t value = static_cast<uint16_t>(data[at] << 8 | (last ? 0xFF : data[at + 1]));
        if (old[0] != data[at] || (!last && old[1] != data[at + 1])) {
            chip->ProgramWord(memory, address, value);
        }
    }
    std::vector<uint8_t> flashed(count);
    memory.Read(destination, flashed.data(), count);
    return flashed == data ? 0 : kVerifyFailed;
}

} // namespace

std::optional<ResumeOutcome> RunFlasherBehaviour(HandheldMemory &memory, RegisterBlock &registers) {
    if (!EntersFlasher(memory, registers)) {
        return std::nullopt;
    }
    registers.d[0] = Flash(memory, registers);
    return ResumeOutcome{true, SimTime(0), kExceptionBreak, false};
}

} // namespace ostervane::simulator
