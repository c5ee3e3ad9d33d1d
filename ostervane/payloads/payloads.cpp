// The flashers built from source: the 68k flasher database comes from the generated array; the
// ARM flasher is not built yet and is empty.
#include "ostervane/payloads/payloads.h"

#include <cstddef>

extern const uint8_t kLowLevelFlashDatabase[];
extern const size_t kLowLevelFlashDatabaseSize;

namespace ostervane {

std::span<const uint8_t> ArmFlasherPayload() {
    return {};
}

std::span<const uint8_t> LowLevelFlashPayload() {
    return {kLowLevelFlashDatabase, kLowLevelFlashDatabaseSize};
}

} // namespace ostervane
