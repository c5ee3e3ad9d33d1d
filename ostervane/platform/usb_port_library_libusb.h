// LibusbPortLibrary: the USB port library on libusb-1.0 for Linux.  Handhelds of the Palm OS
// makers' vendor ids are reported as they come and go (named by bus and port path), and a
// port is the debugger's bulk endpoint pair on the handheld's first interface.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ostervane/link/usb_port_library.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace ostervane {

class LibusbPortLibrary : public UsbPortLibrary {
public:
    LibusbPortLibrary();
    ~LibusbPortLibrary() override; // closes every port and stops the event thread
    LibusbPortLibrary(const LibusbPortLibrary &) = delete;
    LibusbPortLibrary &operator=(const LibusbPortLibrary &) = delete;

    // 0, or the status of a failed libusb start (every other call then fails with it).
    int32_t StartStatus() const { return startStatus_; }

    intptr_t RegisterDeviceInterface(UsbNotificationSink sink) override;
    void UnregisterDeviceInterface(intptr_t registration) override;
    bool IsPalmOsDeviceNotification(const UsbNotification &notification, uint32_t creator) override;
    UsbPortHandle OpenPort(const std::string &interfaceName, uint32_t creator) override;
    int32_t SetTimeouts(UsbPortHandle port, uint32_t receiveMs, uint32_t sendMs) override;
    int32_t SendBytes(UsbPortHandle port, const uint8_t *buffer, uint32_t count,
                      uint32_t *sent) override;
    int32_t ReceiveBytes(UsbPortHandle port, uint8_t *buffer, uint32_t count,
                         uint32_t *received) override;
    int32_t ClosePort(UsbPortHandle port) override;

    // Called on libusb's event thread.
    void OnHotplug(libusb_device *device, bool arrived);

private:
    struct Port {
        libusb_device_handle *handle = nullptr;
        int interfaceNumber = 0;
        bool reattachKernelDriver = false;
        uint8_t inEndpoint = 0;
        uint8_t outEndpoint = 0;
        unsigned receiveMs = kUsbTimeoutMs;
        unsigned sendMs = kUsbTimeoutMs;
        int transfers = 0; // under way; guarded by the library's mutex
        bool closing = false;
        std::vector<uint8_t> pending; // received beyond what the job asked for; job thread only
    };

    std::shared_ptr<Port> BeginTransfer(UsbPortHandle port);
    void EndTransfer(const std::shared_ptr<Port> &port);
    int32_t Transfer(UsbPortHandle port, uint8_t endpoint, uint8_t *buffer, uint32_t count,
                     uint32_t *done, bool receiving);
    void ReleasePort(Port &port);
    void EventLoop();

    libusb_context *context_ = nullptr;
    int32_t startStatus_ = 0;
    std::mutex mutex_;
    std::condition_variable transfersEnded_;
    std::map<std::string, libusb_device *> devices_; // referenced while plugged in
    std::map<UsbPortHandle, std::shared_ptr<Port>> ports_;
    UsbPortHandle nextPort_ = 1;
    UsbNotificationSink sink_;
    int hotplugHandle_ = 0;
    bool registered_ = false;
    std::atomic<bool> stopEvents_{false};
    std::thread eventThread_;
};

} // namespace ostervane
