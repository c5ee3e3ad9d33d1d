// Which kernel driver holds a USB interface, read from sysfs, and which of them the program may
// take a handheld's interface from.  Only the serial drivers that bind handhelds (and make
// their ttyUSB ports) are ever detached: any other driver (a disk's, a modem's) means the
// device is someone else's business.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ostervane {

// The sysfs name of an interface: "<bus>-<port>.<port>...:<configuration>.<interface>".
std::string UsbInterfaceSysfsName(uint8_t bus, std::span<const uint8_t> portPath,
                                  uint8_t configuration, uint8_t interfaceNumber);

// The name of the driver bound to the interface ("" when none), or nothing when the interface
// is not in sysfs.  `sysfsRoot` is "/sys" but for tests.
std::optional<std::string> BoundKernelDriver(const std::string &interfaceSysfsName,
                                             const std::string &sysfsRoot = "/sys");

// True for the handheld serial driver and the generic USB serial driver.
bool IsHandheldSerialDriver(const std::string &driver);

} // namespace ostervane
