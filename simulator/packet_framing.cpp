// Framing, CRC and reassembly of debugger packets.
#include "simulator/packet_framing.h"

#include <algorithm>
#include <array>

namespace ostervane::simulator {

namespace {

std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
        table[i] = crc;
    }
    return table;
}

} // namespace

uint16_t Crc16(const uint8_t *data, size_t length) {
    static const std::array<uint16_t, 256> table = MakeCrcTable();
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>((crc << 8) ^ table[((crc >> 8) ^ data[i]) & 0xFF]);
    }
    return crc;
}

uint8_t HeaderChecksum(const uint8_t *header) {
    unsigned sum = 0;
    for (size_t i = 0; i < kHeaderSize - 1; ++i) {
        sum += header[i];
    }
    return static_cast<uint8_t>(sum);
}

std::vector<uint8_t> FramePacket(uint8_t transactionId, std::span<const uint8_t> body) {
    return FramePacket(transactionId, body, static_cast<uint16_t>(body.size()));
}

std::vector<uint8_t> FramePacket(uint8_t transactionId, std::span<const uint8_t> body,
                                 uint16_t sizeField) {
    std::vector<uint8_t> packet(kHeaderSize + body.size() + kCrcSize, 0);
    packet[0] = kSignature0;
    packet[1] = kSignature1;
    packet[2] = kSignature2;
    packet[6] = static_cast<uint8_t>(sizeField >> 8);
    packet[7] = static_cast<uint8_t>(sizeField);
    packet[8] = transactionId;
    packet[9] = HeaderChecksum(packet.data());
    std::copy(body.begin(), body.end(), packet.begin() + kHeaderSize);
    size_t crcAt = kHeaderSize + body.size();
    uint16_t crc = Crc16(packet.data(), crcAt);
    packet[crcAt] = static_cast<uint8_t>(crc >> 8);
    packet[crcAt + 1] = static_cast<uint8_t>(crc);
    return packet;
}

void PacketReader::Reject() {
    ++rejected_;
    bytes_.clear();
    expected_ = kHeaderSize;
}

std::optional<Packet> PacketReader::Push(uint8_t byte) {
    static constexpr uint8_t kSignature[3] = {kSignature0, kSignature1, kSignature2};
    size_t at = bytes_.size();
    if (at < 3 && byte != kSignature[at]) {
        // A broken signature: start again, with this byte if it can begin a new one.
        bytes_.clear();
        if (byte == kSignature0) {
            bytes_.push_back(byte);
        }
        return std::nullopt;
    }
    bytes_.push_back(byte);
    if (bytes_.size() == kHeaderSize) {
        size_t bodySize = size_t{bytes_[6]} << 8 | bytes_[7];
        if (HeaderChecksum(bytes_.data()) != bytes_[9] || bodySize < kMinBodySize ||
            bodySize > kMaxBodySize) {
            Reject();
            return std::nullopt;
        }
        expected_ = kHeaderSize + bodySize + kCrcSize;
    }
    if (bytes_.size() < expected_) {
        return std::nullopt;
    }
    size_t crcAt = expected_ - kCrcSize;
    uint16_t crc = static_cast<uint16_t>(bytes_[crcAt] << 8 | bytes_[crcAt + 1]);
    if (Crc16(bytes_.data(), crcAt) != crc) {
        Reject();
        return std::nullopt;
    }
    Packet packet;
    packet.transactionId = bytes_[8];
    packet.body.assign(bytes_.begin() + kHeaderSize, bytes_.begin() + crcAt);
    bytes_.clear();
    expected_ = kHeaderSize;
    return packet;
}

} // namespace ostervane::simulator
