// The available-expansion-ROM formula shared by the catalogue and the Remove page.
#include "tarnhollow/catalogue/device_entry.h"

namespace tarnhollow {

int32_t AvailableKB(int32_t flashBytes, int32_t usedBytes, int32_t blockBytes) {
    // Whole blocks: the ceiling of the exact quotient, also for a negative used size.
    int64_t blocks = usedBytes / blockBytes;
    if (int64_t(blocks) * blockBytes < usedBytes) {
        ++blocks;
    }
    int32_t occupied = static_cast<int32_t>(static_cast<uint32_t>(blocks * blockBytes));
    int32_t left =
        static_cast<int32_t>(static_cast<uint32_t>(flashBytes) - static_cast<uint32_t>(occupied));
    return left / 1024;
}

} // namespace tarnhollow
