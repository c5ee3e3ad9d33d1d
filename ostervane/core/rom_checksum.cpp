// The card header's checksum: which header kind the image starts with, its checksum fields in
// that kind's byte order, and the CRC of the bytes they cover, read in pieces.
#include "ostervane/core/rom_checksum.h"

#include "ostervane/core/crc16.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace ostervane {
namespace {

constexpr size_t kHeaderSize = 256;
constexpr size_t kSignatureOffset = 8;
constexpr size_t kVersionOffset = 12;
constexpr size_t kChecksumBytesOffset = 108;
constexpr size_t kChecksumValueOffset = 112;
constexpr size_t kAfterChecksumValue = 114;
constexpr uint32_t kSignature = 0xFEEDBEEF;
constexpr uint16_t kFirstVersionWithChecksum = 2;
constexpr uint16_t kLastM68kVersion = 5;
constexpr size_t kPieceSize = 0x10000;

using Header = std::array<uint8_t, kHeaderSize>;

uint16_t Be16(const Header &h, size_t at) {
    return static_cast<uint16_t>(h[at] << 8 | h[at + 1]);
}
uint16_t Le16(const Header &h, size_t at) {
    return static_cast<uint16_t>(h[at + 1] << 8 | h[at]);
}
uint32_t Be32(const Header &h, size_t at) {
    return uint32_t(h[at]) << 24 | uint32_t(h[at + 1]) << 16 | uint32_t(h[at + 2]) << 8 | h[at + 3];
}
uint32_t Le32(const Header &h, size_t at) {
    return uint32_t(h[at + 3]) << 24 | uint32_t(h[at + 2]) << 16 | uint32_t(h[at + 1]) << 8 | h[at];
}

enum class HeaderKind { M68k, ArmFileOrder, ArmHandheldOrder };

std::optional<HeaderKind> KindOf(const Header &h) {
    if (Be32(h, kSignatureOffset) == kSignature) {
        uint16_t version = Be16(h, kVersionOffset);
        if (version == 0) {
            return std::nullopt;
        }
        return version <= kLastM68kVersion ? HeaderKind::M68k : HeaderKind::ArmHandheldOrder;
    }
    if (Le32(h, kSignatureOffset) == kSignature && Le16(h, kVersionOffset) > kLastM68kVersion) {
        return HeaderKind::ArmFileOrder;
    }
    return std::nullopt;
}

struct ChecksumFields {
    uint16_t version = 0;
    uint32_t checksumBytes = 0;
    uint16_t stored = 0;
};

// An ARM header keeps its signature and version big-endian on the handheld, whichever order
// the image holds them in; everything else in it is little-endian.
ChecksumFields FieldsOf(const Header &h, HeaderKind kind) {
    if (kind == HeaderKind::M68k) {
        return {Be16(h, kVersionOffset), Be32(h, kChecksumBytesOffset),
                Be16(h, kChecksumValueOffset)};
    }
    uint16_t version =
        kind == HeaderKind::ArmFileOrder ? Le16(h, kVersionOffset) : Be16(h, kVersionOffset);
    return {version, Le32(h, kChecksumBytesOffset), Le16(h, kChecksumValueOffset)};
}

// Undoes the backup's rewrite of an ARM header's signature and version.
void ToHandheldOrder(Header &h) {
    uint16_t version = Le16(h, kVersionOffset);
    const uint8_t signature[4] = {0xFE, 0xED, 0xBE, 0xEF};
    std::memcpy(&h[kSignatureOffset], signature, sizeof signature);
    h[kVersionOffset] = static_cast<uint8_t>(version >> 8);
    h[kVersionOffset + 1] = static_cast<uint8_t>(version);
}

// 4194304 as "4,194,304".
std::string GroupedNumber(uint64_t value) {
    std::string digits = std::to_string(value), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

RomChecksumResult CannotCheck(RomChecksumResult result, const std::string &why) {
    result.state = RomChecksumState::CannotCheck;
    result.text = "ROM checksum not checked: " + why;
    return result;
}

RomChecksumResult NotCarried(RomChecksumResult result, const std::string &why) {
    result.state = RomChecksumState::NotCarried;
    result.text = "ROM checksum not checked: " + why;
    return result;
}

RomChecksumResult Compared(RomChecksumResult result, uint16_t computed) {
    result.computed = computed;
    if (computed == result.stored) {
        result.state = RomChecksumState::Verified;
        result.text = "ROM checksum verified";
        return result;
    }
    char text[100];
    std::snprintf(text, sizeof text,
                  "ROM checksum does not match: the header says 0x%04X, the image gives 0x%04X",
                  result.stored, computed);
    result.state = RomChecksumState::Mismatch;
    result.text = text;
    return result;
}

// The CRC of bytes [kHeaderSize, end) of the image; nullopt when a read fails.
std::optional<uint16_t> CrcPastHeader(const RomByteReader &read, uint64_t end, uint16_t crc) {
    std::vector<uint8_t> piece(kPieceSize);
    for (uint64_t offset = kHeaderSize; offset < end;) {
        std::span<uint8_t> part(piece.data(), size_t(std::min<uint64_t>(kPieceSize, end - offset)));
        if (!read(offset, part)) {
            return std::nullopt;
        }
        crc = RomCrc16(part, crc);
        offset += part.size();
    }
    return crc;
}

} // namespace

uint16_t RomCrc16(std::span<const uint8_t> bytes, uint16_t crc) {
    return Crc16(bytes, crc);
}

RomChecksumResult CheckRomChecksum(uint64_t size, const RomByteReader &read) {
    RomChecksumResult result;
    Header header;
    if (size < kHeaderSize) {
        return CannotCheck(result, "the image has " + GroupedNumber(size) +
                                       " bytes, too few for a card header");
    }
    if (!read(0, header)) {
        return CannotCheck(result, "the image cannot be read");
    }
    std::optional<HeaderKind> kind = KindOf(header);
    if (!kind) {
        return CannotCheck(result, "the image does not start with a card header");
    }
    ChecksumFields fields = FieldsOf(header, *kind);
    result.stored = fields.stored;
    result.coveredBytes = fields.checksumBytes;
    if (fields.version < kFirstVersionWithChecksum) {
        return NotCarried(result, "a version 1 header carries none");
    }
    if (*kind != HeaderKind::M68k && fields.stored == 0) {
        return NotCarried(result, "this ARM header carries none");
    }
    if (fields.checksumBytes < kHeaderSize) {
        return CannotCheck(result, "the header says it covers " +
                                       GroupedNumber(fields.checksumBytes) +
                                       " bytes, fewer than the header itself");
    }
    if (fields.checksumBytes > size) {
        return CannotCheck(result, "it covers " + GroupedNumber(fields.checksumBytes) +
                                       " bytes but the image has " + GroupedNumber(size));
    }
    if (*kind == HeaderKind::ArmFileOrder) {
        ToHandheldOrder(header);
    }
    std::span<const uint8_t> head(header);
    uint16_t crc = RomCrc16(head.first(kChecksumValueOffset));
    crc = RomCrc16(head.subspan(kAfterChecksumValue), crc);
    std::optional<uint16_t> computed = CrcPastHeader(read, fields.checksumBytes, crc);
    if (!computed) {
        return CannotCheck(result, "the image cannot be read");
    }
    return Compared(result, *computed);
}

RomChecksumResult CheckRomChecksum(std::span<const uint8_t> bigRom) {
    return CheckRomChecksum(bigRom.size(), [bigRom](uint64_t offset, std::span<uint8_t> out) {
        std::copy_n(bigRom.begin() + static_cast<ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    });
}

} // namespace ostervane
