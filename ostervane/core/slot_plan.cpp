// Port order and the slots a run uses.
#include "ostervane/core/slot_plan.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace ostervane {

namespace {

bool NameBefore(const PortEntry &a, const PortEntry &b) {
    return std::lexicographical_compare(a.displayName.begin(), a.displayName.end(),
                                        b.displayName.begin(), b.displayName.end(),
                                        [](char x, char y) {
                                            return std::tolower(static_cast<unsigned char>(x)) <
                                                   std::tolower(static_cast<unsigned char>(y));
                                        });
}

} // namespace

std::vector<PortEntry> SortedByName(std::vector<PortEntry> ports) {
    std::stable_sort(ports.begin(), ports.end(), NameBefore);
    return ports;
}

SlotPlan PlanSlots(bool isBackup, LinkKind link, const std::vector<PortEntry> &ports) {
    SlotPlan plan;
    plan.link = link;
    size_t wanted = isBackup ? 1 : kSlotCount;
    if (link == LinkKind::Usb) {
        plan.usbSlots = static_cast<int>(wanted);
        return plan;
    }
    size_t used = std::min(wanted, ports.size());
    plan.serialPorts.assign(ports.begin(), ports.begin() + static_cast<std::ptrdiff_t>(used));
    plan.unusedPorts.assign(ports.begin() + static_cast<std::ptrdiff_t>(used), ports.end());
    return plan;
}

std::string UnusedPortsLogLine(const std::vector<PortEntry> &unused) {
    if (unused.empty()) {
        return "";
    }
    std::string line = "Only eight slots; not used:";
    for (const PortEntry &port : unused) {
        line += " " + port.displayName;
    }
    return line;
}

} // namespace ostervane
