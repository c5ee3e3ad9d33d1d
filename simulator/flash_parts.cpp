// The flash part catalogue: sixteen- and thirty-two-megabit parts of both command sets.
#include "simulator/flash_parts.h"

namespace ostervane::simulator {

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr uint32_t k8K = 0x2000;
constexpr uint32_t k16K = 0x4000;
constexpr uint32_t k32K = 0x8000;
constexpr uint32_t k64K = 0x10000;
constexpr uint32_t k128K = 0x20000;
constexpr uint16_t kAmdId = 0x0001;
constexpr uint16_t kIntelId = 0x0089;

FlashPart AmdPart(std::string name, std::string description, uint16_t deviceId,
                  std::vector<EraseRegion> regions) {
    FlashPart part;
    part.name = std::move(name);
    part.description = std::move(description);
    part.commandSet = FlashCommandSet::Amd;
    part.manufacturerId = kAmdId;
    part.deviceId = deviceId;
    part.regions = std::move(regions);
    part.wordProgramTime = microseconds(9);
    part.eraseTimePer64K = milliseconds(700);
    return part;
}

FlashPart IntelPart(std::string name, std::string description, uint16_t deviceId,
                    std::vector<EraseRegion> regions, bool locksAtPowerUp) {
    FlashPart part;
    part.name = std::move(name);
    part.description = std::move(description);
    part.commandSet = FlashCommandSet::Intel;
    part.manufacturerId = kIntelId;
    part.deviceId = deviceId;
    part.regions = std::move(regions);
    part.locksAtPowerUp = locksAtPowerUp;
    part.wordProgramTime = microseconds(12);
    part.eraseTimePer64K = milliseconds(1000);
    return part;
}

std::vector<FlashPart> MakeParts() {
    std::vector<FlashPart> parts;
    parts.push_back(AmdPart("amd-bottom-16m", "AMD-style 2 MB, boot sectors at the bottom", 0x2249,
                            {{k16K, 1}, {k8K, 2}, {k32K, 1}, {k64K, 31}}));
    parts.push_back(AmdPart("amd-top-16m", "AMD-style 2 MB, boot sectors at the top", 0x22C4,
                            {{k64K, 31}, {k32K, 1}, {k8K, 2}, {k16K, 1}}));
    parts.push_back(
        AmdPart("amd-uniform-16m", "AMD-style 2 MB, uniform 64 KB sectors", 0x22C8, {{k64K, 32}}));
    parts.push_back(AmdPart("amd-bottom-32m", "AMD-style 4 MB, 8 KB boot sectors at the bottom",
                            0x22F9, {{k8K, 8}, {k64K, 63}}));
    parts.push_back(IntelPart("intel-bottom-16m",
                              "Intel-style 2 MB, parameter blocks at the bottom, locked", 0x88C3,
                              {{k8K, 8}, {k64K, 31}}, true));
    parts.push_back(IntelPart("intel-top-16m",
                              "Intel-style 2 MB, parameter blocks at the top, locked", 0x88C2,
                              {{k64K, 31}, {k8K, 8}}, true));
    parts.push_back(IntelPart("intel-bottom-32m",
                              "Intel-style 4 MB, parameter blocks at the bottom, locked", 0x88C5,
                              {{k8K, 8}, {k64K, 63}}, true));
    FlashPart uniform = IntelPart("intel-uniform-16m", "Intel-style 2 MB, uniform 128 KB blocks",
                                  0x00D0, {{k128K, 16}}, false);
    uniform.eraseTimePer64K = milliseconds(500);
    parts.push_back(uniform);
    FlashPart old = AmdPart("amd-nocfi-16m", "AMD-style 2 MB, uniform 64 KB sectors, no CFI",
                            0x00AD, {{k64K, 32}});
    old.answersCfi = false;
    old.wordProgramTime = microseconds(14);
    old.eraseTimePer64K = milliseconds(1000);
    parts.push_back(old);
    return parts;
}

} // namespace

uint32_t FlashPart::Size() const {
    uint32_t size = 0;
    for (const EraseRegion &region : regions) {
        size += region.sectorSize * region.sectorCount;
    }
    return size;
}

SimTime FlashPart::EraseTime(uint32_t sectorSize) const {
    return eraseTimePer64K * sectorSize / k64K;
}

const std::vector<FlashPart> &FlashParts() {
    static const std::vector<FlashPart> parts = MakeParts();
    return parts;
}

const FlashPart *FindFlashPart(std::string_view name) {
    for (const FlashPart &part : FlashParts()) {
        if (part.name == name) {
            return &part;
        }
    }
    return nullptr;
}

} // namespace ostervane::simulator
