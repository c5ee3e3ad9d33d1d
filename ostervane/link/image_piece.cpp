#include "ostervane/link/image_piece.h"

namespace ostervane {

std::optional<std::vector<uint8_t>> ReadImagePiece(std::FILE *file, uint64_t offset,
                                                   uint32_t count) {
    std::vector<uint8_t> bytes(count, 0xFF);
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        return std::nullopt;
    }
    size_t read = std::fread(bytes.data(), 1, count, file);
    if (read < count && std::ferror(file)) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace ostervane
