// UsbPortLibrary: the calls through which USB pipes reach handhelds sitting in their debugger:
// device notifications, and ports opened by interface name with bulk transfers under time-outs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ostervane {

using UsbPortHandle = intptr_t;
inline constexpr UsbPortHandle kUsbNoPort = -1;             // what a failed open returns
inline constexpr uint32_t kUsbDebuggerCreator = 0x70737973; // 'psys'
inline constexpr uint32_t kUsbTimeoutMs = 1000;
// The interface class of handhelds; notifications of any other class are not for pipes.
inline constexpr const char *kHandheldInterfaceClass = "palm-os-handheld";

// Statuses of the library's calls besides 0 (success).
enum UsbPortStatus : int32_t {
    UsbHandheldBusy = 3, // a receive while the handheld runs code of its own (a flash step)
    UsbLibraryErrorBase = 0x7A00, // plus the negated libusb error code (0x7A04: device gone)
    UsbPortClosed = 0x7AFF,       // the handle is closed, or was never opened
};

enum class UsbEventKind { Arrival, RemoveComplete, Other };

// One device-change notification.
struct UsbNotification {
    UsbEventKind kind = UsbEventKind::Other;
    bool isDeviceInterface = true;
    std::string interfaceClass = kHandheldInterfaceClass;
    std::string interfaceName; // stable for as long as the device stays plugged in
};

using UsbNotificationSink = std::function<void(const UsbNotification &)>;
// Receives the library's log lines (devices it leaves alone and why), on any thread.
using UsbLogSink = std::function<void(const std::string &)>;

// Every call returns a status and never throws.  Notifications may come on any thread.
// ClosePort ends any transfer under way on the handle (it returns a status), waits for it, and
// only then releases the port; handles are never reused, so a stale one only gets a status.
class UsbPortLibrary {
public:
    virtual ~UsbPortLibrary() = default;

    // Where log lines go; nullptr drops them.  Once it returns, the old sink is not called.
    virtual void SetLog(UsbLogSink) {}

    // Starts delivering notifications (also for handhelds already plugged in); returns a
    // registration handle, 0 when notifications cannot be had.
    virtual intptr_t RegisterDeviceInterface(UsbNotificationSink sink) = 0;
    virtual void UnregisterDeviceInterface(intptr_t registration) = 0;
    virtual bool IsPalmOsDeviceNotification(const UsbNotification &notification,
                                            uint32_t creator) = 0;

    virtual UsbPortHandle OpenPort(const std::string &interfaceName, uint32_t creator) = 0;
    virtual int32_t SetTimeouts(UsbPortHandle port, uint32_t receiveMs, uint32_t sendMs) = 0;
    // At most `count` bytes; fewer (even none) when the time-out ends first, with status 0.
    virtual int32_t SendBytes(UsbPortHandle port, const uint8_t *buffer, uint32_t count,
                              uint32_t *sent) = 0;
    virtual int32_t ReceiveBytes(UsbPortHandle port, uint8_t *buffer, uint32_t count,
                                 uint32_t *received) = 0;
    virtual int32_t ClosePort(UsbPortHandle port) = 0;
};

} // namespace ostervane
