// EmulatedUsbBus: the testbed's sysfs records of each device and its interface, the device
// nodes served by EmulatedUsbDevice, and the kernel's events on plugging and unplugging.
#include "usb_emulated/emulated_usb_bus.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace ostervane::testing {

namespace {

constexpr char kHostController[] = "/devices/pci0000:00/0000:00:14.0";
// From an interface's directory (six levels below /sys) to the drivers.
constexpr char kDriverLinkPrefix[] = "../../../../../../bus/usb/drivers/";

struct Place {
    int bus = 0;
    std::string port;
    std::string devicePath;
};

std::string InterfaceName(const std::string &port, size_t number) {
    return port + ":1." + std::to_string(number);
}

std::string InterfacePath(const Place &place, size_t number) {
    return place.devicePath + "/" + InterfaceName(place.port, number);
}

// "B-P": port P of bus B's root hub.
Place PlaceOf(const std::string &port) {
    size_t dash = port.find('-');
    if (dash == std::string::npos || dash == 0 || port.find('.') != std::string::npos) {
        throw std::invalid_argument("port names are \"bus-port\": " + port);
    }
    Place place;
    place.bus = std::stoi(port.substr(0, dash));
    place.port = port;
    place.devicePath =
        std::string(kHostController) + "/usb" + std::to_string(place.bus) + "/" + port;
    return place;
}

std::string Hex(const std::vector<uint8_t> &bytes) {
    std::string text;
    char digits[3];
    for (uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

std::string Number(const char *format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// umockdev's record format: P: path, N: device node, E: udev property, A: attribute (a
// literal "\n" ends the kernel's text), H: binary attribute in hex, L: link.
std::string DeviceRecord(const Place &place, int devnum, const EmulatedUsbDevice &device) {
    const EmulatedDeviceSetup &setup = device.Setup();
    const std::string bus = Number("%03u", unsigned(place.bus));
    const std::string dev = Number("%03u", unsigned(devnum));
    return "P: " + place.devicePath + "\nN: bus/usb/" + bus + "/" + dev +
           "\nE: SUBSYSTEM=usb\nE: DEVNAME=/dev/bus/usb/" + bus + "/" + dev +
           "\nE: DEVTYPE=usb_device\nE: BUSNUM=" + bus + "\nE: DEVNUM=" + dev +
           "\nE: PRODUCT=" + Number("%x", setup.vendor) + "/" + Number("%x", setup.product) +
           "/100\nA: busnum=" + std::to_string(place.bus) +
           "\\n\nA: devnum=" + std::to_string(devnum) +
           "\\n\nA: idVendor=" + Number("%04x", setup.vendor) +
           "\\n\nA: idProduct=" + Number("%04x", setup.product) +
           "\\n\nA: bConfigurationValue=1\\n\nA: bNumInterfaces= " +
           std::to_string(device.Interfaces().size()) +
           "\\n\nA: speed=12\\n\n"
           "H: descriptors=" +
           Hex(device.Descriptors()) + "\n";
}

std::string InterfaceRecord(const Place &place, size_t number,
                            const EmulatedUsbDevice::InterfaceInfo &info, bool withEndpoints) {
    std::string record = "P: " + InterfacePath(place, number) +
                         "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: INTERFACE=" +
                         std::to_string(info.interfaceClass) +
                         "/0/0\nA: bInterfaceNumber=" + Number("%02x", unsigned(number)) +
                         "\\n\nA: bAlternateSetting= 0\\n\nA: bInterfaceClass=" +
                         Number("%02x", info.interfaceClass) +
                         "\\n\nA: bNumEndpoints=" + (withEndpoints ? "04" : "00") + "\\n\n";
    if (!info.driver.empty()) {
        record += "L: driver=" + std::string(kDriverLinkPrefix) + info.driver + "\n";
    }
    return record;
}

void ThrowOn(GError *error, const std::string &what) {
    if (error != nullptr) {
        std::string message = what + ": " + error->message;
        g_error_free(error);
        throw std::runtime_error(message);
    }
}

} // namespace

EmulatedUsbBus::EmulatedUsbBus() {
    testbed_ = umockdev_testbed_new();
    // Only true with the preloaded library and a testbed to redirect to.
    if (!umockdev_in_mock_environment()) {
        g_object_unref(testbed_);
        throw std::runtime_error("the emulated USB bus needs the process run by umockdev-wrapper");
    }
    gchar *sys = umockdev_testbed_get_sys_dir(testbed_);
    sysDir_ = sys;
    g_free(sys);
    MakeDriverDirectory("usbfs");
}

EmulatedUsbBus::~EmulatedUsbBus() {
    for (Placed &placed : devices_) {
        umockdev_testbed_detach_ioctl(testbed_, placed.devnode.c_str(), nullptr);
    }
    g_object_unref(testbed_);
}

void EmulatedUsbBus::MakeDriverDirectory(const std::string &driver) {
    if (driver.empty()) {
        return;
    }
    std::filesystem::create_directories(sysDir_ + "/bus/usb/drivers/" + driver);
}

EmulatedUsbDevice &EmulatedUsbBus::Add(EmulatedDeviceSetup setup) {
    Place place = PlaceOf(setup.port);
    int devnum = nextDevnum_++;
    std::vector<std::string> interfaceDirs, interfacePaths;
    for (size_t number = 0; number < (setup.leadingInterface ? 2u : 1u); ++number) {
        interfaceDirs.push_back(sysDir_ + InterfacePath(place, number));
        interfacePaths.push_back("/sys" + InterfacePath(place, number));
    }
    auto device =
        std::make_unique<EmulatedUsbDevice>(std::move(setup), interfaceDirs, kDriverLinkPrefix);
    std::vector<EmulatedUsbDevice::InterfaceInfo> interfaces = device->Interfaces();
    std::string records = DeviceRecord(place, devnum, *device);
    for (size_t number = 0; number < interfaces.size(); ++number) {
        MakeDriverDirectory(interfaces[number].driver);
        records += "\n" + InterfaceRecord(place, number, interfaces[number],
                                          number == device->HandheldInterface());
    }
    GError *error = nullptr;
    umockdev_testbed_add_from_string(testbed_, records.c_str(), &error);
    ThrowOn(error, "adding " + device->InterfaceName());
    std::string devnode = "/dev/bus/usb/" + Number("%03u", unsigned(place.bus)) + "/" +
                          Number("%03u", unsigned(devnum));
    umockdev_testbed_attach_ioctl(testbed_, devnode.c_str(), device->IoctlHandler(), &error);
    ThrowOn(error, "serving " + devnode);
    devices_.push_back(
        {std::move(device), "/sys" + place.devicePath, std::move(interfacePaths), devnode, true});
    return *devices_.back().device;
}

EmulatedUsbDevice &EmulatedUsbBus::Plug(EmulatedDeviceSetup setup) {
    EmulatedUsbDevice &device = Add(std::move(setup));
    const Placed &placed = Find(device);
    umockdev_testbed_uevent(testbed_, placed.devicePath.c_str(), "add");
    for (const std::string &interface : placed.interfacePaths) {
        umockdev_testbed_uevent(testbed_, interface.c_str(), "add");
    }
    return device;
}

void EmulatedUsbBus::Unplug(EmulatedUsbDevice &device) {
    Placed &placed = Find(device);
    if (!placed.plugged) {
        return;
    }
    placed.plugged = false;
    device.Disconnect();
    for (const std::string &interface : placed.interfacePaths) {
        umockdev_testbed_uevent(testbed_, interface.c_str(), "remove");
    }
    umockdev_testbed_uevent(testbed_, placed.devicePath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, placed.devicePath.c_str());
    // umockdev leaves the bus's links behind; the next device in the socket needs their names.
    const std::string &port = device.Setup().port;
    unlink((sysDir_ + "/bus/usb/devices/" + port).c_str());
    for (size_t number = 0; number < placed.interfacePaths.size(); ++number) {
        unlink((sysDir_ + "/bus/usb/devices/" + InterfaceName(port, number)).c_str());
    }
}

std::string EmulatedUsbBus::DriverLink(const EmulatedUsbDevice &device) const {
    std::error_code error;
    const Placed &placed = Find(device);
    std::filesystem::path target = std::filesystem::read_symlink(
        sysDir_ + placed.interfacePaths[device.HandheldInterface()].substr(4) + "/driver", error);
    return error ? std::string() : target.string();
}

EmulatedUsbBus::Placed &EmulatedUsbBus::Find(const EmulatedUsbDevice &device) {
    return const_cast<Placed &>(std::as_const(*this).Find(device));
}

const EmulatedUsbBus::Placed &EmulatedUsbBus::Find(const EmulatedUsbDevice &device) const {
    auto found = std::find_if(devices_.begin(), devices_.end(),
                              [&](const Placed &placed) { return placed.device.get() == &device; });
    if (found == devices_.end()) {
        throw std::invalid_argument("not a device of this bus");
    }
    return *found;
}

} // namespace ostervane::testing
