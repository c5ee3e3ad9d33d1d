// Which slots of the main window a run uses: the serial ports it was given, sorted for the port
// list, and how many slots and which links a backup or restore gets.
#pragma once

#include <string>
#include <vector>

namespace ostervane {

inline constexpr int kSlotCount = 8;

enum class LinkKind { Usb, Serial };

// One serial port as the windows show it.
struct PortEntry {
    std::string path;        // the device, e.g. /dev/ttyUSB0
    std::string displayName; // what the user sees and the slot's label, e.g. ttyUSB0
    bool operator==(const PortEntry &) const = default;
};

// The ports in the order of their names, without regard to case (COM1, COM10, COM2); ports
// whose names compare equal keep their order.
std::vector<PortEntry> SortedByName(std::vector<PortEntry> ports);

struct SlotPlan {
    LinkKind link = LinkKind::Usb;
    std::vector<PortEntry> serialPorts; // one slot each, in order (serial link)
    int usbSlots = 0;                   // "USB 1".."USB n" (USB link)
    std::vector<PortEntry> unusedPorts; // ports beyond the eighth slot
    int SlotCount() const {
        return link == LinkKind::Usb ? usbSlots : static_cast<int>(serialPorts.size());
    }
};

// A backup uses one slot: on USB, or on the one port it was given (none without a port).  A
// restore uses eight slots on USB, or one per port in the given order; ports beyond the eighth
// get no slot and are listed as unused.
SlotPlan PlanSlots(bool isBackup, LinkKind link, const std::vector<PortEntry> &ports);

// The log line that names the ports left without a slot; "" when every port has one.
std::string UnusedPortsLogLine(const std::vector<PortEntry> &unused);

} // namespace ostervane
