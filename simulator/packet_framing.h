// Debugger packets in serial-link framing: the CRC, building a framed packet, and reading
// whole, verified packets out of a byte stream cut into pieces of any size.
//
// Layout: signature BE EF ED, destination socket, source socket, type (all 0), body size
// (16-bit big-endian), transaction id, header checksum (8-bit sum of bytes 0 to 8), the body
// (command, filler, command data), then the CRC-16/XMODEM of header and body, high byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "simulator/sim_time.h"

namespace ostervane::simulator {

inline constexpr uint8_t kSignature0 = 0xBE;
inline constexpr uint8_t kSignature1 = 0xEF;
inline constexpr uint8_t kSignature2 = 0xED;
inline constexpr size_t kHeaderSize = 10;
inline constexpr size_t kCrcSize = 2;
inline constexpr size_t kMinBodySize = 2;
inline constexpr size_t kMaxBodySize = 272;

// CRC-16, polynomial 0x1021, most significant bit first, initial value 0, no final inversion.
uint16_t Crc16(const uint8_t *data, size_t length);

// The 8-bit sum of header bytes 0 to 8.
uint8_t HeaderChecksum(const uint8_t *header);

// Frames `body` (command byte, filler, data) with `transactionId`.  `sizeField` is what the
// body size field says; it defaults to the body's real size (faults send other values).
std::vector<uint8_t> FramePacket(uint8_t transactionId, std::span<const uint8_t> body);
std::vector<uint8_t> FramePacket(uint8_t transactionId, std::span<const uint8_t> body,
                                 uint16_t sizeField);

// A packet that passed every check.
struct Packet {
    uint8_t transactionId = 0;
    std::vector<uint8_t> body; // command, filler, data; at least 2 bytes
    uint8_t Command() const { return body[0]; }
};

// Bytes the handheld puts on its line.  They start no earlier than `notBefore` and no earlier
// than `gap` after the line's previous bytes ended; each byte then takes its wire time.
struct Transmission {
    SimTime notBefore{0};
    SimTime gap{0};
    std::vector<uint8_t> bytes;
};

// Reassembles packets from a byte stream.  Bytes before a signature are skipped; a header
// whose checksum is wrong, a body size outside 2 to 272, or a wrong CRC drops the packet and
// the reader hunts for the next signature.
class PacketReader {
public:
    // Takes one byte; returns the packet this byte completes, if any.
    std::optional<Packet> Push(uint8_t byte);
    uint32_t Rejected() const { return rejected_; }

private:
    void Reject();

    std::vector<uint8_t> bytes_;
    size_t expected_ = kHeaderSize;
    uint32_t rejected_ = 0;
};

} // namespace ostervane::simulator
