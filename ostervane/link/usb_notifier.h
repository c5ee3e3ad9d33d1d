// UsbNotifier: the program's USB pipe table and device-change handling.  Arrivals go to the
// first unattached pipe, removals detach the pipe holding that interface name.
//
// Notifications may come on any thread (libusb's event thread): Post queues them, and the
// owner's UI thread applies them with DeliverPending.  The wake-up callback, if set, is run
// after each Post so that the UI loop knows to drain the queue.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "ostervane/link/usb_pipe.h"
#include "ostervane/link/usb_port_library.h"

namespace ostervane {

class UsbNotifier {
public:
    static constexpr size_t kPipeTableSize = 10;

    explicit UsbNotifier(UsbPortLibrary &library);
    // Unregisters and destroys the pipes: destroy the jobs that use them first.
    ~UsbNotifier();
    UsbNotifier(const UsbNotifier &) = delete;
    UsbNotifier &operator=(const UsbNotifier &) = delete;

    // UI thread.  The first pipe registers for notifications.  Nothing when the table is full.
    USBPipe *CreateUsbPipe(uint32_t position, uint32_t option, PipeEventHandler handler, void *job);
    USBPipe *Pipe(size_t index) const;

    // Any thread.
    void Post(const UsbNotification &notification);
    void SetWakeUp(std::function<void()> wakeUp);

    // UI thread: applies the queued notifications in order; returns how many there were.
    size_t DeliverPending();
    // True when the notification was handled (an arrival or removal of a handheld).
    bool HandleDeviceChange(const UsbNotification &notification);

private:
    void Arrive(const UsbNotification &notification);
    void Remove(const std::string &interfaceName);

    UsbPortLibrary &library_;
    std::array<std::unique_ptr<USBPipe>, kPipeTableSize> pipes_;
    intptr_t registration_ = 0;

    std::mutex queueMutex_;
    std::deque<UsbNotification> queue_;
    std::function<void()> wakeUp_;
};

} // namespace ostervane
