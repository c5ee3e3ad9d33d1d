// The header probe: finds the small and big ROM headers in handheld memory, tells the 68k and
// ARM families apart, measures the ROM up to its heap marker, and picks the image's marker.
#include <cstdio>
#include <cstring>

#include "ostervane/core/rom_image.h"
#include "ostervane/core/slot_event.h"
#include "ostervane/link/byte_order.h"
#include "ostervane/link/debug_packet.h"

namespace ostervane {

using namespace debugger;

namespace {

constexpr size_t kHeaderReadSize = 256;
constexpr uint32_t kSmallRomMask = 0xFFF00000;
constexpr uint32_t kBit28 = 0x10000000;
constexpr uint32_t kHeapSearchStep = 0x10000;
constexpr uint32_t kImageMarker = 0xFEEDFACE;

bool HasBigEndianSignature(const uint8_t *h) {
    return ReadBe32(h + 8) == 0xFEEDBEEF;
}
bool HasLittleEndianSignature(const uint8_t *h) {
    return ReadLe32(h + 8) == 0xFEEDBEEF;
}

bool IsArmTag(const uint8_t *h) {
    return std::memcmp(h + 130, "ap0m", 4) == 0 || std::memcmp(h + 130, "aPht", 4) == 0;
}

uint64_t SmallestPowerOfTwoNotBelow(uint32_t value) {
    uint64_t power = 1;
    while (power < value) {
        power <<= 1;
    }
    return power;
}

} // namespace

int32_t DebugPacket::ProbeHeaders() {
    // Everything the probe finds starts afresh, so a port that serves one handheld after
    // another never carries one handheld's values over to the next.
    rom_ = HandheldRom{};
    uint32_t start = ReadBe32(savedRegisters_.data() + kProgramCounterOffset) & kSmallRomMask;
    char text[40];
    std::snprintf(text, sizeof text, "ROM Start: 0x%08X", start);
    LogLine(text);

    if (int32_t status = ProbeSmallRom(start); status != 0) {
        return status;
    }
    if (rom_.bigRomBase == 0) {
        return ErrNoSmallRom;
    }
    if (int32_t status = ProbeBigRom(); status != 0) {
        return status;
    }
    if (rom_.bigRomFound) {
        SearchHeapMarker();
    }
    WriteMT64Words();
    SearchImageMarker();
    return 0;
}

int32_t DebugPacket::ProbeSmallRom(uint32_t start) {
    uint8_t h[kHeaderReadSize];
    if (int32_t status = ReadMemory(start, h, sizeof h); status != 0) {
        return status;
    }
    LogLine("Got SmallROM Header");
    uint16_t version;
    if (HasLittleEndianSignature(h)) {
        version = ReadLe16(h + 12);
    } else if (HasBigEndianSignature(h)) {
        version = ReadBe16(h + 12);
    } else {
        return 0; // no small ROM: bigRomBase stays 0
    }
    rom_.smallRomFound = true;
    if (version > 5 || IsArmTag(h)) {
        rom_.isArm = true;
        rom_.bigRomBase = ReadLe32(h + 104);
        rom_.resetAddress = start;
        rom_.deviceId = ReadLe32(h + 132);
    } else {
        rom_.isArm = false;
        rom_.flasherAddress = 0x200000;
        rom_.imageBufferAddress = 0x300000;
        rom_.bigRomBase = ReadBe32(h + 104);
        rom_.resetAddress = ReadBe32(h + 4);
        if (version == 5) {
            rom_.deviceId = ReadBe32(h + 130);
        } else {
            if ((rom_.bigRomBase & kBit28) == 0) {
                rom_.bigRomBase |= kBit28;
                rom_.flasherAddress = 0x10100000;
                rom_.imageBufferAddress = 0x10180000;
                rom_.flashBlockSize = 0x10000;
            }
            rom_.deviceManufacturer = CardManufacturer({h, kHeaderReadSize});
            rom_.deviceId = 0;
        }
    }
    rom_.cardBase = start;
    return 0;
}

int32_t DebugPacket::ProbeBigRom() {
    uint8_t h[kHeaderReadSize];
    if (int32_t status = ReadMemory(rom_.bigRomBase, h, sizeof h); status != 0) {
        return status;
    }
    if (!HasBigEndianSignature(h)) {
        return 0; // a restore may still go ahead; a backup stops
    }
    std::memcpy(rom_.bigRomHeader.data(), h, sizeof h); // what a partial backup is matched by
    if (rom_.isArm) {
        rom_.bigRomLength = ReadLe32(h + 108);
        rom_.deviceId = ReadLe32(h + 132);
        rom_.cardBase = rom_.resetAddress = rom_.bigRomBase & 0xF0000000;
    } else {
        rom_.bigRomLength = ReadBe32(h + 108);
        if (ReadBe16(h + 12) == 5) {
            rom_.deviceId = ReadBe32(h + 130);
        } else {
            rom_.deviceManufacturer = CardManufacturer({h, kHeaderReadSize});
            rom_.deviceId = 0;
        }
    }
    rom_.bigRomFound = true;
    rom_.backupLength = rom_.bigRomLength;
    return 0;
}

// The heap marker behind the big ROM says how far the ROM really reaches.
void DebugPacket::SearchHeapMarker() {
    uint64_t limit = uint64_t(rom_.cardBase) + SmallestPowerOfTwoNotBelow(rom_.bigRomLength);
    uint64_t end = uint64_t(rom_.bigRomBase) + rom_.bigRomLength;
    uint64_t first = (end + kHeapSearchStep - 1) / kHeapSearchStep * kHeapSearchStep;
    for (uint64_t a = first; a < limit && !StopRequested(); a += kHeapSearchStep) {
        uint32_t address = static_cast<uint32_t>(a);
        uint8_t block[16];
        if (ReadMemory(address, block, sizeof block) != 0) {
            continue;
        }
        uint32_t field = ReadBe32(block + 4);
        bool isMarker =
            std::memcmp(block, "hEaP", 4) == 0 && std::memcmp(block + 12, "iDeN", 4) == 0;
        if (isMarker && (field == address || (field | kBit28) == address)) {
            rom_.backupLength = ReadBe32(block + 8) + (address - rom_.bigRomBase);
            return;
        }
    }
}

void DebugPacket::WriteMT64Words() {
    bool mt64 = rom_.deviceId == kDeviceMT64 ||
                (settings_.image.imageDeviceId == kDeviceMT64 && rom_.deviceId == kDeviceArm0);
    if (!mt64) {
        return;
    }
    static constexpr uint32_t kWords[4] = {0xA1000C0E, 0xA1100C0E, 0xA1200C0E, 0xA1300C0E};
    for (uint32_t i = 0; i < 4; i++) {
        uint8_t bytes[4];
        WriteLe32(bytes, kWords[i]);
        WriteMemory(0x4040 + 4 * i, bytes, sizeof bytes);
    }
}

void DebugPacket::SearchImageMarker() {
    const auto &list = settings_.image.imageAddressList;
    if (!list.has_value()) {
        return;
    }
    rom_.markerAddress = 0;
    if (list->size() == 1) {
        rom_.markerAddress = list->front();
        return;
    }
    for (uint32_t address : *list) {
        rom_.markerAddress = address;
        uint8_t word[4] = {};
        ReadMemory(address, word, sizeof word);
        uint32_t value = rom_.isArm ? ReadLe32(word) : ReadBe32(word);
        if (value == kImageMarker) {
            return;
        }
    }
}

} // namespace ostervane
