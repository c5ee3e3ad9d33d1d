// The simulated handheld's address space: regions kept as lazily allocated pages.
#include "simulator/handheld_memory.h"

#include <algorithm>
#include <cstring>

#include "simulator/flash_chip.h"

namespace ostervane::simulator {

namespace {
constexpr uint64_t kAddressSpaceEnd = uint64_t{1} << 32;
}

bool HandheldMemory::MapRam(const std::string &name, uint32_t base, uint32_t size) {
    return Map(name, base, size, RegionKind::Ram);
}

bool HandheldMemory::MapRom(const std::string &name, uint32_t base, uint32_t size) {
    return Map(name, base, size, RegionKind::Rom);
}

bool HandheldMemory::Map(const std::string &name, uint32_t base, uint32_t size, RegionKind kind) {
    uint64_t end = uint64_t{base} + size;
    if (size == 0 || end > kAddressSpaceEnd || Overlaps(base, end, nullptr)) {
        return false;
    }
    Region region;
    region.info = {name, base, size, kind};
    region.fill = kind == RegionKind::Rom ? 0xFF : 0x00;
    region.pages.resize((uint64_t{size} + kPageSize - 1) / kPageSize);
    regions_.push_back(std::move(region));
    return true;
}

bool HandheldMemory::GrowRegion(uint32_t base, uint32_t size) {
    Region *region = RegionAt(base);
    if (region == nullptr || region->info.base != base) {
        return false;
    }
    uint64_t end = uint64_t{base} + size;
    if (end > kAddressSpaceEnd || Overlaps(base, end, region)) {
        return false;
    }
    if (size > region->info.size) {
        region->info.size = size;
        region->pages.resize((uint64_t{size} + kPageSize - 1) / kPageSize);
    }
    return true;
}

bool HandheldMemory::Overlaps(uint64_t base, uint64_t end, const Region *except) const {
    return std::any_of(regions_.begin(), regions_.end(), [&](const Region &r) {
        return &r != except && base < r.End() && r.info.base < end;
    });
}

HandheldMemory::Region *HandheldMemory::RegionAt(uint64_t address) {
    for (Region &r : regions_) {
        if (address >= r.info.base && address < r.End()) {
            return &r;
        }
    }
    return nullptr;
}

const HandheldMemory::Region *HandheldMemory::RegionAt(uint64_t address) const {
    return const_cast<HandheldMemory *>(this)->RegionAt(address);
}

bool HandheldMemory::IsMapped(uint32_t address, size_t count) const {
    uint64_t at = address;
    uint64_t end = at + count;
    while (at < end) {
        const Region *region = RegionAt(at);
        if (region == nullptr) {
            return false;
        }
        at = region->End();
    }
    return true;
}

bool HandheldMemory::Read(uint32_t address, uint8_t *destination, size_t count) const {
    if (!IsMapped(address, count)) {
        return false;
    }
    uint64_t at = address;
    while (count > 0) {
        const Region *region = RegionAt(at);
        uint64_t offset = at - region->info.base;
        size_t inPage = kPageSize - offset % kPageSize;
        size_t piece = static_cast<size_t>(std::min<uint64_t>({count, inPage, region->End() - at}));
        const uint8_t *page = region->pages[offset / kPageSize].get();
        if (page == nullptr) {
            std::memset(destination, region->fill, piece);
        } else {
            std::memcpy(destination, page + offset % kPageSize, piece);
        }
        destination += piece;
        at += piece;
        count -= piece;
    }
    return true;
}

bool HandheldMemory::Write(uint32_t address, const uint8_t *source, size_t count) {
    return Store(address, source, count, false);
}

bool HandheldMemory::Program(uint32_t address, const uint8_t *source, size_t count) {
    return Store(address, source, count, true);
}

bool HandheldMemory::Store(uint32_t address, const uint8_t *source, size_t count,
                           bool romTakesBytes) {
    if (!IsMapped(address, count)) {
        return false;
    }
    uint64_t at = address;
    while (count > 0) {
        Region *region = RegionAt(at);
        uint64_t offset = at - region->info.base;
        size_t inPage = kPageSize - offset % kPageSize;
        size_t piece = static_cast<size_t>(std::min<uint64_t>({count, inPage, region->End() - at}));
        if (region->info.kind == RegionKind::Ram || romTakesBytes) {
            std::unique_ptr<uint8_t[]> &page = region->pages[offset / kPageSize];
            if (page == nullptr) {
                page = std::make_unique<uint8_t[]>(kPageSize);
                std::memset(page.get(), region->fill, kPageSize);
            }
            std::memcpy(page.get() + offset % kPageSize, source, piece);
        }
        source += piece;
        at += piece;
        count -= piece;
    }
    return true;
}

FlashChip *HandheldMemory::FlashChipAt(uint32_t address) const {
    for (const std::shared_ptr<FlashChip> &chip : chips_) {
        if (chip->Contains(address)) {
            return chip.get();
        }
    }
    return nullptr;
}

SimTime HandheldMemory::FlashBusyTime() const {
    SimTime total{0};
    for (const std::shared_ptr<FlashChip> &chip : chips_) {
        total += chip->Counters().busyTime;
    }
    return total;
}

std::vector<RegionInfo> HandheldMemory::Regions() const {
    std::vector<RegionInfo> infos;
    for (const Region &r : regions_) {
        infos.push_back(r.info);
    }
    return infos;
}

} // namespace ostervane::simulator
