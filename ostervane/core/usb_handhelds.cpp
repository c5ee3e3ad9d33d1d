// The table of USB handhelds and the udev rules made from it.
#include "ostervane/core/usb_handhelds.h"

#include <array>
#include <cstdio>

namespace ostervane {

namespace {
constexpr std::array kHandhelds = {
    UsbHandheld{0x082D, 0x0100, "Handspring", "Visor (all models)"},
    UsbHandheld{0x082D, 0x0200, "Handspring", "Treo 180, 270, 300"},
    UsbHandheld{0x082D, 0x0300, "Handspring", "Treo 600"},
    UsbHandheld{0x0830, 0x0001, "Palm", "m500"},
    UsbHandheld{0x0830, 0x0002, "Palm", "m505"},
    UsbHandheld{0x0830, 0x0003, "Palm", "m515"},
    UsbHandheld{0x0830, 0x0020, "Palm", "i705"},
    UsbHandheld{0x0830, 0x0031, "Palm", "Tungsten Z"},
    UsbHandheld{0x0830, 0x0040, "Palm", "m125"},
    UsbHandheld{0x0830, 0x0050, "Palm", "m130"},
    UsbHandheld{0x0830, 0x0060, "Palm", "Tungsten T and other Palm OS 5 models"},
    UsbHandheld{0x0830, 0x0061, "Palm", "Treo 650, Zire 31"},
    UsbHandheld{0x0830, 0x0070, "Palm", "Zire"},
    UsbHandheld{0x0830, 0x0080, "Palm", "m100, m105"},
    UsbHandheld{0x054C, 0x0038, "Sony", "CLIE with Palm OS 3.5"},
    UsbHandheld{0x054C, 0x0066, "Sony", "CLIE with Palm OS 4.0"},
    UsbHandheld{0x054C, 0x0095, "Sony", "CLIE S360"},
    UsbHandheld{0x054C, 0x009A, "Sony", "CLIE with Palm OS 4.1"},
    UsbHandheld{0x054C, 0x00DA, "Sony", "CLIE NX60"},
    UsbHandheld{0x054C, 0x00E9, "Sony", "CLIE NZ90V"},
    UsbHandheld{0x054C, 0x0144, "Sony", "CLIE UX50"},
    UsbHandheld{0x054C, 0x0169, "Sony", "CLIE TJ25"},
    UsbHandheld{0x0502, 0x0001, "Acer", "s10"},
    UsbHandheld{0x04E8, 0x8001, "Samsung", "SCH-i330"},
    UsbHandheld{0x04E8, 0x6601, "Samsung", "SPH-i500"},
    UsbHandheld{0x12EF, 0x0100, "Tapwave", "Zodiac"},
    UsbHandheld{0x091E, 0x0004, "Garmin", "iQue 3600"},
    UsbHandheld{0x4766, 0x0001, "Aceeca", "MEZ1000"},
    UsbHandheld{0x0C88, 0x0021, "Kyocera", "7135 smartphone"},
    UsbHandheld{0x0E67, 0x0002, "Fossil", "Abacus wrist PDA"},
    UsbHandheld{0x115E, 0xF100, "GSPDA", "Xplore M68"},
};

constexpr const char *kRulesHeader =
    "# Palm OS handhelds on USB: the logged-in user (and the plugdev group) may open them, so\n"
    "# that Ostervane can talk to a handheld sitting in its debugger without root.  Generated\n"
    "# from the table of handhelds in ostervane/core/usb_handhelds.cpp; do not edit.\n"
    "# Installed into /usr/lib/udev/rules.d; after a change run `udevadm control --reload`\n"
    "# and plug the handheld in again.\n";
} // namespace

std::span<const UsbHandheld> KnownUsbHandhelds() {
    return kHandhelds;
}

const UsbHandheld *FindUsbHandheld(uint16_t vendorId, uint16_t productId) {
    for (const UsbHandheld &handheld : kHandhelds) {
        if (handheld.vendorId == vendorId && handheld.productId == productId) {
            return &handheld;
        }
    }
    return nullptr;
}

std::string UdevRulesText() {
    std::string text = kRulesHeader;
    for (const UsbHandheld &handheld : kHandhelds) {
        char line[240];
        std::snprintf(line, sizeof line,
                      "# %s %s\n"
                      "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", "
                      "ATTR{idVendor}==\"%04x\", ATTR{idProduct}==\"%04x\", "
                      "MODE=\"0660\", GROUP=\"plugdev\", TAG+=\"uaccess\"\n",
                      handheld.maker, handheld.name, handheld.vendorId, handheld.productId);
        text += line;
    }
    return text;
}

} // namespace ostervane
