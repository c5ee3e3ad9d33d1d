// Sector lookup, the flasher's description, and the piece plan of a restore.
#include "ostervane/link/flash_geometry.h"

#include <algorithm>
#include <cstdio>

#include "ostervane/link/byte_order.h"

namespace ostervane {

namespace {
constexpr uint32_t kPieceBoundary = 0x10000;
constexpr size_t kMaxRegions = 8;

std::string KiloBytes(uint64_t bytes) {
    return bytes % 1024 == 0 ? std::to_string(bytes / 1024) + " KB"
                             : std::to_string(bytes) + " bytes";
}
} // namespace

FlashGeometry::Sector FlashGeometry::SectorAt(uint32_t address) const {
    if (address < base) {
        return {};
    }
    uint64_t offset = address - base;
    if (regions.empty()) {
        if (fallbackBlock == 0) {
            return {};
        }
        return {static_cast<uint32_t>(base + offset / fallbackBlock * fallbackBlock),
                fallbackBlock};
    }
    uint64_t regionStart = 0;
    for (const FlashRegion &region : regions) {
        uint64_t span = uint64_t{region.sectorSize} * region.sectorCount;
        if (offset - regionStart < span) {
            uint64_t inRegion = (offset - regionStart) / region.sectorSize * region.sectorSize;
            return {static_cast<uint32_t>(base + regionStart + inRegion), region.sectorSize};
        }
        regionStart += span;
    }
    return {};
}

uint32_t FlashGeometry::LargestSector() const {
    uint32_t largest = regions.empty() ? fallbackBlock : 0;
    for (const FlashRegion &region : regions) {
        largest = std::max(largest, region.sectorSize);
    }
    return largest;
}

FlashGeometry FlashGeometry::FromDescription(const uint8_t *bytes, size_t length, uint32_t base,
                                             uint32_t fallbackBlock) {
    FlashGeometry geometry;
    geometry.base = base;
    geometry.fallbackBlock = fallbackBlock;
    if (length < 12) {
        return geometry;
    }
    uint16_t kind = ReadBe16(bytes);
    geometry.kind = kind == 1 ? Kind::Amd : kind == 2 ? Kind::Intel : Kind::Unknown;
    size_t count = std::min<size_t>({ReadBe16(bytes + 2), kMaxRegions, (length - 12) / 8});
    geometry.manufacturer = ReadBe16(bytes + 4);
    geometry.device = ReadBe16(bytes + 6);
    geometry.size = ReadBe32(bytes + 8);
    for (size_t i = 0; i < count; ++i) {
        FlashRegion region{ReadBe32(bytes + 12 + 8 * i), ReadBe32(bytes + 16 + 8 * i)};
        if (region.sectorSize == 0 || region.sectorCount == 0) {
            break;
        }
        geometry.regions.push_back(region);
    }
    return geometry;
}

std::string FlashGeometry::Text() const {
    std::string text = kind == Kind::Amd     ? "AMD-style"
                       : kind == Kind::Intel ? "Intel-style"
                                             : "unknown";
    if (regions.empty()) {
        return text + ", no CFI answer: " + KiloBytes(fallbackBlock) + " blocks";
    }
    text += " " + KiloBytes(size) + ":";
    for (size_t i = 0; i < regions.size(); ++i) {
        text += (i == 0 ? " " : ", ") + std::to_string(regions[i].sectorCount) + " x " +
                KiloBytes(regions[i].sectorSize);
    }
    return text;
}

std::vector<FlashPiece> PlanFlashPieces(uint32_t start, uint32_t length,
                                        const FlashGeometry &geometry) {
    std::vector<FlashPiece> pieces;
    uint64_t end = uint64_t{start} + length;
    uint64_t at = start;
    while (at < end) {
        uint64_t stop = (at / kPieceBoundary + 1) * kPieceBoundary;
        if (stop < end) {
            FlashGeometry::Sector sector = geometry.SectorAt(static_cast<uint32_t>(stop));
            if (sector.size != 0 && sector.start < stop) {
                stop = uint64_t{sector.start} + sector.size;
            }
        }
        stop = std::min(stop, end);
        pieces.push_back({static_cast<uint32_t>(at), static_cast<uint32_t>(stop - at), at - start});
        at = stop;
    }
    return pieces;
}

} // namespace ostervane
