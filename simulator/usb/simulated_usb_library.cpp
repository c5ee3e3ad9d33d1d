// SimulatedUsbLibrary: plugging, unplugging, notifications and ports over in-process lines.
#include "simulator/usb/simulated_usb_library.h"

#include <vector>

namespace ostervane::simulator {

SimulatedUsbLibrary::~SimulatedUsbLibrary() {
    std::vector<UsbPortHandle> open;
    {
        std::lock_guard lock(mutex_);
        for (const auto &entry : ports_) {
            open.push_back(entry.first);
        }
    }
    for (UsbPortHandle port : open) {
        ClosePort(port);
    }
}

void SimulatedUsbLibrary::Plug(const std::string &interfaceName, HandheldDebugger &handheld,
                               SimulatedUsbOptions options) {
    {
        std::lock_guard lock(mutex_);
        devices_[interfaceName] = {&handheld, options};
    }
    UsbNotification notification;
    notification.kind = UsbEventKind::Arrival;
    notification.interfaceName = interfaceName;
    Deliver(notification);
}

void SimulatedUsbLibrary::Unplug(const std::string &interfaceName) {
    {
        std::lock_guard lock(mutex_);
        devices_.erase(interfaceName);
        for (auto &entry : ports_) {
            Port &port = *entry.second;
            if (port.interfaceName == interfaceName && !port.gone) {
                port.gone = true;
                port.line->Abort();
            }
        }
    }
    UsbNotification notification;
    notification.kind = UsbEventKind::RemoveComplete;
    notification.interfaceName = interfaceName;
    Deliver(notification);
}

void SimulatedUsbLibrary::Raise(const UsbNotification &notification) {
    Deliver(notification);
}

void SimulatedUsbLibrary::Deliver(const UsbNotification &notification) {
    UsbNotificationSink sink;
    {
        std::lock_guard lock(mutex_);
        sink = sink_;
    }
    if (sink) {
        sink(notification);
    }
}

int SimulatedUsbLibrary::OpenPortCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(ports_.size());
}

int SimulatedUsbLibrary::OpensSoFar() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

bool SimulatedUsbLibrary::Registered() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(sink_);
}

intptr_t SimulatedUsbLibrary::RegisterDeviceInterface(UsbNotificationSink sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
    return 1;
}

void SimulatedUsbLibrary::UnregisterDeviceInterface(intptr_t) {
    std::lock_guard lock(mutex_);
    sink_ = nullptr;
}

bool SimulatedUsbLibrary::IsPalmOsDeviceNotification(const UsbNotification &notification,
                                                     uint32_t creator) {
    std::lock_guard lock(mutex_);
    return creator == kUsbDebuggerCreator && devices_.count(notification.interfaceName) != 0;
}

UsbPortHandle SimulatedUsbLibrary::OpenPort(const std::string &interfaceName, uint32_t creator) {
    std::lock_guard lock(mutex_);
    auto device = devices_.find(interfaceName);
    if (creator != kUsbDebuggerCreator || device == devices_.end() ||
        device->second.options.failOpen) {
        return kUsbNoPort;
    }
    auto port = std::make_shared<Port>();
    port->interfaceName = interfaceName;
    port->handheld = device->second.handheld;
    port->options = device->second.options;
    SimulatedPipeOptions lineOptions;
    lineOptions.displayName = interfaceName;
    lineOptions.deviceName = interfaceName;
    port->line = std::make_unique<SimulatedPipe>(*port->handheld, lineOptions);
    port->line->Open();
    UsbPortHandle handle = nextPort_++;
    ports_[handle] = port;
    ++opens_;
    return handle;
}

int32_t SimulatedUsbLibrary::SetTimeouts(UsbPortHandle handle, uint32_t, uint32_t) {
    std::lock_guard lock(mutex_);
    return ports_.count(handle) != 0 ? 0 : UsbPortClosed;
}

std::shared_ptr<SimulatedUsbLibrary::Port> SimulatedUsbLibrary::BeginTransfer(UsbPortHandle handle,
                                                                              int32_t *status) {
    std::lock_guard lock(mutex_);
    auto found = ports_.find(handle);
    if (found == ports_.end() || found->second->closing) {
        *status = UsbPortClosed;
        return nullptr;
    }
    if (found->second->gone) {
        *status = kDeviceGone;
        return nullptr;
    }
    ++found->second->transfers;
    return found->second;
}

void SimulatedUsbLibrary::EndTransfer(const std::shared_ptr<Port> &port) {
    std::lock_guard lock(mutex_);
    --port->transfers;
    transfersEnded_.notify_all();
}

int32_t SimulatedUsbLibrary::SendBytes(UsbPortHandle handle, const uint8_t *buffer, uint32_t count,
                                       uint32_t *sent) {
    *sent = 0;
    int32_t status = 0;
    std::shared_ptr<Port> port = BeginTransfer(handle, &status);
    if (!port) {
        return status;
    }
    status = port->line->Send(buffer, count, sent);
    EndTransfer(port);
    return status == PipeAborted ? kDeviceGone : status;
}

int32_t SimulatedUsbLibrary::ReceiveBytes(UsbPortHandle handle, uint8_t *buffer, uint32_t count,
                                          uint32_t *received) {
    *received = 0;
    int32_t status = 0;
    std::shared_ptr<Port> port = BeginTransfer(handle, &status);
    if (!port) {
        return status;
    }
    status = port->line->Receive(buffer, count, received);
    if (status == 0 && *received == 0 && port->options.busyWhileRunning &&
        !port->handheld->InDebugger(port->line->Now())) {
        status = UsbHandheldBusy;
    }
    EndTransfer(port);
    return status == PipeAborted ? kDeviceGone : status;
}

// The line is aborted first and the port forgotten only once no transfer uses it.
int32_t SimulatedUsbLibrary::ClosePort(UsbPortHandle handle) {
    std::unique_lock lock(mutex_);
    auto found = ports_.find(handle);
    if (found == ports_.end()) {
        return UsbPortClosed;
    }
    std::shared_ptr<Port> port = found->second;
    port->closing = true;
    port->line->Abort();
    transfersEnded_.wait(lock, [&] { return port->transfers == 0; });
    ports_.erase(handle);
    return 0;
}

} // namespace ostervane::simulator
