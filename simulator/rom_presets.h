// Models of the handheld families that the host's ROM probe tells apart, and the simulated
// handhelds built from them: memory map, ROM headers, heap marker and start-up registers.
//
// Presets (ROM bytes outside the headers and the big ROMs' stores follow RomPatternByte over
// the whole flash, so misplaced data shows; both headers give blockListOffset = image base + 0x200
// and the big ROM's place at 104, in the card's LocalID space; each 68k header carries the CRC-16
// of its part at 108 and 112, the small ROM's part reaching up to the big ROM, the big ROM's over
// its length, so the backups of these handhelds prove themselves; the ARM headers carry none, as
// observed):
//   "68k-v3"  small ROM 0x10C00000, header version 3 with manufacturer "Palm Computing", big ROM
//             start stored as 0x00C08000 (bit 28 clear: LocalIDs count from 0x10000000), big ROM
//             0x10C08000 length 0x1D0000, heap marker at 0x10DE0000 (address field 0x00DE0000,
//             length 0x20000): backup length 0x1F8000; flash amd-bottom-16m at 0x10C00000 (the
//             small ROM in its boot sectors, the big ROM from the 32 KB sector on); RAM
//             0x10000000 (2 MB) and low memory at 0 (2 MB); pc 0x10C0A3F2.
//   "68k-v4"  small ROM 0x10000000, version 4, manufacturer "Handspring, Inc.", big ROM
//             0x10008000 (stored with bit 28 set) length 0x5A000, so the small ROM shares the
//             first 64 KB sector with the head of the big ROM; heap marker at 0x10070000 (length
//             0x10000): backup length 0x78000; flash amd-uniform-16m at 0x10000000; RAM 0
//             (8 MB); pc 0x10002B16.
//   "68k-v5"  small ROM 0x10000000, version 5, device id 'MT64' at offset 130, big ROM
//             0x10008000 length 0x26000, heap marker at 0x10030000 (length 0x10000): backup
//             length 0x38000; flash intel-bottom-16m at 0x10000000 (the small ROM in its own
//             8 KB parameter blocks); RAM 0 (16 MB); pc 0x10001A2C.
//   "arm"     small ROM 0x20000000 with little-endian header (EF BE ED FE, version 6, big ROM
//             start at 104 and device id 'atlc' at 132, both little-endian), big ROM
//             0x20010000 with a big-endian FE ED BE EF signature, version 6 (big-endian) and
//             length 0x30000 little-endian at 108, its store little-endian; no heap marker; flash
//             intel-bottom-32m at 0x20000000 on a little-endian bus; RAM 0 (16 MB); pc 0x20004A10.
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
#include "simulator/flash_parts.h"
#include "simulator/handheld_memory.h"
#include "simulator/rom_builder.h"

namespace ostervane::simulator {

enum class RomFamily { M68kV3, M68kV4, M68kV5, Arm };

struct HeapMarker {
    uint32_t address = 0;      // where the 16-byte block lies
    uint32_t addressField = 0; // what its address field says
    uint32_t length = 0;
};

struct RamRange {
    uint32_t base = 0;
    uint32_t size = 0;
};

struct HandheldModel {
    std::string name;
    std::string description;
    RomFamily family = RomFamily::M68kV3;
    uint16_t version = 0;
    uint32_t flashBase = 0; // the small ROM starts here, and the flash chip
    const FlashPart *flashPart = nullptr;
    uint32_t bigRomBase = 0;
    uint32_t bigRomStartField = 0; // the big ROM start as the small ROM header stores it
    uint32_t bigRomLength = 0;
    uint32_t resetAddress = 0; // small ROM header offset 4
    uint32_t deviceId = 0;     // four characters, 0 for none
    std::string manufacturer;  // at most 32 bytes; headers of version 5 and above carry none
    std::optional<HeapMarker> heap;
    uint32_t ramBase = 0;
    uint32_t ramSize = 0;
    std::vector<RamRange> extraRam; // more RAM regions, such as low memory
    RegisterBlock registers;        // as the handheld entered its debugger

    uint32_t FlashEnd() const { return flashBase + flashPart->Size(); }
    // How far the ROM reaches: the big ROM, or the heap marker's area behind it.
    uint32_t RomEnd() const;
};

const std::vector<HandheldModel> &HandheldModels();
const HandheldModel *FindHandheldModel(std::string_view name);

// Empty when the model's flash part holds its whole ROM, otherwise why it does not.
std::string FlashHoldsRom(const HandheldModel &model);

// The deterministic content of ROM bytes that no header covers.
uint8_t RomPatternByte(uint32_t address);

// What the big ROM of a model holds: its card header, a ROM store with one heap that reaches
// the end of the big ROM (a free chunk fills what the databases leave) and a few databases:
// the system's feature table ("System", or "Boot" on ARM), a resource database with 'code' and
// 'tFRM' resources and a record database with app info.  The ARM store is little-endian as
// Palm OS 5 lays it out.
RomSpec BigRomSpec(const HandheldModel &model);

// The model's memory: flash (with its chip) holding both headers and the heap marker, and RAM.
// The big ROM holds the store BigRomSpec describes; the data of its free chunk and every byte
// no structure covers follow RomPatternByte.
// The checksums of 68k headers are computed over the bytes laid out, so a model changed by a
// test still carries correct ones.
// The model's flash part must hold its ROM (FlashHoldsRom).
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
