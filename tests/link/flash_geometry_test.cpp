// The restore's piece plan over the sector layouts of real chips: pieces end on 64 KB
// boundaries of the destination unless that would cut a sector, and every sector lies in
// exactly one piece.
#include <gtest/gtest.h>

#include "ostervane/link/byte_order.h"
#include "ostervane/link/flash_geometry.h"

namespace ostervane {
namespace {

FlashGeometry Geometry(uint32_t base, std::vector<FlashRegion> regions) {
    FlashGeometry geometry;
    geometry.base = base;
    geometry.fallbackBlock = 0x10000;
    geometry.regions = std::move(regions);
    for (const FlashRegion &region : geometry.regions) {
        geometry.size += region.sectorSize * region.sectorCount;
    }
    return geometry;
}

const FlashGeometry kBottomBoot =
    Geometry(0x10C00000, {{0x4000, 1}, {0x2000, 2}, {0x8000, 1}, {0x10000, 31}});
const FlashGeometry kLargeBlocks = Geometry(0x10000000, {{0x20000, 16}});

// Every sector the plan reaches is covered by a single piece.
void ExpectNoSectorSplit(const std::vector<FlashPiece> &pieces, const FlashGeometry &geometry) {
    for (size_t i = 1; i < pieces.size(); ++i) {
        FlashGeometry::Sector sector = geometry.SectorAt(pieces[i].address);
        EXPECT_EQ(sector.start, pieces[i].address) << "piece " << i << " starts inside a sector";
    }
}

TEST(FlashPlan, PiecesFollowTheSixtyFourKilobyteBoundariesOfSmallSectors) {
    std::vector<FlashPiece> pieces = PlanFlashPieces(0x10C08000, 100000, kBottomBoot);
    EXPECT_EQ(pieces, (std::vector<FlashPiece>{{0x10C08000, 0x8000, 0},
                                               {0x10C10000, 0x10000, 0x8000},
                                               {0x10C20000, 0x6A0, 0x18000}}));
    // Without a CFI answer the blocks the host assumes give the same pieces.
    FlashGeometry unknown;
    unknown.base = 0x10C00000;
    unknown.fallbackBlock = 0x10000;
    EXPECT_EQ(PlanFlashPieces(0x10C08000, 100000, unknown), pieces);
}

TEST(FlashPlan, ALargeSectorIsWrittenByOnePiece) {
    std::vector<FlashPiece> pieces = PlanFlashPieces(0x10008000, 0x50000, kLargeBlocks);
    EXPECT_EQ(pieces, (std::vector<FlashPiece>{{0x10008000, 0x18000, 0},
                                               {0x10020000, 0x20000, 0x18000},
                                               {0x10040000, 0x18000, 0x38000}}));
    ExpectNoSectorSplit(pieces, kLargeBlocks);
    uint64_t total = 0;
    for (const FlashPiece &piece : pieces) {
        EXPECT_EQ(piece.fileOffset, total);
        total += piece.length;
    }
    EXPECT_EQ(total, 0x50000u);
}

TEST(FlashGeometry, SectorsOfEveryRegionAndOutside) {
    EXPECT_EQ(kBottomBoot.SectorAt(0x10C05FFF).start, 0x10C04000u);
    EXPECT_EQ(kBottomBoot.SectorAt(0x10C05FFF).size, 0x2000u);
    EXPECT_EQ(kBottomBoot.SectorAt(0x10C0A000).start, 0x10C08000u);
    EXPECT_EQ(kBottomBoot.SectorAt(0x10DFFFFF).start, 0x10DF0000u);
    EXPECT_EQ(kBottomBoot.SectorAt(0x10E00000).size, 0u);
    EXPECT_EQ(kBottomBoot.SectorAt(0x10BFFFFF).size, 0u);
    EXPECT_EQ(kBottomBoot.LargestSector(), 0x10000u);
}

TEST(FlashGeometry, ReadsTheFlashersDescriptionAndNamesTheChip) {
    uint8_t description[FlashGeometry::kMaxDescriptionSize] = {};
    WriteBe16(description, 2);     // Intel-style
    WriteBe16(description + 2, 2); // regions
    WriteBe16(description + 4, 0x89);
    WriteBe16(description + 6, 0x88C3);
    WriteBe32(description + 8, 0x200000);
    WriteBe32(description + 12, 0x2000);
    WriteBe32(description + 16, 8);
    WriteBe32(description + 20, 0x10000);
    WriteBe32(description + 24, 31);
    FlashGeometry geometry =
        FlashGeometry::FromDescription(description, sizeof description, 0x10000000, 0x20000);
    EXPECT_EQ(geometry.Text(), "Intel-style 2048 KB: 8 x 8 KB, 31 x 64 KB");
    EXPECT_EQ(geometry.SectorAt(0x10008000).start, 0x10008000u);
    EXPECT_EQ(geometry.SectorAt(0x10010000).size, 0x10000u);
    // A region count beyond what was read is cut to it; a short description has none.
    WriteBe16(description + 2, 200);
    EXPECT_EQ(FlashGeometry::FromDescription(description, 28, 0, 0x20000).regions.size(), 2u);
    EXPECT_TRUE(FlashGeometry::FromDescription(description, 8, 0, 0x20000).regions.empty());
}

} // namespace
} // namespace ostervane
