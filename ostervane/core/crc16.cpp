// Table-driven CRC-16, eight bytes a step: table k holds what a byte adds when k more bytes
// follow it, so the eight lookups of a step are independent of one another.  A whole ROM is
// checked at memory speed rather than one dependent lookup a byte.
#include "ostervane/core/crc16.h"

#include <array>

namespace ostervane {

namespace {

constexpr size_t kSlices = 8;
using Tables = std::array<std::array<uint16_t, 256>, kSlices>;

constexpr uint16_t ShiftByte(uint16_t crc, const std::array<uint16_t, 256> &table) {
    return static_cast<uint16_t>((crc << 8) ^ table[crc >> 8]);
}

constexpr Tables MakeTables() {
    Tables tables{};
    for (unsigned i = 0; i < 256; i++) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; bit++) {
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
        tables[0][i] = crc;
    }
    for (size_t k = 1; k < kSlices; k++) {
        for (unsigned i = 0; i < 256; i++) {
            tables[k][i] = ShiftByte(tables[k - 1][i], tables[0]);
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

} // namespace

uint16_t Crc16(std::span<const uint8_t> bytes, uint16_t crc) {
    const uint8_t *p = bytes.data();
    size_t left = bytes.size();
    for (; left >= kSlices; left -= kSlices, p += kSlices) {
        crc =
            static_cast<uint16_t>(kTables[7][p[0] ^ (crc >> 8)] ^ kTables[6][p[1] ^ (crc & 0xFF)] ^
                                  kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^
                                  kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]]);
    }
    for (; left > 0; --left, ++p) {
        crc = static_cast<uint16_t>((crc << 8) ^ kTables[0][((crc >> 8) ^ *p) & 0xFF]);
    }
    return crc;
}

} // namespace ostervane
