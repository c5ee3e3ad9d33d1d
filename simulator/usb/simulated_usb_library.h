// SimulatedUsbLibrary: a USB port library for tests.  Simulated handhelds are plugged in and
// unplugged on command under interface names of their own; each opened port is an in-process
// line to the handheld on a virtual clock (starting at 0 with every open).
//
// Typical use:
//   SimulatedUsbLibrary usb;
//   UsbNotifier notifier(usb);
//   ... notifier.CreateUsbPipe(0, 0, &DebugPacket::HandlePipeEvent, &job) ...
//   usb.Plug("usb-1-2", *handheld);   // the arrival is queued
//   notifier.DeliverPending();        // the pipe opens and the job starts
//   usb.Unplug("usb-1-2");            // transfers under way end; the removal is queued
//   notifier.DeliverPending();        // the pipe closes and the turn ends
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "ostervane/link/usb_port_library.h"
#include "simulator/debugger.h"
#include "simulator/simulated_pipe.h"

namespace ostervane::simulator {

struct SimulatedUsbOptions {
    bool failOpen = false; // OpenPort returns -1 for this handheld
    // A receive that gets nothing while the handheld runs code of its own (a flash step) ends
    // with status 3, as some handhelds' libraries report it.
    bool busyWhileRunning = false;
};

class SimulatedUsbLibrary : public UsbPortLibrary {
public:
    // Transfers on a port whose handheld was unplugged.
    static constexpr int32_t kDeviceGone = UsbLibraryErrorBase + 4;

    ~SimulatedUsbLibrary() override;

    // The handheld must stay alive until it is unplugged and its ports are closed.
    void Plug(const std::string &interfaceName, HandheldDebugger &handheld,
              SimulatedUsbOptions options = {});
    // Transfers under way on the handheld's ports end at once and later ones fail; then the
    // removal is reported.
    void Unplug(const std::string &interfaceName);
    // Reports a notification as given (another interface class, say).
    void Raise(const UsbNotification &notification);

    int OpenPortCount() const;
    int OpensSoFar() const;
    bool Registered() const;

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

private:
    struct Device {
        HandheldDebugger *handheld = nullptr;
        SimulatedUsbOptions options;
    };
    struct Port {
        std::string interfaceName;
        HandheldDebugger *handheld = nullptr;
        SimulatedUsbOptions options;
        std::unique_ptr<SimulatedPipe> line;
        int transfers = 0;
        bool closing = false;
        bool gone = false;
    };

    std::shared_ptr<Port> BeginTransfer(UsbPortHandle port, int32_t *status);
    void EndTransfer(const std::shared_ptr<Port> &port);
    void Deliver(const UsbNotification &notification);

    mutable std::mutex mutex_;
    std::condition_variable transfersEnded_;
    std::map<std::string, Device> devices_;
    std::map<UsbPortHandle, std::shared_ptr<Port>> ports_;
    UsbPortHandle nextPort_ = 1;
    int opens_ = 0;
    UsbNotificationSink sink_;
};

} // namespace ostervane::simulator
