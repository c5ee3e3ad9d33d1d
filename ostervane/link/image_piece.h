// Reading a piece of the ROM image a restore writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace ostervane {

// Reads `count` bytes of the image at `offset`.  Bytes past the file's end read as erased flash
// (0xFF), since the last sector is written whole; a read error gives nothing, so a byte the file
// could not give is never written into flash as 0xFF.
std::optional<std::vector<uint8_t>> ReadImagePiece(std::FILE *file, uint64_t offset,
                                                   uint32_t count);

} // namespace ostervane
