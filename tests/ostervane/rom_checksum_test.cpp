// The big ROM checksum: the CRC itself, 68k and ARM headers, and headers that lie.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ostervane/core/rom_checksum.h"

namespace ostervane {
namespace {

using Image = std::vector<uint8_t>;

void PutBe(Image &image, size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; i++) {
        image[offset + i] = uint8_t(value >> (8 * (width - 1 - i)));
    }
}

void PutLe(Image &image, size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; i++) {
        image[offset + i] = uint8_t(value >> (8 * i));
    }
}

void PutText(Image &image, size_t offset, const char *text) {
    std::memcpy(image.data() + offset, text, std::strlen(text));
}

// The CRC over [0, 112) and [114, covered), written out here rather than through the code under
// test's header handling.
uint16_t CrcSkippingField(const Image &image, size_t covered) {
    std::span<const uint8_t> bytes(image);
    return RomCrc16(bytes.subspan(114, covered - 114), RomCrc16(bytes.first(112)));
}

// A 68k big ROM of `size` bytes with a version 3 header whose checksum covers `covered` bytes
// and holds; the bytes behind the header vary.
Image M68kRom(size_t size, size_t covered) {
    Image image(size);
    for (size_t i = 0; i < size; i++) {
        image[i] = uint8_t(i * 7 + (i >> 8));
    }
    std::fill(image.begin(), image.begin() + 256, 0);
    PutBe(image, 8, 0xFEEDBEEF, 4);
    PutBe(image, 12, 3, 2);
    PutBe(image, 108, uint32_t(covered), 4);
    PutBe(image, 112, CrcSkippingField(image, covered), 2);
    return image;
}

// An ARM big ROM as a backup saves it: signature and version little-endian.  Its checksum is
// made over the header as the handheld holds it (signature and version big-endian).
Image ArmRomInFileOrder(size_t size) {
    Image image(size);
    for (size_t i = 256; i < size; i++) {
        image[i] = uint8_t(i * 13 + 1);
    }
    PutBe(image, 8, 0xFEEDBEEF, 4);
    PutBe(image, 12, 6, 2);
    PutLe(image, 108, uint32_t(size), 4);
    PutLe(image, 112, CrcSkippingField(image, size), 2);
    PutLe(image, 8, 0xFEEDBEEF, 4);
    PutLe(image, 12, 6, 2);
    return image;
}

// The worked example of a 680-byte big-ROM-only image: every byte laid out by hand, with the
// CRC 0x532C its header carries.
Image WorkedExample() {
    Image image(0x2A8);
    PutBe(image, 0x000, 0x00003000, 4);
    PutBe(image, 0x004, 0x10C08100, 4);
    PutBe(image, 0x008, 0xFEEDBEEF, 4);
    PutBe(image, 0x00C, 3, 2);
    PutBe(image, 0x00E, 0x0020, 2);
    PutText(image, 0x010, "PalmCard");
    PutText(image, 0x030, "Example");
    PutBe(image, 0x050, 1, 2);
    PutBe(image, 0x056, 1, 2);
    PutBe(image, 0x058, 0x10C08200, 4);
    PutBe(image, 0x068, 0x10C08000, 4);
    PutBe(image, 0x06C, 0x2A8, 4);
    PutBe(image, 0x070, 0x532C, 2);
    PutBe(image, 0x100, 0xFEEDFACE, 4);
    PutBe(image, 0x104, 1, 2);
    PutText(image, 0x108, "ROM Store");
    PutBe(image, 0x130, 0x10C08208, 4);
    PutBe(image, 0x13C, 0x10C0822A, 4);
    PutBe(image, 0x204, 0xFFFFFFFF, 4);
    PutBe(image, 0x208, 1, 2);
    PutBe(image, 0x20A, 0x10C08212, 4);
    PutBe(image, 0x212, 0x4001, 2);
    PutBe(image, 0x214, 0x96, 4);
    PutBe(image, 0x222, 0x12, 4);
    PutBe(image, 0x226, 0xF1000000, 4);
    PutBe(image, 0x22E, 1, 2);
    PutBe(image, 0x230, 0x10C0823C, 4);
    PutBe(image, 0x234, 0x62, 4);
    PutBe(image, 0x238, 0xF1000000, 4);
    PutText(image, 0x23C, "Demo");
    PutBe(image, 0x25C, 3, 2);
    PutBe(image, 0x25E, 1, 2);
    PutBe(image, 0x260, 0xB6757900, 4);
    PutBe(image, 0x264, 0xB6757900, 4);
    PutText(image, 0x278, "rsrcTEST");
    PutBe(image, 0x288, 1, 2);
    PutText(image, 0x28A, "tSTR");
    PutBe(image, 0x28E, 1000, 2);
    PutBe(image, 0x290, 0x10C0829E, 4);
    PutBe(image, 0x296, 0x0100000E, 4);
    PutBe(image, 0x29A, 0xF2000000, 4);
    PutText(image, 0x29E, "Palm");
    return image;
}

TEST(RomChecksum, CrcCheckValueAndPieces) {
    const char *check = "123456789";
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t *>(check), 9);
    EXPECT_EQ(RomCrc16(bytes), 0x31C3);
    EXPECT_EQ(RomCrc16(bytes.subspan(4), RomCrc16(bytes.first(4))), 0x31C3);
    EXPECT_EQ(RomCrc16({}), 0);
}

// The CRC is taken eight bytes a step; every length and every split point must give what
// feeding the bits one at a time gives.
TEST(RomChecksum, CrcMatchesTheBitwiseDefinitionAtEveryLengthAndSplit) {
    auto bitwise = [](std::span<const uint8_t> bytes) {
        uint16_t crc = 0;
        for (uint8_t byte : bytes) {
            crc ^= static_cast<uint16_t>(byte << 8);
            for (int bit = 0; bit < 8; bit++) {
                crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
            }
        }
        return crc;
    };
    std::vector<uint8_t> bytes(61);
    uint32_t seed = 12345;
    for (uint8_t &byte : bytes) {
        seed = seed * 1103515245 + 12345;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    std::span<const uint8_t> all(bytes);
    for (size_t length = 0; length <= all.size(); length++) {
        std::span<const uint8_t> part = all.first(length);
        ASSERT_EQ(RomCrc16(part), bitwise(part)) << length;
        for (size_t split = 0; split <= length; split++) {
            ASSERT_EQ(RomCrc16(part.subspan(split), RomCrc16(part.first(split))), bitwise(part))
                << length << " split at " << split;
        }
    }
}

TEST(RomChecksum, WorkedExampleVerifies) {
    RomChecksumResult result = CheckRomChecksum(WorkedExample());
    EXPECT_EQ(result.state, RomChecksumState::Verified);
    EXPECT_EQ(result.stored, 0x532C);
    EXPECT_EQ(result.computed, 0x532C);
    EXPECT_EQ(result.coveredBytes, 0x2A8u);
    EXPECT_EQ(result.text, "ROM checksum verified");
}

TEST(RomChecksum, EveryFlippedByteInTheCoveredRangeIsFound) {
    Image image = M68kRom(1024, 900);
    ASSERT_EQ(CheckRomChecksum(image).state, RomChecksumState::Verified);
    for (size_t at = 0; at < 900; at++) {
        if (at == 112 || at == 113) {
            continue; // the checksum field: below
        }
        // Bytes 8 to 13 and 108 to 111 make the header unreadable or change what is covered.
        bool headerField = (at >= 8 && at < 14) || (at >= 108 && at < 112);
        for (uint8_t bit : {uint8_t(0x01), uint8_t(0x80)}) {
            Image bad = image;
            bad[at] ^= bit;
            RomChecksumResult result = CheckRomChecksum(bad);
            if (!headerField) {
                ASSERT_EQ(result.state, RomChecksumState::Mismatch) << "byte " << at;
                EXPECT_EQ(result.stored, image[112] << 8 | image[113]);
            } else {
                ASSERT_NE(result.state, RomChecksumState::Verified) << "byte " << at;
            }
        }
    }
}

TEST(RomChecksum, ChecksumFieldAndBytesPastTheCoveredRangeAreNotCounted) {
    Image image = M68kRom(1024, 900);
    uint16_t good = CheckRomChecksum(image).computed;
    for (size_t at = 900; at < image.size(); at++) {
        Image beyond = image;
        beyond[at] ^= 0xFF;
        ASSERT_EQ(CheckRomChecksum(beyond).state, RomChecksumState::Verified) << "byte " << at;
    }
    // A changed checksum field no longer agrees, but the image's own CRC is the same.
    Image field = image;
    field[113] ^= 0x01;
    RomChecksumResult result = CheckRomChecksum(field);
    EXPECT_EQ(result.state, RomChecksumState::Mismatch);
    EXPECT_EQ(result.computed, good);
    char expected[100];
    std::snprintf(expected, sizeof expected,
                  "ROM checksum does not match: the header says 0x%04X, the image gives 0x%04X",
                  good ^ 0x01, good);
    EXPECT_EQ(result.text, expected);
}

TEST(RomChecksum, LargeImageReadInPiecesFindsFlipsAtPieceEdges) {
    Image image = M68kRom(200000, 196608 + 17);
    ASSERT_EQ(CheckRomChecksum(image).state, RomChecksumState::Verified);
    for (size_t at : {size_t(256), size_t(65535), size_t(65536), size_t(131072), size_t(196624)}) {
        Image bad = image;
        bad[at] ^= 0x10;
        EXPECT_EQ(CheckRomChecksum(bad).state, RomChecksumState::Mismatch) << "byte " << at;
    }
}

TEST(RomChecksum, VersionOneCarriesNone) {
    Image image = M68kRom(1024, 1024);
    PutBe(image, 12, 1, 2);
    RomChecksumResult result = CheckRomChecksum(image);
    EXPECT_EQ(result.state, RomChecksumState::NotCarried);
    EXPECT_EQ(result.text, "ROM checksum not checked: a version 1 header carries none");
}

TEST(RomChecksum, TruncatedImagesAndAbsurdLengthsCannotBeChecked) {
    Image image = M68kRom(4194304, 4194304);
    Image truncated(image.begin(), image.begin() + 3670016);
    RomChecksumResult result = CheckRomChecksum(truncated);
    EXPECT_EQ(result.state, RomChecksumState::CannotCheck);
    EXPECT_EQ(result.coveredBytes, 4194304u);
    EXPECT_EQ(result.text,
              "ROM checksum not checked: it covers 4,194,304 bytes but the image has 3,670,016");

    for (uint32_t absurd : {0xFFFFFFFFu, 0x80000000u, 4194305u}) {
        Image bad = image;
        PutBe(bad, 108, absurd, 4);
        EXPECT_EQ(CheckRomChecksum(bad).state, RomChecksumState::CannotCheck) << absurd;
    }
    for (uint32_t tooFew : {0u, 113u, 255u}) {
        Image bad = M68kRom(1024, 1024);
        PutBe(bad, 108, tooFew, 4);
        result = CheckRomChecksum(bad);
        EXPECT_EQ(result.state, RomChecksumState::CannotCheck) << tooFew;
        EXPECT_NE(result.text.find("fewer than the header itself"), std::string::npos);
    }
    Image exactlyTheHeader = M68kRom(256, 256);
    EXPECT_EQ(CheckRomChecksum(exactlyTheHeader).state, RomChecksumState::Verified);
}

TEST(RomChecksum, ImagesWithoutACardHeaderCannotBeChecked) {
    Image image = M68kRom(1024, 1024);
    for (size_t size : {size_t(0), size_t(1), size_t(114), size_t(255)}) {
        RomChecksumResult result = CheckRomChecksum(std::span<const uint8_t>(image.data(), size));
        EXPECT_EQ(result.state, RomChecksumState::CannotCheck) << size;
        EXPECT_NE(result.text.find("too few for a card header"), std::string::npos);
    }
    Image unsigned_ = image;
    unsigned_[9] = 0;
    EXPECT_EQ(CheckRomChecksum(unsigned_).text,
              "ROM checksum not checked: the image does not start with a card header");
    Image versionZero = image;
    PutBe(versionZero, 12, 0, 2);
    EXPECT_EQ(CheckRomChecksum(versionZero).state, RomChecksumState::CannotCheck);
    Image littleEndian68k = image; // a little-endian signature with a 68k version
    PutLe(littleEndian68k, 8, 0xFEEDBEEF, 4);
    PutLe(littleEndian68k, 12, 3, 2);
    EXPECT_EQ(CheckRomChecksum(littleEndian68k).state, RomChecksumState::CannotCheck);
}

TEST(RomChecksum, ArmImageIsCheckedAsTheHandheldHoldsIt) {
    Image saved = ArmRomInFileOrder(8192);
    RomChecksumResult result = CheckRomChecksum(saved);
    EXPECT_EQ(result.state, RomChecksumState::Verified);
    EXPECT_EQ(result.coveredBytes, 8192u);

    // The same ROM as the handheld holds it (a raw dump) verifies too.
    Image held = saved;
    PutBe(held, 8, 0xFEEDBEEF, 4);
    PutBe(held, 12, 6, 2);
    EXPECT_EQ(CheckRomChecksum(held).state, RomChecksumState::Verified);

    // A checksum made over the file's own byte order is not the one a handheld's ROM carries.
    Image fileOrderCrc = saved;
    PutLe(fileOrderCrc, 112, CrcSkippingField(fileOrderCrc, 8192), 2);
    EXPECT_EQ(CheckRomChecksum(fileOrderCrc).state, RomChecksumState::Mismatch);

    Image flipped = saved;
    flipped[5000] ^= 0x04;
    EXPECT_EQ(CheckRomChecksum(flipped).state, RomChecksumState::Mismatch);
}

TEST(RomChecksum, ArmHeaderWithChecksumZeroCarriesNone) {
    Image saved = ArmRomInFileOrder(8192);
    PutLe(saved, 112, 0, 2);
    PutLe(saved, 108, 0x7FFFFFFF, 4); // its length is not looked at then
    RomChecksumResult result = CheckRomChecksum(saved);
    EXPECT_EQ(result.state, RomChecksumState::NotCarried);
    EXPECT_EQ(result.text, "ROM checksum not checked: this ARM header carries none");

    Image absurd = ArmRomInFileOrder(8192);
    PutLe(absurd, 108, 8193, 4);
    EXPECT_EQ(CheckRomChecksum(absurd).state, RomChecksumState::CannotCheck);
}

TEST(RomChecksum, ReaderIsAskedOnlyWithinTheImageAndItsFailureIsReported) {
    Image image = M68kRom(150000, 140000);
    uint64_t farthest = 0;
    int reads = 0;
    auto reader = [&](uint64_t offset, std::span<uint8_t> out) {
        farthest = std::max<uint64_t>(farthest, offset + out.size());
        reads++;
        std::copy_n(image.begin() + ptrdiff_t(offset), out.size(), out.begin());
        return true;
    };
    EXPECT_EQ(CheckRomChecksum(image.size(), reader).state, RomChecksumState::Verified);
    EXPECT_EQ(farthest, 140000u);
    EXPECT_GT(reads, 2); // pieces, not the whole image at once

    auto failing = [&](uint64_t offset, std::span<uint8_t> out) {
        return offset == 0 && reader(offset, out);
    };
    RomChecksumResult result = CheckRomChecksum(image.size(), failing);
    EXPECT_EQ(result.state, RomChecksumState::CannotCheck);
    EXPECT_EQ(result.text, "ROM checksum not checked: the image cannot be read");
}

} // namespace
} // namespace ostervane
