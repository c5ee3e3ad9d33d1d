// ROM image identification: which handheld family a .rom file is for, where its restore works on
// the handheld, how large it may be, and whether the restore goes ahead.
#pragma once

#include "ostervane/core/image_identity.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ostervane/core/prompter.h"

namespace ostervane {

inline constexpr size_t kCardHeaderSize = 256;
inline constexpr size_t kBigRomSearchEnd = 0x40000; // the farthest big ROM header of a whole card
// The first bytes of the file read: enough to find a whole card's big ROM and read its header.
inline constexpr size_t kRomImageHeadSize = kBigRomSearchEnd + kCardHeaderSize;
inline constexpr size_t kRomImageTailSize = 16; // a heap marker block at the end of the file
inline constexpr size_t kManufacturerFieldSize = 32;
inline constexpr size_t kManufacturerOffset = 48; // in a card header of version 4 or below

// What identification found in a ROM image.
struct RomImageInfo {
    uint32_t imageDeviceId = 0; // four-character code, first character most significant; 0: none
    std::vector<uint32_t> imageAddressList; // where the handheld's 0xFEEDFACE word may lie
    uint32_t imageLoadBase = 0;             // RAM used by an ARM restore
    uint32_t sizeLimit = 0;                 // the largest image the family takes
    std::string imageManufacturer;          // at most 32 characters
    uint32_t imageExpectedEnd = 0;          // the heap marker block's address; 0: no marker
    uint64_t fileSize = 0;
    uint64_t bigRomOffset = 0;  // file offset of what a restore writes; 0 for a big-ROM-only file
    bool wholeCard = false;     // the file starts with the small ROM; its big ROM is written
    uint64_t writeSize = 0;     // bytes a restore writes: fileSize - bigRomOffset
    bool identified = false;    // the device id or the manufacturer named a known family
    bool markerFound = false;   // a heap marker block was found (only behind an unread header)
    bool goOn = true;           // false once the family warning was declined
    std::string warningCaption; // the family warning that applies, "" when none
};

enum class RomVerdict {
    Restore,    // run the restore
    TooBig,     // "ROM Too Big" was shown
    Unknown,    // "Unknown ROM" was shown
    Declined,   // the family warning was answered Cancel; nothing more is shown
    Unreadable, // the file could not be opened or read; no box, the caller says so
};

// The verdict as the command line prints it: "restore", "too big", or "unknown" for the rest.
const char *RomVerdictName(RomVerdict verdict);

struct RomIdentification {
    RomImageInfo info;
    RomVerdict verdict = RomVerdict::Unknown;
    bool RunRestore() const { return verdict == RomVerdict::Restore; }
};

// Where a restore starts writing a file whose first bytes (up to kRomImageHeadSize) are `head`:
// the file offset of the big ROM's card header when the file is a whole card (small ROM first,
// big ROM after it), or 0 when the file starts with the big ROM.  A file whose headers do not
// check out, or whose big ROM header is not found within `head`, counts as starting with it.
uint64_t FindBigRomOffset(std::span<const uint8_t> head, uint64_t fileSize);

// Works out the image's fields from the first bytes of the file (`head`, up to
// kRomImageHeadSize), its last bytes (`tail`, up to kRomImageTailSize) and its size.  A whole
// card is identified by its big ROM part alone: that part's header, a heap marker at that part's
// start or at the end of the file, and that part's size against the family's limit.  Bytes the
// file does not have count as zero; a file shorter than a marker block has none at its end.
RomImageInfo AnalyseRomImage(std::span<const uint8_t> head, std::span<const uint8_t> tail,
                             uint64_t fileSize);

// Reads what AnalyseRomImage needs from the file; nullopt when it cannot be opened or read.
// The file is never changed.
std::optional<RomImageInfo> ExamineRomImageFile(const std::string &path);

// The verdict when the family warning, if any, is accepted.  Never Declined or Unreadable.
RomVerdict VerdictIfAccepted(const RomImageInfo &info);

// Shows the family warning (OK and Cancel) when one applies, then "ROM Too Big" or "Unknown ROM"
// (OK) when the image is refused.  An image too big is refused even after a declined warning.
RomIdentification DecideRomImage(RomImageInfo info, Prompter &prompter);

// A card header's manufacturer: the text up to its terminator, or all 32 bytes of the field
// when it has none.  The handheld's header and an image's are read alike, so that a handheld
// always matches its own backup.
std::string CardManufacturer(std::span<const uint8_t> header);

// The whole identification of a file: examine, then decide.  A file that cannot be read gives
// RomVerdict::Unreadable without any box.
RomIdentification IdentifyRomImage(const std::string &path, Prompter &prompter);

// The fields a restore job receives (the address list always present, the offset of the part to
// write included).
ImageIdentity ToImageIdentity(const RomImageInfo &info);

// The four characters of a device id ("MT64"), or "" for 0.
std::string DeviceIdText(uint32_t deviceId);

} // namespace ostervane
