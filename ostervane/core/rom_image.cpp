// ROM image identification: the header kinds, the heap marker block, the family tables, and
// the boxes that accept or refuse an image.
#include "ostervane/core/rom_image.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "ostervane/core/image_identity.h"

namespace ostervane {
namespace {

constexpr uint32_t kLittleEndianSignature = 0xFEEDBEEF;
constexpr size_t kSignatureOffset = 8;
constexpr size_t kVersionOffset = 12;
constexpr size_t kManufacturerOffset = 48;
constexpr size_t kBigEndianIdOffset = 130;
constexpr size_t kLittleEndianIdOffset = 132;
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

// The zero-terminated name in the 32-byte field; without a terminator its first 31 characters.
std::string ReadManufacturer(std::span<const uint8_t> head) {
    std::string name;
    for (size_t i = 0; i < kManufacturerFieldSize - 1; i++) {
        uint8_t c = ByteAt(head, kManufacturerOffset + i);
        if (c == 0) {
            break;
        }
        name += static_cast<char>(c);
    }
    return name;
}

// A heap marker block at `offset` of `bytes`: its address, or nullopt.
std::optional<uint32_t> MarkerAddressAt(std::span<const uint8_t> bytes, size_t offset) {
    if (bytes.size() < offset + kRomImageTailSize || !HasBytes(bytes, offset, kMarkerStart) ||
        !HasBytes(bytes, offset + 12, kMarkerEnd)) {
        return std::nullopt;
    }
    return ReadBe32At(bytes, offset + 4);
}

void FindHeapMarker(std::span<const uint8_t> head, std::span<const uint8_t> tail, uint64_t fileSize,
                    RomImageInfo &info) {
    std::optional<uint32_t> address =
        MarkerAddressAt(head.first(std::min(head.size(), fileSize)), 0);
    if (!address && fileSize >= kRomImageTailSize && tail.size() >= kRomImageTailSize) {
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
    return info.identified && info.fileSize > info.sizeLimit;
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

} // namespace

RomImageInfo AnalyseRomImage(std::span<const uint8_t> head, std::span<const uint8_t> tail,
                             uint64_t fileSize) {
    RomImageInfo info;
    info.fileSize = fileSize;
    uint32_t signature = ReadLe32At(head, kSignatureOffset);
    uint8_t versionLow = ByteAt(head, kVersionOffset);
    bool headerRead = true;
    if (versionLow > 5 && signature == kLittleEndianSignature) {
        info.imageDeviceId = ReadLe32At(head, kLittleEndianIdOffset);
    } else {
        uint16_t version = uint16_t(versionLow << 8 | ByteAt(head, kVersionOffset + 1));
        if (version == 5) {
            info.imageDeviceId = ReadBe32At(head, kBigEndianIdOffset);
        } else if (version >= 6) {
            headerRead = false;
        }
        info.imageManufacturer = ReadManufacturer(head);
    }
    if (!headerRead) {
        FindHeapMarker(head, tail, fileSize, info);
    }
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

} // namespace ostervane
