// Swapping the signature and version of an ARM ROM's first card header.
#include "ostervane/link/arm_header_order.h"

#include "ostervane/link/byte_order.h"

namespace ostervane {

namespace {
constexpr uint32_t kSignature = 0xFEEDBEEF;
constexpr uint32_t kHeaderFieldsEnd = 14;
constexpr uint16_t kLastM68kVersion = 5;
} // namespace

void ArmHeaderToFileOrder(uint8_t *block, uint32_t size) {
    if (size < kHeaderFieldsEnd || ReadBe32(block + 8) != kSignature ||
        ReadBe16(block + 12) <= kLastM68kVersion) {
        return;
    }
    uint16_t version = ReadBe16(block + 12);
    WriteLe32(block + 8, kSignature);
    block[12] = static_cast<uint8_t>(version);
    block[13] = static_cast<uint8_t>(version >> 8);
}

void ArmHeaderToHandheldOrder(uint8_t *block, uint32_t size) {
    if (size < kHeaderFieldsEnd || ReadLe32(block + 8) != kSignature ||
        ReadLe16(block + 12) <= kLastM68kVersion) {
        return;
    }
    uint16_t version = ReadLe16(block + 12);
    WriteBe32(block + 8, kSignature);
    WriteBe16(block + 12, version);
}

} // namespace ostervane
