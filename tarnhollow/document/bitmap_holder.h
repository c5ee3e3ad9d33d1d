// BitmapHolder: a Windows bitmap file (.bmp) read and checked without a display, as the boot
// logo is chosen and shown; the window turns the kept bytes into a picture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace tarnhollow {

// What the bitmap's headers say, as far as the boot logo needs it.
struct BitmapDescription {
    int32_t width = 0;
    int32_t height = 0; // positive for a top-down bitmap too
    int32_t bytesPerRow = 0;
    uint16_t planes = 0;
    uint16_t bitsPerPixel = 0;
    uint32_t colourCount = 0; // colour table entries; 0 above 8 bits without colours-used
    uint32_t pixelOffset = 0; // from the start of the information header
};

// Reads a whole .bmp file's bytes: the 14-byte file header beginning with "BM", then as many
// bytes as its file-size field claims beyond those 14, starting with a 40-byte information
// header; the pixel data follow the colour table.  Nothing for anything shorter or malformed
// (including a colour table or pixel rows that would lie beyond the bytes).
std::optional<BitmapDescription> DescribeBitmap(std::span<const uint8_t> file);

// The whole file, or nothing when it cannot be read.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path &path);

class BitmapHolder {
public:
    enum class Source { None, DefaultLogo, File };

    // Replaces the held bitmap with the file's (kept whole); on failure the holder is empty.
    bool LoadFile(const std::filesystem::path &path);
    bool LoadBytes(std::vector<uint8_t> file);
    // The program's own 160 x 160 one-bit logo, which the window draws from its resources.
    void LoadDefaultLogo();
    void Clear();

    Source source() const { return m_source; }
    const std::vector<uint8_t> &fileBytes() const { return m_file; }
    const BitmapDescription &description() const { return m_description; }

private:
    Source m_source = Source::None;
    std::vector<uint8_t> m_file;
    BitmapDescription m_description;
};

} // namespace tarnhollow
