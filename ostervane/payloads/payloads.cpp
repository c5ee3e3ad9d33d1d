// The flashers built from source, as the generated arrays hold them.
#include "ostervane/payloads/payloads.h"

#include <cstddef>

extern const uint8_t kLowLevelFlashDatabase[];
extern const size_t kLowLevelFlashDatabaseSize;
extern const uint8_t kArmFlasherCode[];
extern const size_t kArmFlasherCodeSize;

namespace ostervane {

std::span<const uint8_t> ArmFlasherPayload() {
    return {kArmFlasherCode, kArmFlasherCodeSize};
}

std::span<const uint8_t> LowLevelFlashPayload() {
    return {kLowLevelFlashDatabase, kLowLevelFlashDatabaseSize};
}

} // namespace ostervane
