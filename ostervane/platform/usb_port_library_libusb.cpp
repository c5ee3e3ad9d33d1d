// LibusbPortLibrary: hot-plug notifications for the handhelds of the table, the probe that
// decides whether a handheld may be taken and whether it sits in its debugger, and bulk
// transfers, with every libusb failure turned into a status.
#include "ostervane/platform/usb_port_library_libusb.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>

#include "ostervane/core/usb_handhelds.h"
#include "ostervane/platform/usb_connection_info.h"
#include "ostervane/platform/usb_kernel_driver.h"

namespace ostervane {

namespace {
constexpr uint8_t kVendorSpecificClass = 0xFF;
constexpr unsigned kControlTimeoutMs = 1000;
constexpr size_t kAnswerSize = 64;
constexpr size_t kReceiveChunk = 4096; // whole bulk packets: a shorter read would overflow
constexpr uint8_t kVendorInRequest = uint8_t(LIBUSB_ENDPOINT_IN) |
                                     uint8_t(LIBUSB_REQUEST_TYPE_VENDOR) |
                                     uint8_t(LIBUSB_RECIPIENT_ENDPOINT);
// A device is reported before its interfaces are in sysfs and their drivers bound: the probe
// waits for the interface, then a moment for the driver.
constexpr auto kInterfaceWait = std::chrono::seconds(2);
constexpr auto kSysfsPoll = std::chrono::milliseconds(50);
constexpr auto kDriverSettle = std::chrono::milliseconds(100);

int32_t LibusbStatus(int error) {
    return error == 0 ? 0 : UsbLibraryErrorBase - error;
}

std::vector<uint8_t> PortPath(libusb_device *device) {
    std::array<uint8_t, 8> path{};
    int depth = libusb_get_port_numbers(device, path.data(), static_cast<int>(path.size()));
    return {path.begin(), path.begin() + std::max(depth, 0)};
}

// "usb-<bus>-<port>.<port>...": stays the same while the device stays in the same socket.
std::string InterfaceName(libusb_device *device) {
    std::vector<uint8_t> path = PortPath(device);
    std::string name = "usb-" + std::to_string(libusb_get_bus_number(device)) + "-";
    for (size_t i = 0; i < path.size(); ++i) {
        name += (i == 0 ? "" : ".") + std::to_string(path[i]);
    }
    return name;
}

std::string Describe(const UsbHandheld &model, const std::string &name) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", model.vendorId, model.productId);
    return "USB " + name + " (" + model.maker + " " + model.name + ", " + ids + ")";
}

std::string ErrorText(int error) {
    return libusb_error_name(error);
}

struct HandheldInterface {
    uint8_t configuration = 0;
    uint8_t number = 0;
};

// The first vendor-specific interface of the active configuration: the one that carries the
// handheld's debugger and sync functions.
std::optional<HandheldInterface> FindHandheldInterface(libusb_device *device) {
    libusb_config_descriptor *config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS) {
        return std::nullopt;
    }
    std::optional<HandheldInterface> found;
    for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
        const libusb_interface &interface = config->interface[i];
        if (interface.num_altsetting > 0 &&
            interface.altsetting[0].bInterfaceClass == kVendorSpecificClass) {
            found = HandheldInterface{config->bConfigurationValue,
                                      interface.altsetting[0].bInterfaceNumber};
        }
    }
    libusb_free_config_descriptor(config);
    return found;
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

void LIBUSB_CALL TransferEnded(libusb_transfer *transfer) {
    *static_cast<int *>(transfer->user_data) = 1;
}

int32_t TransferStatus(libusb_transfer_status status, bool closing) {
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
    case LIBUSB_TRANSFER_TIMED_OUT:
        return 0;
    case LIBUSB_TRANSFER_CANCELLED:
        return closing ? UsbPortClosed : LibusbStatus(LIBUSB_ERROR_INTERRUPTED);
    case LIBUSB_TRANSFER_NO_DEVICE:
        return LibusbStatus(LIBUSB_ERROR_NO_DEVICE);
    case LIBUSB_TRANSFER_STALL:
        return LibusbStatus(LIBUSB_ERROR_PIPE);
    case LIBUSB_TRANSFER_OVERFLOW:
        return LibusbStatus(LIBUSB_ERROR_OVERFLOW);
    default:
        return LibusbStatus(LIBUSB_ERROR_IO);
    }
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
    UnregisterDeviceInterface(1);
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
    if (context_ != nullptr) {
        libusb_exit(context_);
    }
}

void LibusbPortLibrary::SetLog(UsbLogSink sink) {
    std::lock_guard lock(logMutex_);
    log_ = std::move(sink);
}

void LibusbPortLibrary::Log(const std::string &text) {
    std::lock_guard lock(logMutex_);
    if (log_) {
        log_(text);
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
    stopWorker_ = false;
    worker_ = std::thread(&LibusbPortLibrary::WorkerLoop, this);
    // Devices already plugged in are reported from inside this call.
    int error = libusb_hotplug_register_callback(
        context_,
        static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        LIBUSB_HOTPLUG_ENUMERATE, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
        LIBUSB_HOTPLUG_MATCH_ANY, &HotplugCallback, this, &hotplugHandle_);
    if (error != LIBUSB_SUCCESS) {
        StopThreads();
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
    registered_ = false;
    StopThreads();
    std::map<std::string, Device> devices;
    {
        std::lock_guard lock(mutex_);
        sink_ = nullptr;
        devices.swap(devices_);
    }
    for (auto &entry : devices) {
        if (entry.second.ready) {
            ReleasePort(*entry.second.ready);
        }
        libusb_unref_device(entry.second.device);
    }
}

// The event thread goes first, so that no hot-plug callback posts work to a stopped worker;
// the worker then finishes what it was given (probes see the stop and give up).
void LibusbPortLibrary::StopThreads() {
    stopEvents_.store(true);
    if (eventThread_.joinable()) {
        eventThread_.join();
    }
    {
        std::lock_guard lock(workMutex_);
        stopWorker_ = true;
    }
    workToDo_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void LibusbPortLibrary::EventLoop() {
    while (!stopEvents_.load()) {
        timeval tick{0, 200000};
        libusb_handle_events_timeout_completed(context_, &tick, nullptr);
    }
}

void LibusbPortLibrary::Post(std::function<void()> task) {
    {
        std::lock_guard lock(workMutex_);
        work_.push_back(std::move(task));
    }
    workToDo_.notify_all();
}

void LibusbPortLibrary::WorkerLoop() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(workMutex_);
            workToDo_.wait(lock, [this] { return stopWorker_ || !work_.empty(); });
            if (work_.empty()) {
                return;
            }
            task = std::move(work_.front());
            work_.pop_front();
        }
        task();
    }
}

// Devices not in the table are never looked at again: not opened, not claimed, not reported.
void LibusbPortLibrary::OnHotplug(libusb_device *device, bool arrived) {
    std::string name = InterfaceName(device);
    if (arrived) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) {
            return;
        }
        const UsbHandheld *model = FindUsbHandheld(descriptor.idVendor, descriptor.idProduct);
        if (model == nullptr) {
            return;
        }
        uint64_t arrival = 0;
        {
            std::lock_guard lock(mutex_);
            if (devices_.count(name) != 0) {
                return;
            }
            arrival = nextArrival_++;
            devices_[name] = Device{libusb_ref_device(device), model, arrival, false, nullptr};
        }
        Post([this, name, arrival] { ProbeArrival(name, arrival); });
        return;
    }
    Device gone;
    UsbNotificationSink sink;
    {
        std::lock_guard lock(mutex_);
        auto known = devices_.find(name);
        if (known == devices_.end()) {
            return;
        }
        gone = known->second;
        devices_.erase(known);
        if (gone.reported) {
            sink = sink_;
        }
    }
    libusb_unref_device(gone.device);
    if (gone.ready) {
        Post([this, port = gone.ready] { ReleasePort(*port); });
    }
    if (sink) {
        UsbNotification notification;
        notification.kind = UsbEventKind::RemoveComplete;
        notification.interfaceName = name;
        sink(notification);
    }
}

// Worker thread.  The arrival is reported only if the device is still the one probed.
void LibusbPortLibrary::ProbeArrival(const std::string &name, uint64_t arrival) {
    libusb_device *device = nullptr;
    const UsbHandheld *model = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto known = devices_.find(name);
        if (known == devices_.end() || known->second.arrival != arrival) {
            return;
        }
        device = libusb_ref_device(known->second.device);
        model = known->second.model;
    }
    std::shared_ptr<Port> port = Probe(device, *model, name);
    libusb_unref_device(device);
    if (!port) {
        return;
    }
    UsbNotificationSink sink;
    {
        std::lock_guard lock(mutex_);
        auto known = devices_.find(name);
        if (known != devices_.end() && known->second.arrival == arrival && sink_) {
            known->second.ready = port;
            known->second.reported = true;
            sink = sink_;
        }
    }
    if (!sink) {
        ReleasePort(*port);
        return;
    }
    UsbNotification notification;
    notification.kind = UsbEventKind::Arrival;
    notification.interfaceName = name;
    sink(notification);
}

std::shared_ptr<LibusbPortLibrary::Port>
LibusbPortLibrary::Probe(libusb_device *device, const UsbHandheld &model, const std::string &name) {
    std::string who = Describe(model, name);
    std::optional<HandheldInterface> interface = FindHandheldInterface(device);
    if (!interface) {
        Log(who + " has no vendor-specific interface; left alone");
        return nullptr;
    }
    std::vector<uint8_t> path = PortPath(device);
    std::string sysfsName = UsbInterfaceSysfsName(libusb_get_bus_number(device), path,
                                                  interface->configuration, interface->number);
    std::optional<std::string> driver = BoundKernelDriver(sysfsName);
    auto deadline = std::chrono::steady_clock::now() + kInterfaceWait;
    while (!driver && std::chrono::steady_clock::now() < deadline && !stopWorker_) {
        std::this_thread::sleep_for(kSysfsPoll);
        driver = BoundKernelDriver(sysfsName);
    }
    if (!driver) {
        Log(who + ": its interface " + sysfsName + " is not in sysfs; left alone");
        return nullptr;
    }
    std::this_thread::sleep_for(kDriverSettle);
    driver = BoundKernelDriver(sysfsName);
    if (driver && !driver->empty() && !IsHandheldSerialDriver(*driver)) {
        Log(who + ": its interface is held by the " + *driver + " driver; left alone");
        return nullptr;
    }
    if (stopWorker_) {
        return nullptr;
    }
    auto port = std::make_shared<Port>();
    port->description = who;
    port->interfaceNumber = interface->number;
    int error = libusb_open(device, &port->handle);
    if (error != LIBUSB_SUCCESS) {
        port->handle = nullptr;
        Log(who + " cannot be opened (" + ErrorText(error) + ")" +
            (error == LIBUSB_ERROR_ACCESS ? "; is the udev rule for handhelds installed?" : ""));
        return nullptr;
    }
    if (driver && !driver->empty()) {
        error = libusb_detach_kernel_driver(port->handle, interface->number);
        if (error != LIBUSB_SUCCESS && error != LIBUSB_ERROR_NOT_FOUND) {
            Log(who + ": the " + *driver + " driver could not be detached (" + ErrorText(error) +
                ")");
            ReleasePort(*port);
            return nullptr;
        }
        port->reattachKernelDriver = error == LIBUSB_SUCCESS;
    }
    error = libusb_claim_interface(port->handle, interface->number);
    if (error != LIBUSB_SUCCESS) {
        Log(who + ": its interface could not be claimed (" + ErrorText(error) + ")");
        ReleasePort(*port);
        return nullptr;
    }
    port->claimed = true;
    std::optional<UsbDebuggerEndpoints> endpoints = AskDebuggerEndpoints(port->handle);
    if (!endpoints) {
        Log(who + " offers no debugger port; is it sitting in its debugger?");
        ReleasePort(*port);
        return nullptr;
    }
    port->inEndpoint = endpoints->in;
    port->outEndpoint = endpoints->out;
    return port;
}

bool LibusbPortLibrary::IsPalmOsDeviceNotification(const UsbNotification &notification,
                                                   uint32_t creator) {
    std::lock_guard lock(mutex_);
    auto known = devices_.find(notification.interfaceName);
    return creator == kUsbDebuggerCreator && known != devices_.end() && known->second.reported;
}

// The port was opened and claimed by the probe; opening hands it over.
UsbPortHandle LibusbPortLibrary::OpenPort(const std::string &interfaceName, uint32_t creator) {
    if (creator != kUsbDebuggerCreator) {
        return kUsbNoPort;
    }
    std::lock_guard lock(mutex_);
    auto known = devices_.find(interfaceName);
    if (known == devices_.end() || !known->second.ready) {
        return kUsbNoPort;
    }
    UsbPortHandle handle = nextPort_++;
    ports_[handle] = std::move(known->second.ready);
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
    int32_t status = Transfer(*port, port->outEndpoint, const_cast<uint8_t *>(buffer),
                              static_cast<int>(count), port->sendMs, &done);
    EndTransfer(port);
    *sent = static_cast<uint32_t>(done);
    return status;
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
        status = Transfer(*port, port->inEndpoint, chunk.data(), static_cast<int>(chunk.size()),
                          port->receiveMs, &done);
        port->pending.insert(port->pending.end(), chunk.begin(), chunk.begin() + done);
    }
    size_t take = std::min<size_t>(count, port->pending.size());
    std::copy_n(port->pending.begin(), take, buffer);
    port->pending.erase(port->pending.begin(), port->pending.begin() + static_cast<long>(take));
    *received = static_cast<uint32_t>(take);
    EndTransfer(port);
    return status;
}

// One bulk transfer, which ClosePort can end early: the port knows it while it is under way.
// A time-out is no failure: the bytes moved before it count.  An ended transfer reports the
// port closed.
int32_t LibusbPortLibrary::Transfer(Port &port, uint8_t endpoint, uint8_t *buffer, int length,
                                    unsigned timeoutMs, int *done) {
    *done = 0;
    libusb_transfer *transfer = libusb_alloc_transfer(0);
    if (transfer == nullptr) {
        return LibusbStatus(LIBUSB_ERROR_NO_MEM);
    }
    int completed = 0;
    libusb_fill_bulk_transfer(transfer, port.handle, endpoint, buffer, length, &TransferEnded,
                              &completed, timeoutMs);
    {
        std::lock_guard lock(mutex_);
        if (port.closing) {
            libusb_free_transfer(transfer);
            return UsbPortClosed;
        }
        port.active = transfer;
    }
    int error = libusb_submit_transfer(transfer);
    if (error == LIBUSB_SUCCESS) {
        {
            std::lock_guard lock(mutex_);
            if (port.closing) {
                libusb_cancel_transfer(transfer); // the close came before the submission
            }
        }
        WaitForTransfer(transfer, &completed);
    }
    bool closing = false;
    {
        std::lock_guard lock(mutex_);
        port.active = nullptr;
        closing = port.closing;
    }
    int32_t status = error != LIBUSB_SUCCESS ? LibusbStatus(error)
                                             : TransferStatus(transfer->status, closing);
    *done = error == LIBUSB_SUCCESS ? transfer->actual_length : 0;
    libusb_free_transfer(transfer);
    return status;
}

// Whichever thread handles libusb's events runs the completion; this one takes its turn at
// handling them until its transfer has ended.
void LibusbPortLibrary::WaitForTransfer(libusb_transfer *transfer, int *completed) {
    while (*completed == 0) {
        int error = libusb_handle_events_completed(context_, completed);
        if (error < 0 && error != LIBUSB_ERROR_INTERRUPTED) {
            libusb_cancel_transfer(transfer);
        }
    }
}

// A transfer under way is ended at once; the port is released only after it has.
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
        if (port->active != nullptr) {
            libusb_cancel_transfer(port->active);
        }
        transfersEnded_.wait(lock, [&] { return port->transfers == 0; });
        ports_.erase(handle);
    }
    ReleasePort(*port);
    return 0;
}

// Gives the interface back to the driver it was taken from; a handheld that is gone takes
// its driver back by itself when it comes again.
void LibusbPortLibrary::ReleasePort(Port &port) {
    if (port.handle == nullptr) {
        return;
    }
    if (port.claimed) {
        libusb_release_interface(port.handle, port.interfaceNumber);
        port.claimed = false;
    }
    if (port.reattachKernelDriver) {
        int error = libusb_attach_kernel_driver(port.handle, port.interfaceNumber);
        if (error != LIBUSB_SUCCESS && error != LIBUSB_ERROR_NO_DEVICE) {
            Log(port.description + ": its driver could not be attached again (" + ErrorText(error) +
                ")");
        }
        port.reattachKernelDriver = false;
    }
    libusb_close(port.handle);
    port.handle = nullptr;
}

} // namespace ostervane
