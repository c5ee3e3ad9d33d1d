// The Palm OS handhelds that talk over USB, by vendor and product id: the one list from which
// the USB library picks the devices it may touch and the udev rule that lets users open them.
//
// A maker's vendor id alone never means a handheld: the same makers sell disks, cameras and
// phones under it.  Only a pair in this table is a handheld.  To add one, append a line to the
// table in usb_handhelds.cpp and rebuild: the installed udev rule is generated from it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace ostervane {

struct UsbHandheld {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    const char *maker = "";
    const char *name = ""; // the models that present this id
};

// In the order of the table: by maker, then product id.
std::span<const UsbHandheld> KnownUsbHandhelds();

// The handheld with these ids, or nullptr when the pair is not a known handheld.
const UsbHandheld *FindUsbHandheld(uint16_t vendorId, uint16_t productId);

// The udev rules file: one line per handheld of the table giving its device node to the
// logged-in user and the plugdev group.
std::string UdevRulesText();

} // namespace ostervane
