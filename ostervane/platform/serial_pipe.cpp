// SerialPipe: opening, set-up, transfers and closing of a pipe over a serial port.
#include "ostervane/platform/serial_pipe.h"

#include <cerrno>

namespace ostervane {

SerialPipe::SerialPipe(const std::string &devicePath, const std::string &displayName,
                       uint32_t option, PipeEventHandler handler, void *context, PortClock &clock)
    : PipeBase(handler, context), port_(clock) {
    deviceName_ = devicePath;
    displayName_ = displayName;
    if (option != 0) {
        flags_.fetch_or(kOptionFlag);
    }
}

SerialPipe::~SerialPipe() {
    CloseHandles();
}

void SerialPipe::Start() {
    if ((Flags() & kOpenFlag) != 0 || deviceName_.empty()) {
        return;
    }
    if (Open() != 0) {
        uint16_t code = kPortBusyCode;
        Notify(PipeError, &code, 0);
        return;
    }
    if ((Flags() & kOptionFlag) != 0) {
        Configure(1);
    }
    Notify(PipeOpened, nullptr, 0);
}

int32_t SerialPipe::Open() {
    if ((Flags() & kOpenFlag) != 0) {
        return 0;
    }
    lastOpenError_ = port_.Open(deviceName_);
    if (lastOpenError_ != 0) {
        CloseHandles();
        return 1;
    }
    readHandle_ = writeHandle_ = port_.Fd();
    SetOpenFlag(true);
    // The time-outs are the port's defaults; a failed purge is as harmless as stale input.
    (void)port_.PurgeInput();
    lastOpenError_ = port_.ApplyLineSettings(kLineRate);
    return lastOpenError_ == 0 ? 0 : 1;
}

int32_t SerialPipe::Configure(uint32_t) {
    return 0;
}

int32_t SerialPipe::Close() {
    bool wasOpen = (Flags() & kOpenFlag) != 0;
    CloseHandles();
    if (wasOpen) {
        Notify(PipeClosed, nullptr, 0);
    }
    return 0;
}

void SerialPipe::SetMaxBaudRate(uint32_t) {
    if (port_.IsOpen()) {
        (void)port_.SetBaudRate(kMaxRate);
    }
}

void SerialPipe::CloseHandles() {
    port_.Close();
    readHandle_ = writeHandle_ = kClosedHandle;
    SetOpenFlag(false);
}

int32_t SerialPipe::TransferStatus(int error) const {
    return error == ECANCELED ? PipeAborted : error;
}

int32_t SerialPipe::ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) {
    size_t got = 0;
    int error = port_.Read(buffer, count, &got, [this] { return IsAborted(); });
    *received = static_cast<uint32_t>(got);
    return TransferStatus(error);
}

int32_t SerialPipe::SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) {
    size_t put = 0;
    int error = port_.Write(buffer, count, &put, [this] { return IsAborted(); });
    *sent = static_cast<uint32_t>(put);
    return TransferStatus(error);
}

} // namespace ostervane
