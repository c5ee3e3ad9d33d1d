// EmulatedUsbBus: USB devices in a umockdev testbed, as libusb in this process (and in child
// processes, which inherit the environment) sees them in sysfs and on /dev/bus/usb, plugged in
// and unplugged with the kernel's events.  The process must run under umockdev-wrapper.
//
// Typical use:
//   EmulatedUsbBus bus;
//   EmulatedUsbDevice &handheld = bus.Plug({.port = "1-2", .handheld = &simulated});
//   ... a LibusbPortLibrary opens it; handheld.Observed() tells what the host did ...
//   bus.Unplug(handheld);
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "usb_emulated/emulated_usb_device.h"

namespace ostervane::testing {

class EmulatedUsbBus {
public:
    // Throws when the process does not run under umockdev-wrapper.
    EmulatedUsbBus();
    // Destroy every library and end every child process using the devices first.
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus &) = delete;
    EmulatedUsbBus &operator=(const EmulatedUsbBus &) = delete;

    // A device that is there already: no event tells of it.
    EmulatedUsbDevice &Add(EmulatedDeviceSetup setup);
    // A device plugged in now: the kernel's "add" events for it and its interfaces follow.
    EmulatedUsbDevice &Plug(EmulatedDeviceSetup setup);
    // Its transfers under way end, the "remove" events go out, and it leaves sysfs and /dev.
    // The device object stays for its observations.
    void Unplug(EmulatedUsbDevice &device);

    // The link target of the handheld interface's "driver" entry in sysfs, "" when none.
    std::string DriverLink(const EmulatedUsbDevice &device) const;

private:
    struct Placed {
        std::unique_ptr<EmulatedUsbDevice> device;
        std::string devicePath; // under /sys
        std::vector<std::string> interfacePaths;
        std::string devnode;
        bool plugged = true;
    };

    Placed &Find(const EmulatedUsbDevice &device);
    const Placed &Find(const EmulatedUsbDevice &device) const;
    void MakeDriverDirectory(const std::string &driver);

    UMockdevTestbed *testbed_ = nullptr;
    std::string sysDir_;
    std::vector<Placed> devices_;
    int nextDevnum_ = 2; // 1 is the root hub
};

} // namespace ostervane::testing
