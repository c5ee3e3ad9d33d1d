// Discovery of the system's serial ports, each with its device path and the name shown for it.
#pragma once

#include <string>
#include <vector>

namespace ostervane {

struct SerialPortInfo {
    std::string path;        // e.g. /dev/ttyUSB0
    std::string displayName; // the path's base name, e.g. ttyUSB0
};

// The serial ports the system knows, in the order found; empty when there are none or the
// listing fails.  Pseudo-terminals are not listed.
std::vector<SerialPortInfo> EnumerateSerialPorts();

// The base name of a device path ("/dev/ttyS0" gives "ttyS0"), as shown to the user.
std::string PortDisplayName(const std::string &path);

} // namespace ostervane
