// The simulated handheld's 32-bit address space: regions of RAM and ROM (flash) with byte
// reads and writes.  Any access that touches an unmapped byte is a bus error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "simulator/sim_time.h"

namespace ostervane::simulator {

class FlashChip;

enum class RegionKind { Ram, Rom };

struct RegionInfo {
    std::string name;
    uint32_t base = 0;
    uint32_t size = 0;
    RegionKind kind = RegionKind::Ram;
};

class HandheldMemory {
public:
    HandheldMemory() = default;
    HandheldMemory(HandheldMemory &&) = default;
    HandheldMemory &operator=(HandheldMemory &&) = default;

    // Maps RAM of `size` bytes reading as zero, or ROM reading as 0xFF (erased flash).  Storage
    // is allocated in 64 KB pages on first change, so large regions cost nothing until used.
    // False when the region is empty, runs past 4 GB or overlaps a mapped region.
    bool MapRam(const std::string &name, uint32_t base, uint32_t size);
    bool MapRom(const std::string &name, uint32_t base, uint32_t size);

    // Grows the region that starts at `base` to `size` bytes; false if that would overlap
    // another region or run past 4 GB.
    bool GrowRegion(uint32_t base, uint32_t size);

    // Copies `count` bytes from `address`; false (a bus error) if any of them is unmapped, in
    // which case `destination` is left half-filled.
    bool Read(uint32_t address, uint8_t *destination, size_t count) const;

    // A write through the bus: RAM takes the bytes; ROM ignores them (flash changes only through
    // its programming sequence).  False (a bus error, nothing written) if any byte is unmapped.
    bool Write(uint32_t address, const uint8_t *source, size_t count);

    // Changes RAM or ROM alike, as flash programming does; used to lay out ROM contents and by
    // code that models a flasher.  False (nothing written) if any byte is unmapped.
    bool Program(uint32_t address, const uint8_t *source, size_t count);

    bool IsMapped(uint32_t address, size_t count) const;
    std::vector<RegionInfo> Regions() const;

    // The flash chips behind ROM: code running on the handheld programs flash through them.
    void AttachFlashChip(std::shared_ptr<FlashChip> chip) { chips_.push_back(std::move(chip)); }
    FlashChip *FlashChipAt(uint32_t address) const;
    const std::vector<std::shared_ptr<FlashChip>> &FlashChips() const { return chips_; }
    // How long the chips have been busy erasing and programming, summed over all of them.
    SimTime FlashBusyTime() const;

private:
    static constexpr uint32_t kPageSize = 0x10000;

    struct Region {
        RegionInfo info;
        uint8_t fill = 0;
        std::vector<std::unique_ptr<uint8_t[]>> pages; // null: every byte is `fill`
        uint64_t End() const { return uint64_t{info.base} + info.size; }
    };

    bool Map(const std::string &name, uint32_t base, uint32_t size, RegionKind kind);
    bool Overlaps(uint64_t base, uint64_t end, const Region *except) const;
    Region *RegionAt(uint64_t address);
    const Region *RegionAt(uint64_t address) const;
    bool Store(uint32_t address, const uint8_t *source, size_t count, bool romTakesBytes);

    std::vector<Region> regions_;
    std::vector<std::shared_ptr<FlashChip>> chips_;
};

} // namespace ostervane::simulator
