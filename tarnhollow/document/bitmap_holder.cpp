// Reading .bmp headers by their fixed offsets, little-endian.
#include "tarnhollow/document/bitmap_holder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tarnhollow {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;
constexpr uint16_t kBitmapMagic = 0x4D42; // "BM"
constexpr uint32_t kBitFieldsCompression = 3;
constexpr size_t kBitFieldMaskBytes = 12;
constexpr size_t kColourEntryBytes = 4;

uint16_t Word(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t Long(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

bool IsSupportedDepth(uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Uncompressed rows must all be there; run-length data has no fixed length to check.
bool IsUncompressed(uint32_t compression) {
    return compression == 0 || compression == kBitFieldsCompression;
}

} // namespace

std::optional<BitmapDescription> DescribeBitmap(std::span<const uint8_t> file) {
    if (file.size() < kFileHeaderBytes || Word(file, 0) != kBitmapMagic) {
        return std::nullopt;
    }
    const uint64_t claimed = Long(file, 2);
    if (claimed < kFileHeaderBytes + kInfoHeaderBytes || claimed > file.size()) {
        return std::nullopt;
    }
    std::span<const uint8_t> rest = file.subspan(kFileHeaderBytes, claimed - kFileHeaderBytes);
    BitmapDescription bitmap;
    bitmap.width = static_cast<int32_t>(Long(rest, 4));
    const int32_t height = static_cast<int32_t>(Long(rest, 8));
    bitmap.planes = Word(rest, 12);
    bitmap.bitsPerPixel = Word(rest, 14);
    const uint32_t compression = Long(rest, 16);
    const uint32_t coloursUsed = Long(rest, 32);
    if (bitmap.width <= 0 || height == 0 || height == INT32_MIN ||
        !IsSupportedDepth(bitmap.bitsPerPixel) || bitmap.width > (1 << 16) ||
        std::abs(height) > (1 << 16)) {
        return std::nullopt;
    }
    bitmap.height = std::abs(height);
    bitmap.colourCount = coloursUsed != 0           ? coloursUsed
                         : bitmap.bitsPerPixel <= 8 ? 1u << bitmap.bitsPerPixel
                                                    : 0;
    uint64_t offset = kInfoHeaderBytes;
    if (bitmap.bitsPerPixel <= 8) {
        offset += uint64_t(kColourEntryBytes) * bitmap.colourCount;
    } else {
        offset += uint64_t(kColourEntryBytes) * coloursUsed;
        if (compression == kBitFieldsCompression) {
            offset += kBitFieldMaskBytes;
        }
    }
    bitmap.bytesPerRow =
        static_cast<int32_t>((uint64_t(bitmap.width) * bitmap.bitsPerPixel + 31) / 32 * 4);
    uint64_t pixelBytes =
        IsUncompressed(compression) ? uint64_t(bitmap.bytesPerRow) * bitmap.height : 0;
    if (offset + pixelBytes > rest.size()) {
        return std::nullopt;
    }
    bitmap.pixelOffset = static_cast<uint32_t>(offset);
    return bitmap;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

bool BitmapHolder::LoadFile(const std::filesystem::path &path) {
    Clear();
    std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(path);
    return bytes && LoadBytes(std::move(*bytes));
}

bool BitmapHolder::LoadBytes(std::vector<uint8_t> file) {
    Clear();
    std::optional<BitmapDescription> description = DescribeBitmap(file);
    if (!description) {
        return false;
    }
    m_description = *description;
    m_file = std::move(file);
    m_source = Source::File;
    return true;
}

void BitmapHolder::LoadDefaultLogo() {
    Clear();
    m_source = Source::DefaultLogo;
}

void BitmapHolder::Clear() {
    m_source = Source::None;
    m_file.clear();
    m_description = {};
}

} // namespace tarnhollow
