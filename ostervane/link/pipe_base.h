// PipeBase: one byte channel to one handheld (a serial port, a USB attachment, or a simulated
// handheld), with the guard sequence every transfer passes and the events a pipe raises.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace ostervane {

// Events a pipe raises through its handler.
enum PipeEvent : uint32_t {
    PipeOpened = 1,
    PipeClosed = 2,
    PipeError = 4, // data: const uint16_t *, the error code (16: the port cannot be opened)
};

// Statuses of this layer; any other non-zero value comes from the channel itself.
enum PipeStatus : int32_t {
    PipeNoHandler = 770,
    PipeNotOpen = 774, // a zero handle
    PipeBusy = 776,    // a transfer is already under way on this pipe
    PipeAborted = 777, // the abort flag is set
};

inline constexpr uint16_t kPortBusyCode = 16;

// Receives a pipe's events: (event, data, extra argument, context) -> status.
using PipeEventHandler = int32_t (*)(uint32_t event, const void *data, uint32_t extra,
                                     void *context);

class PipeBase {
public:
    static constexpr uint32_t kOptionFlag = 0x1;
    static constexpr uint32_t kOpenFlag = 0x2;
    static constexpr intptr_t kClosedHandle = -1;

    PipeBase(PipeEventHandler handler, void *context);
    virtual ~PipeBase() = default;
    PipeBase(const PipeBase &) = delete;
    PipeBase &operator=(const PipeBase &) = delete;

    // Calls the handler with the pipe's context; 770 without a handler.
    int32_t Notify(uint32_t event, const void *data, uint32_t extra);
    void SetEventHandler(PipeEventHandler handler, void *context);

    virtual int32_t Configure(uint32_t value) = 0;
    virtual int32_t IsOpen(bool *open);

    // The guard sequence, then the channel: count set to 0; 776 while a transfer is under way,
    // 777 when aborted, 774 for a zero handle, 0 at once for a zero count; otherwise the
    // channel's transfer of at most `count` bytes (fewer, even none, when its time-out ends).
    int32_t Receive(uint8_t *buffer, uint32_t count, uint32_t *received);
    int32_t Send(const uint8_t *buffer, uint32_t count, uint32_t *sent);

    virtual int32_t Reserved() { return 0; }
    virtual int32_t Close() = 0;
    const std::string &GetName() const { return displayName_; }
    virtual bool IsHotPlug() const = 0;
    virtual uint32_t GetMaxBaudRate() = 0;
    virtual void SetMaxBaudRate(uint32_t rate) = 0;

    // Makes every transfer, also one under way, end at once with 777; used when the window closes.
    void Abort();
    bool IsAborted() const { return abortFlag_.load() != 0; }

    const std::string &DeviceName() const { return deviceName_; }
    uint32_t Flags() const { return flags_.load(); }

protected:
    // The channel's own transfer; called with busyCount raised.
    virtual int32_t ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) = 0;
    virtual int32_t SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) = 0;

    void SetOpenFlag(bool open);

    std::atomic<uint32_t> flags_{0};
    PipeEventHandler eventHandler_;
    void *eventContext_;
    std::atomic<uint32_t> abortFlag_{0};

    intptr_t readHandle_ = kClosedHandle;
    intptr_t writeHandle_ = kClosedHandle;
    int32_t busyCount_ = 0;
    std::string deviceName_;
    std::string displayName_;

private:
    template <typename Transfer>
    int32_t Guarded(uint32_t count, uint32_t *transferred, Transfer transfer);
};

} // namespace ostervane
