// Saving a package holds all of it in memory.  The programs keep freed heap for the next save
// instead of handing it back to the system, so each save does not pay a page fault for every
// page of the package again (costly on virtual machines).
#pragma once

#include <malloc.h>

namespace tarnhollow {

inline constexpr int kKeptFreeHeapBytes = 256 * 1024 * 1024;

inline void KeepFreedHeapForReuse() {
    mallopt(M_TRIM_THRESHOLD, kKeptFreeHeapBytes);
}

} // namespace tarnhollow
