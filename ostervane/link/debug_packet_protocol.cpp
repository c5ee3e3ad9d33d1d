// The debugger protocol of DebugPacket: packet framing, sending, receiving with its retry
// rules, memory exchanges of any length, Continue, and the wait for a handheld.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "ostervane/core/crc16.h"
#include "ostervane/core/slot_event.h"
#include "ostervane/link/byte_order.h"
#include "ostervane/link/debug_packet.h"

namespace ostervane {

using namespace debugger;

namespace {

constexpr uint8_t kSignature[3] = {0xBE, 0xEF, 0xED};
constexpr int kFillCalls = 100; // Receive calls allowed for a header or body remainder
constexpr int kReplyAttempts = 5;
// A handheld that entered its debugger before the line opened has sent its state packet
// already: the first request for it goes out after about two quiet seconds (four empty reads of
// 600 ms on a serial line), not after half a minute.
constexpr int kFirstWaitAttempts = 4;
constexpr int kLaterWaitAttempts = 6;
constexpr size_t kRegistersInStatePacket = 16; // body offset 6
constexpr size_t kDrainLimit = 4 * kPacketSize;
constexpr int kStaleRepliesSkipped = 8;
constexpr std::chrono::milliseconds kChannelFailurePause{100};

// A status the channel gave, not one of the packet layer's own.
bool IsChannelFailure(int32_t status) {
    return status < ErrNoSmallRom || status > ErrRomChecksum;
}

uint8_t HeaderChecksum(const uint8_t *header) {
    unsigned sum = 0;
    for (size_t i = 0; i < 9; i++) {
        sum += header[i];
    }
    return static_cast<uint8_t>(sum);
}

} // namespace

int32_t DebugPacket::SendPacket(uint8_t command, uint16_t dataLength, const uint8_t *data) {
    if (size_t(12) + dataLength + 2 > kPacketSize) {
        return ErrWrite;
    }
    uint8_t *p = packet_.data();
    std::memcpy(p, kSignature, sizeof kSignature);
    p[3] = 0; // destination socket
    p[4] = 0; // source socket
    p[5] = 0; // packet type
    WriteBe16(p + 6, static_cast<uint16_t>(dataLength + 2));
    p[8] = nextTransactionId_;
    nextTransactionId_ = nextTransactionId_ >= 254 ? 1 : nextTransactionId_ + 1;
    p[9] = HeaderChecksum(p);
    p[10] = command;
    p[11] = 0; // filler
    if (data != nullptr) {
        std::memcpy(p + 12, data, dataLength);
    }
    WriteBe16(p + 12 + dataLength, Crc16(p, size_t(12) + dataLength));

    uint32_t sent = 0;
    pipe_->Send(p, kHeaderSize, &sent);
    if (sent == 0) {
        return ErrNoResponse;
    }
    return pipe_->Send(p + kHeaderSize, 4u + dataLength, &sent) != 0 ? ErrWrite : 0;
}

// Fills packet_[offset, offset + count) with at most `calls` Receive calls.  Returns the bytes
// received; lastStatus is the status of the last call.
int32_t DebugPacket::ReceiveExactly(size_t offset, size_t count, int calls, int32_t *lastStatus) {
    size_t have = 0;
    *lastStatus = 0;
    for (int call = 0; call < calls && have < count; call++) {
        uint32_t got = 0;
        *lastStatus = pipe_->Receive(packet_.data() + offset + have,
                                     static_cast<uint32_t>(count - have), &got);
        have += got;
    }
    return static_cast<int32_t>(have);
}

// A packet is accepted only when its header checksum and CRC hold, so line noise can never
// put wrong bytes into a backup or the registers.
int32_t DebugPacket::VerifyReceivedPacket(uint16_t bodySize) const {
    const uint8_t *p = packet_.data();
    uint16_t crc = ReadBe16(p + kHeaderSize + bodySize);
    if (p[9] != HeaderChecksum(p) || crc != Crc16(p, kHeaderSize + bodySize)) {
        return ErrBadSignature;
    }
    return 0;
}

int32_t DebugPacket::ReceivePacket(int attempts) {
    uint8_t *p = packet_.data();
    int32_t status = 0;

    // 1. Hunt for the first signature byte; the last allowed call only means "nothing came".
    p[0] = 0;
    huntSkippedBytes_ = 0;
    for (int call = 1;; call++) {
        uint32_t got = 0;
        status = pipe_->Receive(p, 1, &got);
        if (call >= attempts) {
            return ErrNoResponse;
        }
        if (status != 0) {
            return status;
        }
        if (got == 1 && p[0] == kSignature[0]) {
            break;
        }
        huntSkippedBytes_ += got;
    }

    // 2-4. The rest of the header, its signature and the body size.
    if (ReceiveExactly(1, kHeaderSize - 1, kFillCalls, &status) != int32_t(kHeaderSize - 1)) {
        return status != 0 ? status : ErrRead;
    }
    if (std::memcmp(p, kSignature, sizeof kSignature) != 0) {
        return ErrBadSignature;
    }
    uint16_t bodySize = ReadBe16(p + 6);
    lastBodySize_ = static_cast<int16_t>(bodySize);
    if (bodySize < kMinBodySize || bodySize > kMaxBodySize) {
        return ErrBadSignature;
    }

    // 5-6. Command and filler with a second try, then the rest of the body.
    int32_t have = ReceiveExactly(kHeaderSize, 2, 2, &status);
    if (have == 0 && status != 0) {
        return status;
    }
    have += ReceiveExactly(kHeaderSize + have, bodySize - have, kFillCalls, &status);
    if (have != bodySize) {
        return status != 0 ? status : ErrRead;
    }

    // 7. The CRC, with a second try.
    if (ReceiveExactly(kHeaderSize + bodySize, 2, 2, &status) != 2) {
        return status != 0 ? status : ErrRead;
    }
    if (int32_t bad = VerifyReceivedPacket(bodySize); bad != 0) {
        return bad;
    }

    // 8-9. Body size in host order; a state packet refreshes the registers.
    std::memcpy(p + 6, &bodySize, sizeof bodySize);
    if (p[10] == kStateReply) {
        if (bodySize < 6 + kRegisterBlockSize) {
            return ErrBadSignature;
        }
        std::memcpy(savedRegisters_.data(), p + kRegistersInStatePacket, kRegisterBlockSize);
    }
    return 0;
}

uint16_t DebugPacket::ReceivedBodySize() const {
    uint16_t size;
    std::memcpy(&size, packet_.data() + 6, sizeof size);
    return size;
}

// Reads the reply to the request just sent.  A packet that carries another request's
// transaction id is a late or repeated reply: it is skipped, so it can never be taken for this
// request's data.  A state packet is always an answer (the handheld stopped).
int32_t DebugPacket::ReceiveReplyTo(uint8_t transactionId) {
    for (int packets = 0; packets <= kStaleRepliesSkipped; packets++) {
        if (ReceivePacket(kReplyAttempts) != 0) {
            return ErrRead;
        }
        if (packet_[10] == kStateReply || packet_[8] == transactionId) {
            return 0;
        }
    }
    return ErrRead;
}

int32_t DebugPacket::ReadMemChunk(uint32_t address, uint16_t count) {
    WriteBe32(packet_.data() + 12, address);
    WriteBe16(packet_.data() + 16, count);
    uint8_t transactionId = nextTransactionId_;
    if (int32_t status = SendPacket(kReadMemory, 6, nullptr); status != 0) {
        return status;
    }
    if (ReceiveReplyTo(transactionId) != 0) {
        return ErrRead;
    }
    if (packet_[10] != kReadReply) {
        return packet_[10];
    }
    // A reply that carries fewer bytes than asked for was not received whole.
    return ReceivedBodySize() >= 2u + count ? 0 : ErrRead;
}

int32_t DebugPacket::WriteMemChunk(const uint8_t *source, uint32_t address, uint16_t count) {
    WriteBe32(packet_.data() + 12, address);
    WriteBe16(packet_.data() + 16, count);
    std::memcpy(packet_.data() + 18, source, count);
    uint8_t transactionId = nextTransactionId_;
    if (int32_t status = SendPacket(kWriteMemory, static_cast<uint16_t>(count + 6), nullptr);
        status != 0) {
        return status;
    }
    if (ReceiveReplyTo(transactionId) != 0) {
        return ErrRead;
    }
    return packet_[10] == kWriteReply ? 0 : packet_[10];
}

// Skips what is left on the line of a refused or stray packet, so the next try starts on a
// packet boundary instead of in the middle of the old one.
void DebugPacket::DrainInput() {
    uint8_t byte;
    for (size_t i = 0; i < kDrainLimit && !StopRequested(); i++) {
        uint32_t got = 0;
        if (pipe_->Receive(&byte, 1, &got) != 0 || got == 0) {
            return;
        }
    }
}

int32_t DebugPacket::ExchangeWithRetries(const std::function<int32_t()> &exchange) {
    int32_t status = 0;
    for (int attempt = 0; attempt < kExchangeTries; attempt++) {
        if (attempt > 0) {
            DrainInput();
        }
        status = exchange();
        if (status == 0) {
            break;
        }
    }
    return status;
}

int32_t DebugPacket::ReadMemory(uint32_t address, uint8_t *destination, uint32_t count) {
    for (uint32_t done = 0; done < count;) {
        uint16_t piece = static_cast<uint16_t>(std::min<uint32_t>(kChunkSize, count - done));
        int32_t status = ExchangeWithRetries([&] { return ReadMemChunk(address + done, piece); });
        if (status != 0) {
            return status;
        }
        std::memcpy(destination + done, packet_.data() + 12, piece);
        done += piece;
    }
    return 0;
}

int32_t DebugPacket::WriteMemory(uint32_t address, const uint8_t *source, uint32_t count) {
    for (uint32_t done = 0; done < count;) {
        uint16_t piece = static_cast<uint16_t>(std::min<uint32_t>(kChunkSize, count - done));
        int32_t status = ExchangeWithRetries(
            [&] { return WriteMemChunk(source + done, address + done, piece); });
        if (status != 0) {
            return status;
        }
        done += piece;
    }
    return 0;
}

int32_t DebugPacket::Resume(uint32_t address) {
    if (address != 0) {
        WriteBe32(savedRegisters_.data() + kProgramCounterOffset, address);
    }
    uint8_t data[kContinueDataSize] = {};
    std::memcpy(data, savedRegisters_.data(), kRegistersSentOnContinue);
    return SendPacket(kContinue, kContinueDataSize, data);
}

std::string DebugPacket::ReadErrorText(int32_t status, int counter) const {
    return "Error: " + std::to_string(status) + "   Count: " + std::to_string(counter) +
           "   BodySize: " + std::to_string(lastBodySize_) +
           "   Command: " + std::to_string(packet_[10]);
}

int32_t DebugPacket::WaitForDevice() {
    packet_[10] = 0;
    nextTransactionId_ = 1;
    int counter = 0;
    int attempts = kFirstWaitAttempts;
    int32_t status = 0;
    // Polls with a state request every few attempts until a handheld answers; silence never
    // ends the wait, only a stop request does.
    for (;;) {
        if (StopRequested()) {
            return PipeAborted;
        }
        status = ReceivePacket(attempts);
        attempts = kLaterWaitAttempts;
        if (status == 0 && packet_[10] == kStateReply) {
            return 0;
        }
        if (status == ErrNoResponse) {
            // Bytes that were no packet (the tail of a reply to an earlier run) used up the
            // attempts: the line is not quiet yet.  Asking now would stack up requests whose
            // replies later reads would take for their own.
            if (huntSkippedBytes_ > 0) {
                DrainInput();
            }
            SendPacket(kStateRequest, 0, nullptr);
            counter = 1;
        } else if (status == 0) {
            counter++;
        } else if (counter >= 2) {
            break;
        } else if (IsChannelFailure(status)) {
            // The line itself failed: an unplugged USB handheld is gone (its removal ends the
            // turn), and a hung-up serial line is not polled at full speed.
            if (pipe_->IsHotPlug()) {
                return status;
            }
            std::this_thread::sleep_for(kChannelFailurePause);
        }
    }
    if (StopRequested()) {
        return PipeAborted;
    }
    Ask("Read Error", ReadErrorText(status, counter));
    return ErrRead;
}

} // namespace ostervane
