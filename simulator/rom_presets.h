// Models of the handheld families that the host's ROM probe tells apart, and the simulated
// handhelds built from them: memory map, ROM headers, heap marker and start-up registers.
//
// Presets (ROM bytes outside the headers follow RomPatternByte, so misplaced data shows):
//   "68k-v3"  small ROM 0x10C00000, header version 3 with manufacturer text, big ROM start
//             stored as 0x00C08000 (bit 28 clear), big ROM 0x10C08000 length 0x1D0000, heap
//             marker at 0x10DE0000 (address field 0x00DE0000, length 0x20000): backup length
//             0x1F8000; flash 0x10C00000-0x10E00000; RAM 0x10000000 (2 MB); pc 0x10C0A3F2.
//   "68k-v5"  small ROM 0x10000000, version 5, device id 'MT64' at offset 130, big ROM
//             0x10008000 length 0x26000, heap marker at 0x10030000 (length 0x10000): backup
//             length 0x38000; flash 0x10000000-0x10040000, one Intel-style chip with 128 KB
//             blocks; RAM 0 (16 MB); pc 0x10001A2C.
//   "arm"     small ROM 0x20000000 with little-endian header (EF BE ED FE, version 6, big ROM
//             start at 104 and device id 'SmA1' at 132, both little-endian), big ROM
//             0x20010000 with a big-endian FE ED BE EF signature, version 6 (big-endian) and
//             length 0x30000 little-endian at 108; no heap marker; flash 0x20000000-0x20040000,
//             one AMD-style chip with 64 KB blocks; RAM 0 (16 MB); pc 0x20004A10.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/debugger.h"
#include "simulator/flash_chip.h"
#include "simulator/handheld_memory.h"

namespace ostervane::simulator {

enum class RomFamily { M68kV3, M68kV5, Arm };

struct HeapMarker {
    uint32_t address = 0;      // where the 16-byte block lies
    uint32_t addressField = 0; // what its address field says
    uint32_t length = 0;
};

struct HandheldModel {
    std::string name;
    std::string description;
    RomFamily family = RomFamily::M68kV3;
    uint16_t version = 0;
    uint32_t flashBase = 0; // the small ROM starts here
    uint32_t flashEnd = 0;
    FlashCommandSet flashCommandSet = FlashCommandSet::Amd;
    uint32_t flashBlockSize = 0x10000;
    uint32_t bigRomBase = 0;
    uint32_t bigRomStartField = 0; // the big ROM start as the small ROM header stores it
    uint32_t bigRomLength = 0;
    uint32_t resetAddress = 0; // small ROM header offset 4
    uint32_t deviceId = 0;     // four characters, 0 for none
    std::string manufacturer;  // at most 32 bytes; headers of version 5 and above carry none
    std::optional<HeapMarker> heap;
    uint32_t ramBase = 0;
    uint32_t ramSize = 0;
    RegisterBlock registers; // as the handheld entered its debugger
};

const std::vector<HandheldModel> &HandheldModels();
const HandheldModel *FindHandheldModel(std::string_view name);

// The deterministic content of ROM bytes that no header covers.
uint8_t RomPatternByte(uint32_t address);

// The model's memory: flash (with its chip) holding both headers and the heap marker, and RAM.
HandheldMemory BuildMemory(const HandheldModel &model);

// Puts `image` (a ROM image file, e.g. one a backup wrote) at the big ROM start, growing the
// flash when the image is longer.  An ARM image whose header a backup rewrote to little-endian
// (EF BE ED FE) gets its big-endian signature and version back, as the handheld holds them.
// Returns an empty string, or why the image cannot be used.
std::string LoadBigRomImage(HandheldMemory &memory, const HandheldModel &model,
                            std::span<const uint8_t> image);

// Reads a whole file; an empty string, or why it cannot be read.
std::string ReadImageFile(const std::string &path, std::vector<uint8_t> *bytes);

// A handheld of the model, sitting in its debugger.
std::unique_ptr<HandheldDebugger> MakeHandheld(const HandheldModel &model,
                                               HandheldOptions options = {});

} // namespace ostervane::simulator
