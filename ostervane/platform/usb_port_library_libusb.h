// LibusbPortLibrary: the USB port library on libusb-1.0 for Linux.
//
// Only devices of the table of handhelds (ostervane/core/usb_handhelds.h) are ever touched.
// When one arrives (or is present at registration), a worker thread looks at the interface
// that carries its functions (the first vendor-specific one): a device whose interface is held
// by a kernel driver other than the handheld serial drivers is left alone, with a log line;
// otherwise it is opened, the serial driver (if bound) detached, the interface claimed, and
// the handheld asked for its connection information.  Only a handheld that names a debugger
// port is reported as an arrival (named by bus and port path), with its port ready for
// OpenPort.  Closing a port releases the interface and gives back the driver it was taken
// from; so does an arrival that comes to nothing, the handheld's removal before its port was
// opened, and the library's end.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
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
struct libusb_transfer;

namespace ostervane {

struct UsbHandheld;

class LibusbPortLibrary : public UsbPortLibrary {
public:
    LibusbPortLibrary();
    ~LibusbPortLibrary() override; // closes every port and stops the event and worker threads
    LibusbPortLibrary(const LibusbPortLibrary &) = delete;
    LibusbPortLibrary &operator=(const LibusbPortLibrary &) = delete;

    // 0, or the status of a failed libusb start (every other call then fails with it).
    int32_t StartStatus() const { return startStatus_; }

    void SetLog(UsbLogSink sink) override;
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
        std::string description; // names the handheld in log lines
        libusb_device_handle *handle = nullptr;
        int interfaceNumber = 0;
        bool claimed = false;
        bool reattachKernelDriver = false;
        uint8_t inEndpoint = 0;
        uint8_t outEndpoint = 0;
        unsigned receiveMs = kUsbTimeoutMs;
        unsigned sendMs = kUsbTimeoutMs;
        int transfers = 0; // under way; guarded by the library's mutex
        bool closing = false;
        libusb_transfer *active = nullptr; // the transfer ClosePort ends; the mutex guards it
        std::vector<uint8_t> pending; // received beyond what the job asked for; job thread only
    };
    // A handheld of the table while it is plugged in.
    struct Device {
        libusb_device *device = nullptr; // referenced
        const UsbHandheld *model = nullptr;
        uint64_t arrival = 0;        // tells a probe's device from a later one in its socket
        bool reported = false;       // its arrival went to the sink
        std::shared_ptr<Port> ready; // probed and claimed, until OpenPort takes it
    };

    std::shared_ptr<Port> Probe(libusb_device *device, const UsbHandheld &model,
                                const std::string &name);
    void ProbeArrival(const std::string &name, uint64_t arrival);
    void Post(std::function<void()> task);
    void WorkerLoop();
    void StopThreads();
    void Log(const std::string &text);

    std::shared_ptr<Port> BeginTransfer(UsbPortHandle port);
    void EndTransfer(const std::shared_ptr<Port> &port);
    int32_t Transfer(Port &port, uint8_t endpoint, uint8_t *buffer, int length, unsigned timeoutMs,
                     int *done);
    void WaitForTransfer(libusb_transfer *transfer, int *completed);
    void ReleasePort(Port &port);
    void EventLoop();

    libusb_context *context_ = nullptr;
    int32_t startStatus_ = 0;
    std::mutex mutex_;
    std::condition_variable transfersEnded_;
    std::map<std::string, Device> devices_;
    uint64_t nextArrival_ = 1;
    std::map<UsbPortHandle, std::shared_ptr<Port>> ports_;
    UsbPortHandle nextPort_ = 1;
    UsbNotificationSink sink_;
    int hotplugHandle_ = 0;
    bool registered_ = false;
    std::atomic<bool> stopEvents_{false};
    std::thread eventThread_;

    // Probing and releasing run on the worker: libusb must not open or close a device on its
    // event thread, where hot-plug callbacks run.
    std::mutex workMutex_;
    std::condition_variable workToDo_;
    std::deque<std::function<void()>> work_;
    std::atomic<bool> stopWorker_{false};
    std::thread worker_;

    std::mutex logMutex_; // held while the sink runs, so that SetLog waits for a line under way
    UsbLogSink log_;
};

} // namespace ostervane
