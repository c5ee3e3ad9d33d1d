// Windows bitmap files made in memory for the boot-logo tests: any size and depth, with a grey
// ramp in the pixels.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tarnhollow::testing {

inline void PutLittle(std::vector<uint8_t> &bytes, uint32_t value, int width) {
    for (int i = 0; i < width; i++) {
        bytes.push_back(uint8_t(value >> (8 * i)));
    }
}

// A bottom-up BI_RGB bitmap with a full colour table for 8 bits or fewer.
inline std::vector<uint8_t> BitmapFile(int32_t width, int32_t height, uint16_t bits) {
    const uint32_t colours = bits <= 8 ? 1u << bits : 0;
    const uint32_t stride = (uint32_t(width) * bits + 31) / 32 * 4;
    const uint32_t pixels = stride * uint32_t(height < 0 ? -height : height);
    const uint32_t offset = 14 + 40 + 4 * colours;
    std::vector<uint8_t> bytes{'B', 'M'};
    PutLittle(bytes, offset + pixels, 4);
    PutLittle(bytes, 0, 4);
    PutLittle(bytes, offset, 4);
    PutLittle(bytes, 40, 4);
    PutLittle(bytes, uint32_t(width), 4);
    PutLittle(bytes, uint32_t(height), 4);
    PutLittle(bytes, 1, 2);
    PutLittle(bytes, bits, 2);
    PutLittle(bytes, 0, 4);
    PutLittle(bytes, pixels, 4);
    PutLittle(bytes, 2835, 4);
    PutLittle(bytes, 2835, 4);
    PutLittle(bytes, colours, 4);
    PutLittle(bytes, 0, 4);
    for (uint32_t i = 0; i < colours; i++) {
        const uint8_t grey = uint8_t(i * 255 / (colours - 1));
        bytes.insert(bytes.end(), {grey, grey, grey, 0});
    }
    for (uint32_t i = 0; i < pixels; i++) {
        bytes.push_back(uint8_t(i * 7));
    }
    return bytes;
}

inline std::filesystem::path WriteBytes(const std::filesystem::path &path,
                                        const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

} // namespace tarnhollow::testing
