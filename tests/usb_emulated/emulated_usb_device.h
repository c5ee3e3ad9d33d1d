// EmulatedUsbDevice: one USB device's usbfs node as the kernel serves it, for libusb running on
// umockdev.  It answers the ioctls libusb makes (capabilities, the interface's kernel driver,
// detach and reattach, claims, URBs), the handhelds' vendor requests for connection
// information, and carries the debugger's bulk traffic to a simulated handheld on a virtual
// clock that jumps to the handheld's next reply, so flash steps and restarts cost no real time.
//
// Kernel behaviour kept: a claim fails with EBUSY while a driver holds the interface, a claimed
// interface is bound to "usbfs", a bulk URB on an unclaimed interface claims it, a discarded URB
// is reaped with -ENOENT, and an unplugged device ends its URBs under way with -ESHUTDOWN (still
// reapable) and fails every other ioctl with ENODEV.  umockdev does not tell when a client
// closes the node, so a claim outlives a close without a release (the kernel would drop it).
// The ioctls are answered on umockdev's worker thread; nothing there blocks.
#pragma once

#include <umockdev.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "simulator/debugger.h"

namespace ostervane::testing {

// How a device answers the vendor requests for its connection information.
enum class ConnectionAnswers {
    Extended,        // 0x04: 'sync' on port 1, the debugger 'psys' on port 2
    PlainOnly,       // 0x04 stalls; 0x03: HotSync (2) on port 1, the debugger (1) on port 2
    WithoutDebugger, // 0x04: only 'sync' on port 2; 0x03: only HotSync on port 2
    Neither,         // both stall
    Silent,          // neither is answered: the requests wait until the host gives up
};

// A function of the device's own in front of the handheld's interface, as on phones: the
// handheld's interface is then number 1.
struct LeadingInterface {
    uint8_t interfaceClass = 0x02; // communications
    std::string driver = "cdc_acm";
};

struct EmulatedDeviceSetup {
    std::string port = "1-2"; // bus 1, port 2; the library names it "usb-1-2"
    uint16_t vendor = 0x0830;
    uint16_t product = 0x0060;
    uint8_t interfaceClass = 0xFF; // of the handheld's interface, the last one
    std::string driver = "visor";  // bound to it when plugged in; "" for none
    std::optional<LeadingInterface> leadingInterface;
    ConnectionAnswers answers = ConnectionAnswers::Extended;
    // Served on the debugger's endpoints (port 2); must outlive the device.  None: the bulk
    // endpoints take what is sent and never answer.
    simulator::HandheldDebugger *handheld = nullptr;
    // Once the handheld has taken this many requests (0: never), its replies stop reaching the
    // host: the host's next read stays under way, as when the cable is pulled mid-transfer.
    uint32_t holdRepliesAfter = 0;
};

struct DeviceObservations {
    int opens = 0;  // of the device node
    int claims = 0; // successful claims of the interface (explicit or by a bulk URB)
    int releases = 0;
    int detaches = 0;   // a kernel driver unbound by the host
    int reattaches = 0; // a kernel driver bound again by the host
    std::vector<uint8_t> vendorRequests;
    std::string driver; // bound to the handheld's interface now: "" none, "usbfs" while claimed
    std::string leadingDriver;   // bound to the leading interface now
    size_t readsUnderWay = 0;    // the host's reads of the debugger's endpoint waiting for bytes
    size_t controlsUnderWay = 0; // the host's requests waiting for an answer
    uint64_t bytesToHandheld = 0;
    uint64_t bytesFromHandheld = 0;
    std::chrono::steady_clock::time_point firstBulk{}, lastBulk{}; // real time of bulk URBs
};

class EmulatedUsbDevice {
public:
    static constexpr uint8_t kDebuggerIn = 0x82;
    static constexpr uint8_t kDebuggerOut = 0x02;
    static constexpr size_t kMaxPacket = 64;

    struct InterfaceInfo {
        uint8_t interfaceClass = 0;
        std::string driver; // bound when plugged in
    };

    // `interfaceDirs`: the interfaces' directories in the testbed (in the order of Interfaces()),
    // whose "driver" links follow the bound drivers: `driverLinkPrefix` + the driver's name.
    EmulatedUsbDevice(EmulatedDeviceSetup setup, std::vector<std::string> interfaceDirs,
                      std::string driverLinkPrefix);
    ~EmulatedUsbDevice();
    EmulatedUsbDevice(const EmulatedUsbDevice &) = delete;
    EmulatedUsbDevice &operator=(const EmulatedUsbDevice &) = delete;

    const EmulatedDeviceSetup &Setup() const { return setup_; }
    std::string InterfaceName() const { return "usb-" + setup_.port; }
    // The interfaces by number.
    std::vector<InterfaceInfo> Interfaces() const;
    size_t HandheldInterface() const;
    // Device, configuration, interface and endpoint descriptors, as sysfs gives them.
    std::vector<uint8_t> Descriptors() const;
    UMockdevIoctlBase *IoctlHandler() const { return handler_; }

    DeviceObservations Observed() const;
    // Waits (real time) until `condition` holds for the observations.
    bool WaitFor(const std::function<bool(const DeviceObservations &)> &condition,
                 std::chrono::milliseconds limit = std::chrono::seconds(20)) const;

    // True once replies are held (setup's holdRepliesAfter) and a read of the host waits.
    bool Holding() const;

    // The device is gone (called by the bus when it is unplugged).
    void Disconnect();

private:
    struct Urb {
        UMockdevIoctlData *data = nullptr; // referenced until reaped
        UMockdevIoctlData *buffer = nullptr;
        UMockdevIoctlClient *client = nullptr;
    };
    struct Interface {
        std::string driver; // bound now
        std::string native; // the driver the kernel binds to it
        std::string dir;
        UMockdevIoctlClient *claimant = nullptr; // while "usbfs" is bound
    };
    struct Reply {
        std::vector<uint8_t> bytes;
        size_t taken = 0;
        simulator::SimTime due{0};
    };
    struct Result {
        long value = 0;
        int error = 0;
    };

    static gboolean OnIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self);
    static void OnConnected(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self);

    Result Handle(UMockdevIoctlClient *client);
    Result Capabilities(UMockdevIoctlData *arg);
    Result GetDriver(UMockdevIoctlData *arg);
    Result DriverIoctl(UMockdevIoctlData *arg);
    Result DisconnectClaim(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    Result Claim(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    Result Release(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    Result Submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    Result SubmitControl(Urb urb);
    Result SubmitBulk(Urb urb);
    Result Reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    Result Discard(UMockdevIoctlClient *client, UMockdevIoctlData *arg);

    Result ClaimFor(UMockdevIoctlClient *client, size_t number);
    bool Held() const;
    void Unbind(size_t number);
    void Bind(size_t number, const std::string &driver);
    void ShowDrivers();
    bool ControlAnswer(uint8_t request, std::vector<uint8_t> *answer) const;
    bool HasEndpoint(uint8_t address) const;
    void TakeHandheldOutput();
    void ServeReads();
    void FillRead(Urb &urb);
    void Complete(Urb urb, int status);
    void NoteBulk();
    void Forget(std::deque<Urb> &urbs, UMockdevIoctlClient *client = nullptr);

    const EmulatedDeviceSetup setup_;
    const std::string driverLinkPrefix_;
    UMockdevIoctlBase *handler_ = nullptr;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Interface> interfaces_;
    std::map<UMockdevIoctlClient *, std::deque<Urb>> completed_; // reapable, per client
    std::deque<Urb> debuggerReads_; // bulk IN URBs on the debugger's endpoint, oldest first
    std::deque<Urb> idleReads_;     // bulk IN URBs on endpoints that never answer
    std::deque<Urb> unanswered_;    // control URBs of a silent device
    std::deque<Reply> replies_;     // what the handheld has sent, oldest first
    simulator::SimTime now_{0};
    simulator::SimTime lineFree_{0};
    bool gone_ = false;
    DeviceObservations observed_;
};

} // namespace ostervane::testing
