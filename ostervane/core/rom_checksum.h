// The CRC-16 a big ROM's card header carries (version 2 and later): whether a ROM image, as a
// backup saves it, still holds the bytes its header vouches for.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace ostervane {

enum class RomChecksumState { Verified, Mismatch, NotCarried, CannotCheck };

struct RomChecksumResult {
    RomChecksumState state = RomChecksumState::CannotCheck;
    uint16_t stored = 0;       // the header's checksumValue, once a header was read
    uint16_t computed = 0;     // the image's CRC; set for Verified and Mismatch only
    uint32_t coveredBytes = 0; // the header's checksumBytes, once a header was read
    std::string text;          // one line for the log and the console, e.g. "ROM checksum verified"
};

// CRC-16 with polynomial 0x1021, most significant bit first, no reflection, no final XOR; `crc`
// carries the value of the bytes before these, so a long image can be fed in pieces (0 to start).
// The CRC of "123456789" is 0x31C3.
uint16_t RomCrc16(std::span<const uint8_t> bytes, uint16_t crc = 0);

// Checks the checksum of `bigRom`, a big ROM as a backup saves it (the file's bytes from its big
// ROM header on).  The CRC covers bytes [0, 112) and [114, checksumBytes).
//
// Header kinds, told apart by the signature at offset 8 and the version at 12:
// - FE ED BE EF with a version from 1 to 5: a 68k header, every field big-endian.
// - EF BE ED FE with a version of 6 or more: an ARM header as a backup saves it.  The handheld
//   holds the signature and version big-endian (the backup rewrites them), and the checksum was
//   made over the ROM as the handheld holds it, which is also what a restore writes back: the
//   CRC is computed over the header in that order.  The other fields are little-endian.
// - FE ED BE EF with a version of 6 or more: an ARM header as the handheld holds it.
// A version 1 header carries no checksum, nor does an ARM header whose checksumValue is 0.
// Every field is untrusted: a header that claims fewer bytes than itself, or more than the
// image has, gives CannotCheck with the reason in `text`.
RomChecksumResult CheckRomChecksum(std::span<const uint8_t> bigRom);

// Reads bytes of the big ROM from `offset` into `out`, all of them; false on a read error.
// CheckRomChecksum never asks for bytes past the size it was given.
using RomByteReader = std::function<bool(uint64_t offset, std::span<uint8_t> out)>;

// The same check for a big ROM of `size` bytes that is read in pieces (a file too large to
// hold in memory at once).  A read that fails gives CannotCheck.
RomChecksumResult CheckRomChecksum(uint64_t size, const RomByteReader &read);

} // namespace ostervane
