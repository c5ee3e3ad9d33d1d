// The 68000 run: maps RAM (copied in and back) and the flash chips (bus callbacks) into Unicorn,
// loads the registers, runs to the break trap, and turns the end of the run into an outcome.
#include "simulator/cpu_runner.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "simulator/flash_chip.h"

namespace ostervane::simulator {

namespace {

constexpr uint32_t kTrapVectorBase = 32; // TRAP #0
constexpr uint32_t kBreakTrap = 8;
constexpr uint64_t kPageSize = 0x1000;
constexpr uint64_t kCopyPiece = 0x10000;
constexpr uint16_t kSupervisorBit = 0x2000;
constexpr uint64_t kNeverReached = 1; // odd: no 68000 instruction starts there

struct EngineCloser {
    void operator()(uc_engine *uc) const { uc_close(uc); }
};
using Engine = std::unique_ptr<uc_engine, EngineCloser>;

struct RunState {
    HandheldMemory *memory = nullptr;
    bool trapped = false;
    uint32_t vector = 0;
};

struct ChipMapping {
    FlashChip *chip;
    RunState *state;
};

uint64_t RoundUp(uint64_t value) {
    return (value + kPageSize - 1) / kPageSize * kPageSize;
}

uint64_t ReadChip(uc_engine *, uint64_t offset, unsigned size, void *user) {
    auto *mapping = static_cast<ChipMapping *>(user);
    FlashChip &chip = *mapping->chip;
    uint32_t address = chip.Base() + static_cast<uint32_t>(offset);
    if (size == 4) {
        uint32_t high = chip.BusRead(*mapping->state->memory, address, 2);
        return high << 16 | chip.BusRead(*mapping->state->memory, address + 2, 2);
    }
    return chip.BusRead(*mapping->state->memory, address, size);
}

void WriteChip(uc_engine *, uint64_t offset, unsigned size, uint64_t value, void *user) {
    auto *mapping = static_cast<ChipMapping *>(user);
    FlashChip &chip = *mapping->chip;
    uint32_t address = chip.Base() + static_cast<uint32_t>(offset);
    HandheldMemory &memory = *mapping->state->memory;
    if (size == 4) {
        chip.BusWrite(memory, address, 2, static_cast<uint16_t>(value >> 16));
        chip.BusWrite(memory, address + 2, 2, static_cast<uint16_t>(value));
        return;
    }
    chip.BusWrite(memory, address, size, static_cast<uint16_t>(value));
}

void OnInterrupt(uc_engine *uc, uint32_t number, void *user) {
    auto *state = static_cast<RunState *>(user);
    state->trapped = true;
    state->vector = number;
    uc_emu_stop(uc);
}

bool CopyIn(uc_engine *uc, const HandheldMemory &memory, const RegionInfo &region) {
    std::vector<uint8_t> piece(kCopyPiece);
    for (uint64_t at = 0; at < region.size; at += kCopyPiece) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(kCopyPiece, region.size - at));
        memory.Read(static_cast<uint32_t>(region.base + at), piece.data(), count);
        if (uc_mem_write(uc, region.base + at, piece.data(), count) != UC_ERR_OK) {
            return false;
        }
    }
    return true;
}

// Writes back only the pages the code changed, so untouched RAM stays unallocated.
void CopyBack(uc_engine *uc, HandheldMemory &memory, const RegionInfo &region) {
    std::vector<uint8_t> now(kPageSize), before(kPageSize);
    for (uint64_t at = 0; at < region.size; at += kPageSize) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(kPageSize, region.size - at));
        uint32_t address = static_cast<uint32_t>(region.base + at);
        uc_mem_read(uc, address, now.data(), count);
        memory.Read(address, before.data(), count);
        if (std::memcmp(now.data(), before.data(), count) != 0) {
            memory.Program(address, now.data(), count);
        }
    }
}

constexpr int kDataRegisters[8] = {UC_M68K_REG_D0, UC_M68K_REG_D1, UC_M68K_REG_D2, UC_M68K_REG_D3,
                                   UC_M68K_REG_D4, UC_M68K_REG_D5, UC_M68K_REG_D6, UC_M68K_REG_D7};
constexpr int kAddressRegisters[7] = {UC_M68K_REG_A0, UC_M68K_REG_A1, UC_M68K_REG_A2,
                                      UC_M68K_REG_A3, UC_M68K_REG_A4, UC_M68K_REG_A5,
                                      UC_M68K_REG_A6};

void LoadRegisters(uc_engine *uc, const RegisterBlock &r) {
    for (int i = 0; i < 8; ++i) {
        uint32_t value = r.d[i];
        uc_reg_write(uc, kDataRegisters[i], &value);
    }
    for (int i = 0; i < 7; ++i) {
        uint32_t value = r.a[i];
        uc_reg_write(uc, kAddressRegisters[i], &value);
    }
    uint32_t stack = (r.sr & kSupervisorBit) ? r.ssp : r.usp;
    uint32_t sr = r.sr;
    uint32_t pc = r.pc;
    // Setting SR switches stacks, so the stack pointer comes after it.
    uc_reg_write(uc, UC_M68K_REG_SR, &sr);
    uc_reg_write(uc, UC_M68K_REG_A7, &stack);
    uc_reg_write(uc, UC_M68K_REG_PC, &pc);
}

void StoreRegisters(uc_engine *uc, RegisterBlock &r) {
    for (int i = 0; i < 8; ++i) {
        uc_reg_read(uc, kDataRegisters[i], &r.d[i]);
    }
    for (int i = 0; i < 7; ++i) {
        uc_reg_read(uc, kAddressRegisters[i], &r.a[i]);
    }
    uint32_t stack = 0, sr = 0, pc = 0;
    uc_reg_read(uc, UC_M68K_REG_A7, &stack);
    uc_reg_read(uc, UC_M68K_REG_SR, &sr);
    uc_reg_read(uc, UC_M68K_REG_PC, &pc);
    r.sr = static_cast<uint16_t>(sr);
    ((r.sr & kSupervisorBit) ? r.ssp : r.usp) = stack;
    r.pc = pc;
}

bool InRam(const HandheldMemory &memory, uint32_t address) {
    for (const RegionInfo &region : memory.Regions()) {
        if (region.kind == RegionKind::Ram && address - region.base < region.size) {
            return true;
        }
    }
    return false;
}

uint16_t ExceptionFor(uc_err error) {
    switch (error) {
    case UC_ERR_INSN_INVALID:
        return M68kCpuRunner::kExceptionIllegal;
    default:
        return kExceptionBusError;
    }
}

// An emulator with the handheld's RAM copied in and its flash chips on the bus.
class Machine {
public:
    Machine(HandheldMemory &memory, uc_arch arch, uc_mode mode, int cpuModel) : memory_(memory) {
        state_.memory = &memory;
        uc_engine *raw = nullptr;
        if (uc_open(arch, mode, &raw) != UC_ERR_OK) {
            error_ = "cannot start the emulator";
            return;
        }
        uc_.reset(raw);
        uc_ctl_set_cpu_model(raw, cpuModel);
        for (const RegionInfo &region : memory.Regions()) {
            if (!Map(region)) {
                error_ = "cannot map " + region.name;
                return;
            }
        }
        uc_hook hook;
        uc_hook_add(raw, &hook, UC_HOOK_INTR, reinterpret_cast<void *>(OnInterrupt), &state_, 1, 0);
    }
    ~Machine() {
        if (uc_ && error_.empty()) {
            for (const RegionInfo &region : ram_) {
                CopyBack(uc_.get(), memory_, region);
            }
        }
    }

    uc_engine *Uc() const { return uc_.get(); }
    const std::string &Error() const { return error_; }
    const RunState &State() const { return state_; }

private:
    bool Map(const RegionInfo &region) {
        FlashChip *chip = memory_.FlashChipAt(region.base);
        uint64_t size = RoundUp(region.size);
        if (region.kind == RegionKind::Rom && chip != nullptr) {
            mappings_.push_back(std::make_unique<ChipMapping>(ChipMapping{chip, &state_}));
            ChipMapping *mapping = mappings_.back().get();
            return uc_mmio_map(uc_.get(), region.base, size, ReadChip, mapping, WriteChip,
                               mapping) == UC_ERR_OK;
        }
        uint32_t protection =
            region.kind == RegionKind::Ram ? UC_PROT_ALL : UC_PROT_READ | UC_PROT_EXEC;
        if (uc_mem_map(uc_.get(), region.base, size, protection) != UC_ERR_OK ||
            !CopyIn(uc_.get(), memory_, region)) {
            return false;
        }
        if (region.kind == RegionKind::Ram) {
            ram_.push_back(region);
        }
        return true;
    }

    HandheldMemory &memory_;
    Engine uc_;
    RunState state_;
    std::vector<std::unique_ptr<ChipMapping>> mappings_;
    std::vector<RegionInfo> ram_;
    std::string error_;
};

} // namespace

ResumeOutcome M68kCpuRunner::Run(HandheldMemory &memory, RegisterBlock &registers) {
    report_ = {};
    if (!InRam(memory, registers.pc)) {
        return Restarted(registers.pc);
    }
    SimTime busyBefore = memory.FlashBusyTime();
    uc_err error = UC_ERR_OK;
    RunState state;
    {
        Machine machine(memory, UC_ARCH_M68K, UC_MODE_BIG_ENDIAN, UC_CPU_M68K_M68000);
        if (!machine.Error().empty()) {
            report_.error = machine.Error();
            return {};
        }
        LoadRegisters(machine.Uc(), registers);
        error = uc_emu_start(machine.Uc(), registers.pc, kNeverReached, 0, stepLimit_);
        StoreRegisters(machine.Uc(), registers);
        state = machine.State();
    } // the RAM goes back to the handheld here

    SimTime ran = memory.FlashBusyTime() - busyBefore + std::chrono::milliseconds(1);
    report_.vector = state.vector;
    if (state.trapped) {
        report_.trapped = true;
        bool isBreak = state.vector == kTrapVectorBase + kBreakTrap;
        uint16_t exception = isBreak ? kExceptionBreak : static_cast<uint16_t>(state.vector * 4);
        return {true, ran, exception, false};
    }
    if (error != UC_ERR_OK) {
        report_.trapped = true;
        report_.error = uc_strerror(error) + std::string(" at pc ") + std::to_string(registers.pc);
        return {true, ran, ExceptionFor(error), false};
    }
    report_.ranAway = true;
    return {};
}

ResumeOutcome ArmCpuRunner::Run(HandheldMemory &memory, RegisterBlock &registers) {
    report_ = {};
    if (!InRam(memory, registers.pc)) {
        return Restarted(registers.pc);
    }
    uc_err error = UC_ERR_OK;
    uint32_t pc = 0;
    RunState state;
    {
        Machine machine(memory, UC_ARCH_ARM, UC_MODE_ARM, UC_CPU_ARM_926);
        if (!machine.Error().empty()) {
            report_.error = machine.Error();
            return {};
        }
        uint32_t start = registers.pc;
        uc_reg_write(machine.Uc(), UC_ARM_REG_PC, &start);
        error = uc_emu_start(machine.Uc(), start, kNeverReached, 0, stepLimit_);
        uc_reg_read(machine.Uc(), UC_ARM_REG_PC, &pc);
        state = machine.State();
    }
    report_.vector = state.vector;
    // Code jumping into ROM restarts the handheld's own system.
    if (!InRam(memory, pc) && memory.IsMapped(pc, 4)) {
        return Restarted(pc);
    }
    if (state.trapped || error != UC_ERR_OK) {
        report_.trapped = true;
        report_.error = error != UC_ERR_OK ? uc_strerror(error) : "exception";
        return {true, std::chrono::milliseconds(1), kExceptionBusError, false};
    }
    report_.ranAway = true;
    return {};
}

ResumeOutcome CpuRunner::Restarted(uint32_t at) {
    report_.restartedAt = at;
    ResumeOutcome outcome;
    outcome.restarted = true;
    return outcome;
}

} // namespace ostervane::simulator
