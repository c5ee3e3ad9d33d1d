// Reading an interface's driver link in sysfs.
#include "ostervane/platform/usb_kernel_driver.h"

#include <cerrno>
#include <climits>

#include <sys/stat.h>
#include <unistd.h>

namespace ostervane {

std::string UsbInterfaceSysfsName(uint8_t bus, std::span<const uint8_t> portPath,
                                  uint8_t configuration, uint8_t interfaceNumber) {
    std::string name = std::to_string(bus) + "-";
    for (size_t i = 0; i < portPath.size(); ++i) {
        name += (i == 0 ? "" : ".") + std::to_string(portPath[i]);
    }
    return name + ":" + std::to_string(configuration) + "." + std::to_string(interfaceNumber);
}

std::optional<std::string> BoundKernelDriver(const std::string &interfaceSysfsName,
                                             const std::string &sysfsRoot) {
    std::string interfacePath = sysfsRoot + "/bus/usb/devices/" + interfaceSysfsName;
    struct stat info {};
    if (stat(interfacePath.c_str(), &info) != 0) {
        return std::nullopt;
    }
    char target[PATH_MAX];
    ssize_t length = readlink((interfacePath + "/driver").c_str(), target, sizeof target - 1);
    if (length < 0) {
        return std::string(); // no link: no driver bound
    }
    std::string link(target, static_cast<size_t>(length));
    size_t slash = link.find_last_of('/');
    return slash == std::string::npos ? link : link.substr(slash + 1);
}

bool IsHandheldSerialDriver(const std::string &driver) {
    return driver == "visor" || driver == "usbserial_generic";
}

} // namespace ostervane
