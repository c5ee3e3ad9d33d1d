// The sector layout of a handheld's flash as the flasher reports it (regions of equal sectors
// from the card base up), and the plan that cuts a restore into pieces of whole sectors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostervane {

struct FlashRegion {
    uint32_t sectorSize = 0;
    uint32_t sectorCount = 0;
};

struct FlashGeometry {
    enum class Kind : uint16_t { Unknown = 0, Amd = 1, Intel = 2 };

    uint32_t base = 0;
    uint32_t size = 0;          // 0: the chip gave no CFI answer
    uint32_t fallbackBlock = 0; // the sector size assumed without one
    Kind kind = Kind::Unknown;
    uint16_t manufacturer = 0;
    uint16_t device = 0;
    std::vector<FlashRegion> regions; // empty: uniform sectors of fallbackBlock

    // The start and size of the sector holding `address`; size 0 when it lies outside.
    struct Sector {
        uint32_t start = 0;
        uint32_t size = 0;
    };
    Sector SectorAt(uint32_t address) const;
    uint32_t LargestSector() const;

    // Reads the flasher's description (kind, region count, ids, size, regions; big-endian).
    static FlashGeometry FromDescription(const uint8_t *bytes, size_t length, uint32_t base,
                                         uint32_t fallbackBlock);
    static constexpr size_t kMaxDescriptionSize = 12 + 8 * 8;

    // "Intel-style 2048 KB: 8 x 8 KB, 31 x 64 KB" for the log.
    std::string Text() const;
};

struct FlashPiece {
    uint32_t address = 0;
    uint32_t length = 0;
    uint64_t fileOffset = 0; // from the start of the bytes being written
    bool operator==(const FlashPiece &) const = default;
};

// The pieces that write `length` bytes from `start`: each ends on a 64 KB boundary of the
// destination, or further on where such a boundary would cut a sector in two, so that every
// sector is rewritten by one piece and erased at most once.
std::vector<FlashPiece> PlanFlashPieces(uint32_t start, uint32_t length,
                                        const FlashGeometry &geometry);

} // namespace ostervane
