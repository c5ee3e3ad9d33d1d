// USBPipe: attaching, opening, detaching and the transfers of a pipe over the USB library.
#include "ostervane/link/usb_pipe.h"

namespace ostervane {

std::atomic<int> USBPipe::liveCount_{0};

USBPipe::USBPipe(UsbPortLibrary &library, uint32_t position, uint32_t option,
                 PipeEventHandler handler, void *context)
    : PipeBase(handler, context), library_(library) {
    displayName_ = "USB " + std::to_string(position + 1);
    if (option != 0) {
        flags_.fetch_or(kOptionFlag);
    }
    liveCount_.fetch_add(1);
}

USBPipe::~USBPipe() {
    port_.store(kUsbNoPort);
    liveCount_.fetch_sub(1);
}

void USBPipe::Attach(const std::string &interfaceName) {
    if ((Flags() & kOpenFlag) != 0) {
        return;
    }
    deviceName_ = interfaceName;
    if (deviceName_.empty()) {
        return;
    }
    if (hadTurn_ && waitForTurnEnd_) {
        waitForTurnEnd_();
    }
    if (OpenPort() != 0) {
        return;
    }
    hadTurn_ = true;
    if ((Flags() & kOptionFlag) != 0) {
        Configure(1);
    }
    Notify(PipeOpened, nullptr, 0);
}

void USBPipe::Detach() {
    bool wasOpen = (Flags() & kOpenFlag) != 0;
    ClosePort();
    if (wasOpen) {
        Notify(PipeClosed, nullptr, 0);
    }
    deviceName_.clear();
}

int32_t USBPipe::OpenPort() {
    if ((Flags() & kOpenFlag) != 0) {
        return 0;
    }
    UsbPortHandle port = library_.OpenPort(deviceName_, kUsbDebuggerCreator);
    if (port == kUsbNoPort) {
        port_.store(kUsbNoPort);
        SetOpenFlag(false);
        return 1;
    }
    port_.store(port);
    SetOpenFlag(true);
    (void)library_.SetTimeouts(port, kUsbTimeoutMs, kUsbTimeoutMs);
    return 0;
}

void USBPipe::ClosePort() {
    UsbPortHandle port = port_.exchange(kUsbNoPort);
    if (port != kUsbNoPort) {
        library_.ClosePort(port);
    }
    SetOpenFlag(false);
}

int32_t USBPipe::ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) {
    return library_.ReceiveBytes(port_.load(), buffer, count, received);
}

int32_t USBPipe::SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) {
    return library_.SendBytes(port_.load(), buffer, count, sent);
}

} // namespace ostervane
