// DeviceEntry: one device (or class of devices) of the catalogue, with its flash, the
// databases occupying it, the applications that may be removed and its language choices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnhollow {

struct DeviceEntry {
    std::string name;                       // value line 1, shown on the Device page
    std::string value3;                     // value line 3, kept but unused
    std::string languageLetters;            // value line 4, at most 11 letters
    std::string deviceId;                   // value line 5, recorded in install files
    int32_t value2 = 0;                     // value line 2, kept but unused
    int32_t usedBytes = 0;                  // sum of the romDatabases sizes, clamped to 32 bits
    int32_t availableKB = 0;                // expansion ROM left for packages
    int32_t flashBytes = 0;                 // value line 6
    int32_t value7 = 0;                     // value line 7, kept but unused
    int32_t blockBytes = 0;                 // value line 8, the flash erase block
    std::vector<std::string> romDatabases;  // "name %size"
    std::vector<std::string> removeItems;   // "display name %db %db"
    std::vector<std::string> languageItems; // "language %db %db"
};

// Expansion ROM left, in K: (flash - ceil(used / block) * block) / 1024, truncated toward zero.
// The block size must be positive.
int32_t AvailableKB(int32_t flashBytes, int32_t usedBytes, int32_t blockBytes);

} // namespace tarnhollow
