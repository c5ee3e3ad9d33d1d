// LibusbPortLibrary: hot-plug notifications, claiming the handheld's interface, asking it for
// its debugger endpoints, and bulk transfers, with every libusb failure turned into a status.
#include "ostervane/platform/usb_port_library_libusb.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "ostervane/platform/usb_connection_info.h"

namespace ostervane {

namespace {
constexpr std::array<uint16_t, 11> kHandheldVendors = {
    0x0830, 0x082D, 0x054C, 0x0C88, 0x12EF, 0x091E, 0x04E8, 0x0502, 0x081E, 0x4766, 0x0E67};
constexpr int kInterface = 0;
constexpr unsigned kControlTimeoutMs = 1000;
constexpr size_t kAnswerSize = 64;
constexpr size_t kReceiveChunk = 4096; // whole bulk packets: a shorter read would overflow
constexpr uint8_t kVendorInRequest = uint8_t(LIBUSB_ENDPOINT_IN) |
                                     uint8_t(LIBUSB_REQUEST_TYPE_VENDOR) |
                                     uint8_t(LIBUSB_RECIPIENT_ENDPOINT);

int32_t LibusbStatus(int error) {
    return error == 0 ? 0 : UsbLibraryErrorBase - error;
}

bool IsHandheldVendor(uint16_t vendor) {
    for (uint16_t known : kHandheldVendors) {
        if (known == vendor) {
            return true;
        }
    }
    return false;
}

// "usb-<bus>-<port>.<port>...": stays the same while the device stays in the same socket.
std::string InterfaceName(libusb_device *device) {
    std::array<uint8_t, 8> path{};
    int depth = libusb_get_port_numbers(device, path.data(), static_cast<int>(path.size()));
    std::string name = "usb-" + std::to_string(libusb_get_bus_number(device)) + "-";
    for (int i = 0; i < depth; ++i) {
        name += (i == 0 ? "" : ".") + std::to_string(path[static_cast<size_t>(i)]);
    }
    return name;
}

std::optional<std::vector<uint8_t>> AskConnectionInfo(libusb_device_handle *handle,
                                                      uint8_t request) {
    std::vector<uint8_t> answer(kAnswerSize);
    int got = libusb_control_transfer(handle, kVendorInRequest, request, 0, 0, answer.data(),
                                      static_cast<uint16_t>(answer.size()), kControlTimeoutMs);
    if (got < 0) {
        return std::nullopt;
    }
    answer.resize(static_cast<size_t>(got));
    return answer;
}

// The four-character answer when the handheld gives a usable one, else the numeric one.
std::optional<UsbDebuggerEndpoints> AskDebuggerEndpoints(libusb_device_handle *handle) {
    auto ext = AskConnectionInfo(handle, kUsbExtConnectionRequest);
    std::optional<std::vector<uint8_t>> plain;
    if (!ext || DecodeExtConnectionInfo(*ext).empty()) {
        plain = AskConnectionInfo(handle, kUsbConnectionRequest);
    }
    std::optional<std::span<const uint8_t>> extAnswer, plainAnswer;
    if (ext) {
        extAnswer = std::span<const uint8_t>(*ext);
    }
    if (plain) {
        plainAnswer = std::span<const uint8_t>(*plain);
    }
    return DebuggerEndpoints(extAnswer, plainAnswer);
}

int HotplugCallback(libusb_context *, libusb_device *device, libusb_hotplug_event event,
                    void *library) {
    static_cast<LibusbPortLibrary *>(library)->OnHotplug(
        device, event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
    return 0;
}
} // namespace

LibusbPortLibrary::LibusbPortLibrary() {
    startStatus_ = LibusbStatus(libusb_init(&context_));
    if (startStatus_ != 0) {
        context_ = nullptr;
    }
}

LibusbPortLibrary::~LibusbPortLibrary() {
    if (registered_) {
        UnregisterDeviceInterface(1);
    }
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
    for (auto &entry : devices_) {
        libusb_unref_device(entry.second);
    }
    if (context_ != nullptr) {
        libusb_exit(context_);
    }
}

intptr_t LibusbPortLibrary::RegisterDeviceInterface(UsbNotificationSink sink) {
    if (context_ == nullptr || registered_ || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
        return 0;
    }
    {
        std::lock_guard lock(mutex_);
        sink_ = std::move(sink);
    }
    // Handhelds already plugged in are reported from inside this call.
    int error = libusb_hotplug_register_callback(
        context_,
        static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        LIBUSB_HOTPLUG_ENUMERATE, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
        LIBUSB_HOTPLUG_MATCH_ANY, &HotplugCallback, this, &hotplugHandle_);
    if (error != LIBUSB_SUCCESS) {
        return 0;
    }
    registered_ = true;
    stopEvents_.store(false);
    eventThread_ = std::thread(&LibusbPortLibrary::EventLoop, this);
    return 1;
}

void LibusbPortLibrary::UnregisterDeviceInterface(intptr_t) {
    if (!registered_) {
        return;
    }
    libusb_hotplug_deregister_callback(context_, hotplugHandle_);
    stopEvents_.store(true);
    if (eventThread_.joinable()) {
        eventThread_.join();
    }
    registered_ = false;
    std::lock_guard lock(mutex_);
    sink_ = nullptr;
}

void LibusbPortLibrary::EventLoop() {
    while (!stopEvents_.load()) {
        timeval tick{0, 200000};
        libusb_handle_events_timeout_completed(context_, &tick, nullptr);
    }
}

void LibusbPortLibrary::OnHotplug(libusb_device *device, bool arrived) {
    std::string name = InterfaceName(device);
    UsbNotificationSink sink;
    {
        std::lock_guard lock(mutex_);
        auto known = devices_.find(name);
        if (arrived) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS ||
                !IsHandheldVendor(descriptor.idVendor) || known != devices_.end()) {
                return;
            }
            devices_[name] = libusb_ref_device(device);
        } else {
            if (known == devices_.end()) {
                return;
            }
            libusb_unref_device(known->second);
            devices_.erase(known);
        }
        sink = sink_;
    }
    if (sink) {
        UsbNotification notification;
        notification.kind = arrived ? UsbEventKind::Arrival : UsbEventKind::RemoveComplete;
        notification.interfaceName = name;
        sink(notification);
    }
}

bool LibusbPortLibrary::IsPalmOsDeviceNotification(const UsbNotification &notification,
                                                   uint32_t creator) {
    std::lock_guard lock(mutex_);
    return creator == kUsbDebuggerCreator && devices_.count(notification.interfaceName) != 0;
}

UsbPortHandle LibusbPortLibrary::OpenPort(const std::string &interfaceName, uint32_t creator) {
    if (creator != kUsbDebuggerCreator) {
        return kUsbNoPort;
    }
    libusb_device *device = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto known = devices_.find(interfaceName);
        if (known == devices_.end()) {
            return kUsbNoPort;
        }
        device = libusb_ref_device(known->second);
    }
    auto port = std::make_shared<Port>();
    int error = libusb_open(device, &port->handle);
    libusb_unref_device(device);
    if (error != LIBUSB_SUCCESS) {
        return kUsbNoPort;
    }
    port->interfaceNumber = kInterface;
    if (libusb_kernel_driver_active(port->handle, kInterface) == 1) {
        port->reattachKernelDriver =
            libusb_detach_kernel_driver(port->handle, kInterface) == LIBUSB_SUCCESS;
    }
    if (libusb_claim_interface(port->handle, kInterface) != LIBUSB_SUCCESS) {
        ReleasePort(*port);
        return kUsbNoPort;
    }
    std::optional<UsbDebuggerEndpoints> endpoints = AskDebuggerEndpoints(port->handle);
    if (!endpoints) {
        ReleasePort(*port);
        return kUsbNoPort;
    }
    port->inEndpoint = endpoints->in;
    port->outEndpoint = endpoints->out;
    std::lock_guard lock(mutex_);
    UsbPortHandle handle = nextPort_++;
    ports_[handle] = port;
    return handle;
}

int32_t LibusbPortLibrary::SetTimeouts(UsbPortHandle handle, uint32_t receiveMs, uint32_t sendMs) {
    std::lock_guard lock(mutex_);
    auto found = ports_.find(handle);
    if (found == ports_.end()) {
        return UsbPortClosed;
    }
    found->second->receiveMs = receiveMs;
    found->second->sendMs = sendMs;
    return 0;
}

std::shared_ptr<LibusbPortLibrary::Port> LibusbPortLibrary::BeginTransfer(UsbPortHandle handle) {
    std::lock_guard lock(mutex_);
    auto found = ports_.find(handle);
    if (found == ports_.end() || found->second->closing) {
        return nullptr;
    }
    ++found->second->transfers;
    return found->second;
}

void LibusbPortLibrary::EndTransfer(const std::shared_ptr<Port> &port) {
    std::lock_guard lock(mutex_);
    --port->transfers;
    transfersEnded_.notify_all();
}

int32_t LibusbPortLibrary::SendBytes(UsbPortHandle handle, const uint8_t *buffer, uint32_t count,
                                     uint32_t *sent) {
    *sent = 0;
    std::shared_ptr<Port> port = BeginTransfer(handle);
    if (!port) {
        return UsbPortClosed;
    }
    int done = 0;
    int error = libusb_bulk_transfer(port->handle, port->outEndpoint, const_cast<uint8_t *>(buffer),
                                     static_cast<int>(count), &done, port->sendMs);
    EndTransfer(port);
    *sent = static_cast<uint32_t>(done);
    return error == LIBUSB_ERROR_TIMEOUT ? 0 : LibusbStatus(error);
}

int32_t LibusbPortLibrary::ReceiveBytes(UsbPortHandle handle, uint8_t *buffer, uint32_t count,
                                        uint32_t *received) {
    *received = 0;
    std::shared_ptr<Port> port = BeginTransfer(handle);
    if (!port) {
        return UsbPortClosed;
    }
    int32_t status = 0;
    if (port->pending.empty()) {
        std::vector<uint8_t> chunk(kReceiveChunk);
        int done = 0;
        int error = libusb_bulk_transfer(port->handle, port->inEndpoint, chunk.data(),
                                         static_cast<int>(chunk.size()), &done, port->receiveMs);
        status = error == LIBUSB_ERROR_TIMEOUT ? 0 : LibusbStatus(error);
        port->pending.insert(port->pending.end(), chunk.begin(), chunk.begin() + done);
    }
    size_t take = std::min<size_t>(count, port->pending.size());
    std::copy_n(port->pending.begin(), take, buffer);
    port->pending.erase(port->pending.begin(), port->pending.begin() + static_cast<long>(take));
    *received = static_cast<uint32_t>(take);
    EndTransfer(port);
    return status;
}

// A transfer under way ends within its time-out (at once when the handheld is gone); the port
// is released only after it has.
int32_t LibusbPortLibrary::ClosePort(UsbPortHandle handle) {
    std::shared_ptr<Port> port;
    {
        std::unique_lock lock(mutex_);
        auto found = ports_.find(handle);
        if (found == ports_.end()) {
            return UsbPortClosed;
        }
        port = found->second;
        port->closing = true;
        transfersEnded_.wait(lock, [&] { return port->transfers == 0; });
        ports_.erase(handle);
    }
    ReleasePort(*port);
    return 0;
}

void LibusbPortLibrary::ReleasePort(Port &port) {
    if (port.handle == nullptr) {
        return;
    }
    libusb_release_interface(port.handle, port.interfaceNumber);
    if (port.reattachKernelDriver) {
        libusb_attach_kernel_driver(port.handle, port.interfaceNumber);
    }
    libusb_close(port.handle);
    port.handle = nullptr;
}

} // namespace ostervane
