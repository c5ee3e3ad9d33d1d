// Fuzz target: arbitrary bytes arriving from a handheld are read as debugger packets.  Whatever
// comes, receiving must neither crash nor touch memory outside the packet buffer, and an accepted
// packet must be well formed.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ostervane/link/debug_packet.h"

namespace {

// Serves the input in pieces whose sizes the input itself chooses; empty reads when it runs out.
class ScriptedPipe : public ostervane::PipeBase {
public:
    ScriptedPipe(const uint8_t *data, size_t size)
        : PipeBase(nullptr, nullptr), data_(data), size_(size) {
        readHandle_ = writeHandle_ = 1;
    }
    bool Exhausted() const { return pos_ >= size_; }
    int32_t Configure(uint32_t) override { return 0; }
    int32_t Close() override { return 0; }
    bool IsHotPlug() const override { return false; }
    uint32_t GetMaxBaudRate() override { return 115200; }
    void SetMaxBaudRate(uint32_t) override {}

protected:
    int32_t ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) override {
        size_t n = std::min<size_t>(count, size_ - pos_);
        if (n > 0 && pos_ % 7 == 3) {
            n = 1; // split some reads to exercise the refill loops
        }
        std::memcpy(buffer, data_ + pos_, n);
        pos_ += n;
        *received = static_cast<uint32_t>(n);
        return 0;
    }
    int32_t SendBytes(const uint8_t *, uint32_t count, uint32_t *sent) override {
        *sent = count;
        return 0;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ScriptedPipe pipe(data, size);
    ostervane::DebugPacket job(ostervane::JobSettings{});
    job.AttachPipe(&pipe);
    for (int round = 0; round < 64 && !pipe.Exhausted(); round++) {
        if (job.ReceivePacket(5) == 0) {
            uint16_t bodySize;
            std::memcpy(&bodySize, job.Packet() + 6, sizeof bodySize);
            if (bodySize < ostervane::debugger::kMinBodySize ||
                bodySize > ostervane::debugger::kMaxBodySize) {
                std::abort();
            }
        }
    }
    return 0;
}
