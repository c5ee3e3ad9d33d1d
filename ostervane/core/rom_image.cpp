// ROM image identification: where a whole card's big ROM starts, the header kinds, the heap
// marker block, the family tables, and the boxes that accept or refuse an image.
#include "ostervane/core/rom_image.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "ostervane/core/image_identity.h"

namespace ostervane {
namespace {

constexpr uint32_t kCardSignature = 0xFEEDBEEF; // stored EF BE ED FE by a little-endian header
constexpr size_t kSignatureOffset = 8;
constexpr size_t kVersionOffset = 12;
constexpr size_t kBlockListOffset = 88;
constexpr size_t kBigRomAddressOffset = 104;
constexpr size_t kCompanyIdOffset = 126;
constexpr size_t kBigEndianIdOffset = 130;
constexpr size_t kLittleEndianIdOffset = 132;
constexpr uint64_t kArmVectorsSize = 0x60; // a small ROM header may follow the exception vectors
constexpr uint8_t kMarkerStart[4] = {0x68, 0x45, 0x61, 0x50}; // "hEaP"
constexpr uint8_t kMarkerEnd[4] = {0x69, 0x44, 0x65, 0x4E};   // "iDeN"

struct Family {
    uint32_t deviceId; // 0 for a row found by its manufacturer
    const char *manufacturer;
    std::array<uint32_t, 3> addresses;
    size_t addressCount;
    uint32_t loadBase;
    uint32_t sizeLimit;
    const char *warningCaption;
    const char *warningText;
};

constexpr uint32_t k4MB = 0x400000, k8MB = 0x800000, k16MB = 0x1000000, k32MB = 0x2000000;

constexpr Family kDeviceFamilies[] = {
    {0x4D543634, "", {0xD00000}, 1, 0x100000, k16MB, "", ""},        // MT64
    {0x53505420, "", {0x18000, 0x20000}, 2, 0x40000, k4MB, "", ""},  // "SPT "
    {0x61417A31, "", {0xC00000}, 1, 0x100000, k16MB, "", ""},        // aAz1
    {0x61466731, "", {0x200000}, 1, 0x200000, k8MB, "", ""},         // aFg1
    {0x61466732, "", {0x200000}, 1, 0x200000, k8MB, "", ""},         // aFg2
    {0x61507468, "", {0x200000}, 1, 0x200000, k8MB, "", ""},         // aPth
    {0x61726566, "", {0x18000, 0x20000}, 2, 0x40000, k4MB, "", ""},  // aref
    {0x61726D30, "", {0x500000}, 1, 0x100000, k32MB, "", ""},        // arm0
    {0x61746C63, "", {0x100000}, 1, 0x100000, k8MB, "", ""},         // atlc
    {0x626C666D, "", {0x500000}, 1, 0x100000, k32MB, "", ""},        // blfm
    {0x65637479, "", {0x40000}, 1, 0x40000, k4MB, "", ""},           // ecty
    {0x6D636E64, "", {0x100000}, 1, 0x100000, k8MB, "", ""},         // mcnd
    {0x6E706C73, "", {0x100000}, 1, 0x100000, k8MB, "", ""},         // npls
    {0x70303030, "", {0x80000}, 1, 0x80000, k8MB, "", ""},           // p000
    {0x726C6B61, "", {0x500000}, 1, 0x200000, k16MB, "", ""},        // rlka
    {0x73686570, "", {0x40000}, 1, 0x40000, k4MB, "", ""},           // shep
    {0x736B7977, "", {0x40000}, 1, 0x40000, k4MB, "", ""},           // skyw
    {0x766C6974, "", {0x40000}, 1, 0x40000, k4MB, "", ""},           // vlit
    {0x7674726E, "", {0x40000}, 1, 0x40000, k4MB, "", ""},           // vtrn
    {0x767A6D6E, "", {0x40000, 0x100000}, 2, 0x40000, k4MB, "", ""}, // vzmn
    {0x79736D74, "", {0x100000}, 1, 0x100000, k4MB, "", ""},         // ysmt
};

constexpr Family kManufacturerFamilies[] = {
    {0,
     "Handspring, Inc.",
     {0x40000, 0x80000},
     2,
     0x80000,
     k4MB,
     "Treo ROM",
     "This tool cannot distinguish between a Treo 180, 270 and 300.  Make sure that you are "
     "using the correct ROM image."},
    {0,
     "TRG Products",
     {0x40000, 0x80000},
     2,
     0x80000,
     0x200000,
     "TRG ROM",
     "This tool cannot distinguish between a TRGPro and a HandEra 330.  Make sure that you are "
     "using the correct ROM image."},
    {0,
     "Palm Computing",
     {0x40000, 0x80000, 0x100000},
     3,
     0x80000,
     k4MB,
     "PalmOS 3 ROM",
     "This tool cannot distinguish between PalmOS 3 devices.  Make sure that you are using the "
     "correct ROM image."},
};

constexpr const char *kTooBigCaption = "ROM Too Big";
constexpr const char *kTooBigText =
    "This ROM image is bigger than the available ROM or the available space to load it.";
constexpr const char *kUnknownCaption = "Unknown ROM";
constexpr const char *kUnknownText = "Unknown ROM Type";

// Bytes past the end of what was read count as zero.
uint8_t ByteAt(std::span<const uint8_t> bytes, size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}

uint32_t ReadBe32At(std::span<const uint8_t> bytes, size_t offset) {
    return uint32_t(ByteAt(bytes, offset)) << 24 | uint32_t(ByteAt(bytes, offset + 1)) << 16 |
           uint32_t(ByteAt(bytes, offset + 2)) << 8 | ByteAt(bytes, offset + 3);
}

uint32_t ReadLe32At(std::span<const uint8_t> bytes, size_t offset) {
    return uint32_t(ByteAt(bytes, offset + 3)) << 24 | uint32_t(ByteAt(bytes, offset + 2)) << 16 |
           uint32_t(ByteAt(bytes, offset + 1)) << 8 | ByteAt(bytes, offset);
}

bool HasBytes(std::span<const uint8_t> bytes, size_t offset, const uint8_t (&expected)[4]) {
    for (size_t i = 0; i < 4; i++) {
        if (ByteAt(bytes, offset + i) != expected[i]) {
            return false;
        }
    }
    return true;
}

// A heap marker block at `offset` of `bytes`: its address, or nullopt.
std::optional<uint32_t> MarkerAddressAt(std::span<const uint8_t> bytes, size_t offset) {
    if (bytes.size() < offset + kRomImageTailSize || !HasBytes(bytes, offset, kMarkerStart) ||
        !HasBytes(bytes, offset + 12, kMarkerEnd)) {
        return std::nullopt;
    }
    return ReadBe32At(bytes, offset + 4);
}

// Looks at the start of the part written (`part`, `partSize` bytes) and then at the file's end.
void FindHeapMarker(std::span<const uint8_t> part, std::span<const uint8_t> tail, uint64_t partSize,
                    RomImageInfo &info) {
    std::optional<uint32_t> address =
        MarkerAddressAt(part.first(std::min<uint64_t>(part.size(), partSize)), 0);
    if (!address && partSize >= kRomImageTailSize && tail.size() >= kRomImageTailSize) {
        address = MarkerAddressAt(tail, tail.size() - kRomImageTailSize);
    }
    if (address) {
        info.imageExpectedEnd = *address;
        info.markerFound = true;
    }
}

void TakeFamily(const Family &family, RomImageInfo &info) {
    info.imageAddressList.assign(family.addresses.begin(),
                                 family.addresses.begin() + family.addressCount);
    info.imageLoadBase = family.loadBase;
    info.sizeLimit = family.sizeLimit;
    info.identified = true;
    info.warningCaption = family.warningCaption;
}

void LookUpFamily(RomImageInfo &info) {
    if (info.imageDeviceId != 0) {
        for (const Family &family : kDeviceFamilies) {
            if (family.deviceId == info.imageDeviceId) {
                TakeFamily(family, info);
            }
        }
        return;
    }
    for (const Family &family : kManufacturerFamilies) {
        if (info.imageManufacturer == family.manufacturer) {
            TakeFamily(family, info);
        }
    }
}

const char *WarningText(const std::string &caption) {
    for (const Family &family : kManufacturerFamilies) {
        if (caption == family.warningCaption) {
            return family.warningText;
        }
    }
    return "";
}

bool TooBig(const RomImageInfo &info) {
    return info.identified && info.writeSize > info.sizeLimit;
}

enum class ByteOrder { Big, Little };

uint16_t Read16At(std::span<const uint8_t> bytes, size_t offset, ByteOrder order) {
    uint8_t first = ByteAt(bytes, offset), second = ByteAt(bytes, offset + 1);
    return order == ByteOrder::Big ? uint16_t(first << 8 | second) : uint16_t(second << 8 | first);
}

uint32_t Read32At(std::span<const uint8_t> bytes, size_t offset, ByteOrder order) {
    return order == ByteOrder::Big ? ReadBe32At(bytes, offset) : ReadLe32At(bytes, offset);
}

// A card header in `order` whose 256 bytes all lie in `known` (the bytes read of the file), with
// the signature and a version from `minVersion` to `maxVersion`.
bool IsCardHeader(std::span<const uint8_t> known, uint64_t offset, ByteOrder order,
                  uint16_t minVersion, uint16_t maxVersion) {
    if (offset > known.size() || known.size() - offset < kCardHeaderSize) {
        return false;
    }
    size_t at = size_t(offset);
    uint16_t version = Read16At(known, at + kVersionOffset, order);
    return Read32At(known, at + kSignatureOffset, order) == kCardSignature &&
           version >= minVersion && version <= maxVersion;
}

bool IsArmBigRomHeader(std::span<const uint8_t> known, uint64_t offset) {
    return IsCardHeader(known, offset, ByteOrder::Little, 1, UINT16_MAX) ||
           IsCardHeader(known, offset, ByteOrder::Big, 1, UINT16_MAX);
}

// A small ROM header at `headerOffset` points at its big ROM through LocalIDs: its image base
// lies 0x200 bytes before its RAM block list, and its big ROM address is a field (a fixed
// distance for version 1).  The file offset the big ROM header is expected at, or nullopt when
// the header describes a file that starts with the big ROM, or its pointers lead nowhere in it.
std::optional<uint64_t> ExpectedBigRomOffset(std::span<const uint8_t> known, uint64_t fileSize,
                                             uint64_t headerOffset, ByteOrder order) {
    constexpr uint64_t kBlockListPastBase = 0x200, kVersionOneBigRomDistance = 0x3000;
    constexpr uint64_t kLow20Bits = 0xFFFFF;
    size_t at = size_t(headerOffset);
    uint64_t blockList = Read32At(known, at + kBlockListOffset, order);
    if (blockList < kBlockListPastBase) {
        return std::nullopt;
    }
    uint64_t base = blockList - kBlockListPastBase;
    uint64_t bigRom = Read16At(known, at + kVersionOffset, order) == 1
                          ? base + kVersionOneBigRomDistance
                          : Read32At(known, at + kBigRomAddressOffset, order);
    if (bigRom <= base || (bigRom & kLow20Bits) == (base & kLow20Bits)) {
        return std::nullopt; // the big ROM itself, or a big ROM before the small one
    }
    uint64_t offset = headerOffset + (bigRom - base);
    if (offset > fileSize || fileSize - offset < kCardHeaderSize) {
        return std::nullopt;
    }
    return offset;
}

using HeaderTest = bool (*)(std::span<const uint8_t> known, uint64_t offset);

// The first boundary of `step` up to kBigRomSearchEnd where `isBigRomHeader` holds; 0 for none.
uint64_t SearchBigRom(std::span<const uint8_t> known, uint64_t step, HeaderTest isBigRomHeader) {
    for (uint64_t offset = step; offset <= kBigRomSearchEnd; offset += step) {
        if (isBigRomHeader(known, offset)) {
            return offset;
        }
    }
    return 0;
}

bool Is68kHeader(std::span<const uint8_t> known, uint64_t offset) {
    return IsCardHeader(known, offset, ByteOrder::Big, 1, 5);
}

bool IsRecent68kHeader(std::span<const uint8_t> known, uint64_t offset) {
    return IsCardHeader(known, offset, ByteOrder::Big, 3, 5);
}

// One known family writes a small ROM header whose pointers are wrong; its big ROM is always
// 64 KiB into the file.
std::optional<uint64_t> BrokenHeaderBigRomOffset(std::span<const uint8_t> known) {
    constexpr uint32_t kCompanyTrgp = 0x74726770, kHalTrg3 = 0x74726733;
    constexpr uint64_t kBigRomOffset = 0x10000;
    if (ReadBe32At(known, kCompanyIdOffset) == kCompanyTrgp &&
        ReadBe32At(known, kBigEndianIdOffset) == kHalTrg3 && Is68kHeader(known, kBigRomOffset)) {
        return kBigRomOffset;
    }
    return std::nullopt;
}

// Behind a 68k (big-endian) header at offset 0; big ROMs start on 4 KiB boundaries, and one found
// by searching must have a header of version 3 or later.
uint64_t FindBigRomBehind68kHeader(std::span<const uint8_t> known, uint64_t fileSize) {
    if (std::optional<uint64_t> offset = BrokenHeaderBigRomOffset(known)) {
        return *offset;
    }
    std::optional<uint64_t> expected = ExpectedBigRomOffset(known, fileSize, 0, ByteOrder::Big);
    if (!expected) {
        return 0;
    }
    return Is68kHeader(known, *expected) ? *expected
                                         : SearchBigRom(known, 0x1000, IsRecent68kHeader);
}

// Behind an ARM (little-endian) header at `headerOffset`; big ROMs start on 32 KiB boundaries.
uint64_t FindBigRomBehindArmHeader(std::span<const uint8_t> known, uint64_t fileSize,
                                   uint64_t headerOffset) {
    std::optional<uint64_t> expected =
        ExpectedBigRomOffset(known, fileSize, headerOffset, ByteOrder::Little);
    if (!expected) {
        return 0;
    }
    return IsArmBigRomHeader(known, *expected) ? *expected
                                               : SearchBigRom(known, 0x8000, IsArmBigRomHeader);
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

// Reads up to `count` bytes at `offset`; false on a read error (a short file is not one).
bool ReadAt(std::FILE *file, uint64_t offset, size_t count, std::vector<uint8_t> &out) {
    out.resize(count);
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        return false;
    }
    out.resize(std::fread(out.data(), 1, count, file));
    return !std::ferror(file);
}

// The device id or manufacturer from the header at the start of `part`; a header that cannot be
// read sends the search to a heap marker instead.
void ReadHeaderFields(std::span<const uint8_t> part, std::span<const uint8_t> tail,
                      RomImageInfo &info) {
    uint32_t signature = ReadLe32At(part, kSignatureOffset);
    uint8_t versionLow = ByteAt(part, kVersionOffset);
    bool headerRead = true;
    if (versionLow > 5 && signature == kCardSignature) {
        info.imageDeviceId = ReadLe32At(part, kLittleEndianIdOffset);
    } else {
        uint16_t version = uint16_t(versionLow << 8 | ByteAt(part, kVersionOffset + 1));
        if (version == 5) {
            info.imageDeviceId = ReadBe32At(part, kBigEndianIdOffset);
        } else if (version >= 6) {
            headerRead = false;
        }
        info.imageManufacturer = CardManufacturer(part);
    }
    if (!headerRead) {
        FindHeapMarker(part, tail, info.writeSize, info);
    }
}

} // namespace

uint64_t FindBigRomOffset(std::span<const uint8_t> head, uint64_t fileSize) {
    std::span<const uint8_t> known = head.first(std::min<uint64_t>(head.size(), fileSize));
    if (IsCardHeader(known, 0, ByteOrder::Big, 1, 5)) {
        return FindBigRomBehind68kHeader(known, fileSize);
    }
    for (uint64_t headerOffset : {uint64_t(0), kArmVectorsSize}) {
        if (IsCardHeader(known, headerOffset, ByteOrder::Little, 6, UINT16_MAX)) {
            return FindBigRomBehindArmHeader(known, fileSize, headerOffset);
        }
    }
    return 0;
}

RomImageInfo AnalyseRomImage(std::span<const uint8_t> head, std::span<const uint8_t> tail,
                             uint64_t fileSize) {
    RomImageInfo info;
    info.fileSize = fileSize;
    info.bigRomOffset = FindBigRomOffset(head, fileSize);
    info.wholeCard = info.bigRomOffset != 0;
    info.writeSize = fileSize - info.bigRomOffset;
    ReadHeaderFields(head.subspan(std::min<uint64_t>(head.size(), info.bigRomOffset)), tail, info);
    LookUpFamily(info);
    return info;
}

std::optional<RomImageInfo> ExamineRomImageFile(const std::string &path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        return std::nullopt;
    }
    long size = std::ftell(file.get());
    if (size < 0) {
        return std::nullopt;
    }
    uint64_t fileSize = uint64_t(size);
    std::vector<uint8_t> head, tail;
    uint64_t tailStart = fileSize > kRomImageTailSize ? fileSize - kRomImageTailSize : 0;
    if (!ReadAt(file.get(), 0, kRomImageHeadSize, head) ||
        !ReadAt(file.get(), tailStart, kRomImageTailSize, tail)) {
        return std::nullopt;
    }
    return AnalyseRomImage(head, tail, fileSize);
}

const char *RomVerdictName(RomVerdict verdict) {
    switch (verdict) {
    case RomVerdict::Restore:
        return "restore";
    case RomVerdict::TooBig:
        return "too big";
    default:
        return "unknown";
    }
}

RomVerdict VerdictIfAccepted(const RomImageInfo &info) {
    if (TooBig(info)) {
        return RomVerdict::TooBig;
    }
    return info.identified || info.markerFound ? RomVerdict::Restore : RomVerdict::Unknown;
}

RomIdentification DecideRomImage(RomImageInfo info, Prompter &prompter) {
    if (!info.warningCaption.empty() &&
        prompter.Ask(info.warningCaption, WarningText(info.warningCaption), PromptButtons::OkCancel,
                     PromptIcon::Exclamation) == PromptAnswer::Cancel) {
        info.goOn = false;
    }
    RomVerdict verdict = VerdictIfAccepted(info);
    if (verdict == RomVerdict::TooBig) {
        prompter.Ask(kTooBigCaption, kTooBigText, PromptButtons::Ok, PromptIcon::Exclamation);
    } else if (!info.goOn) {
        verdict = RomVerdict::Declined;
    } else if (verdict == RomVerdict::Unknown) {
        prompter.Ask(kUnknownCaption, kUnknownText, PromptButtons::Ok, PromptIcon::Exclamation);
    }
    return {std::move(info), verdict};
}

RomIdentification IdentifyRomImage(const std::string &path, Prompter &prompter) {
    std::optional<RomImageInfo> info = ExamineRomImageFile(path);
    if (!info) {
        return {RomImageInfo{}, RomVerdict::Unreadable};
    }
    return DecideRomImage(std::move(*info), prompter);
}

ImageIdentity ToImageIdentity(const RomImageInfo &info) {
    ImageIdentity identity;
    identity.imageDeviceId = info.imageDeviceId;
    identity.imageAddressList = info.imageAddressList;
    identity.imageLoadBase = info.imageLoadBase;
    identity.imageManufacturer = info.imageManufacturer;
    identity.imageExpectedEnd = info.imageExpectedEnd;
    identity.imageOffset = info.bigRomOffset;
    return identity;
}

std::string DeviceIdText(uint32_t deviceId) {
    if (deviceId == 0) {
        return "";
    }
    std::string text(4, ' ');
    for (int i = 0; i < 4; i++) {
        text[i] = static_cast<char>(deviceId >> (24 - 8 * i));
    }
    return text;
}

std::string CardManufacturer(std::span<const uint8_t> header) {
    std::string name;
    for (size_t i = 0; i < kManufacturerFieldSize; i++) {
        uint8_t c = ByteAt(header, kManufacturerOffset + i);
        if (c == 0) {
            break;
        }
        name += static_cast<char>(c);
    }
    return name;
}

} // namespace ostervane
