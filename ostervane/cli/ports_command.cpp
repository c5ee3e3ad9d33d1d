// ostervane-cli ports: the serial ports the system knows, one per line: path, then name.
#include <cstdio>

#include "ostervane/cli/commands.h"
#include "ostervane/platform/serial_port_list.h"

namespace ostervane::cli {

int RunPortsCommand(const Arguments &args) {
    if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
        return Usage();
    }
    if (!args.empty()) {
        return Usage("ports takes no arguments");
    }
    std::vector<SerialPortInfo> ports = EnumerateSerialPorts();
    if (ports.empty()) {
        std::fputs("No serial ports found.\n", stderr);
    }
    for (const SerialPortInfo &port : ports) {
        std::printf("%-24s %s\n", port.path.c_str(), port.displayName.c_str());
    }
    return kExitSuccess;
}

} // namespace ostervane::cli
