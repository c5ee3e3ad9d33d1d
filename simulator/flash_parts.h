// The catalogue of NOR flash parts the simulated handhelds can carry: command set, ids, erase
// geometry, CFI support, power-up locking and typical timings of each part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/sim_time.h"

namespace ostervane::simulator {

enum class FlashCommandSet { Amd, Intel };

// A run of equal sectors (erase blocks); a part lists its runs from the lowest address up.
struct EraseRegion {
    uint32_t sectorSize = 0;
    uint32_t sectorCount = 0;
};

struct FlashPart {
    std::string name;
    std::string description;
    FlashCommandSet commandSet = FlashCommandSet::Amd;
    uint16_t manufacturerId = 0;
    uint16_t deviceId = 0;
    std::vector<EraseRegion> regions;
    bool answersCfi = true;
    bool locksAtPowerUp = false; // every block locked when the chip starts (flexible locking)
    SimTime wordProgramTime{0};  // typical, one word
    SimTime eraseTimePer64K{0};  // typical for a 64 KB sector; other sizes scale with it

    uint32_t Size() const;
    SimTime EraseTime(uint32_t sectorSize) const;
};

const std::vector<FlashPart> &FlashParts();
const FlashPart *FindFlashPart(std::string_view name);

} // namespace ostervane::simulator
