// Serial port discovery through libserialport.
#include "ostervane/platform/serial_port_list.h"

#include <libserialport.h>

namespace ostervane {

std::string PortDisplayName(const std::string &path) {
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return path;
    }
    size_t slash = path.rfind('/', end);
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end + 1 - start);
}

std::vector<SerialPortInfo> EnumerateSerialPorts() {
    std::vector<SerialPortInfo> ports;
    sp_port **list = nullptr;
    if (sp_list_ports(&list) != SP_OK) {
        return ports;
    }
    for (sp_port **port = list; *port != nullptr; ++port) {
        const char *path = sp_get_port_name(*port);
        if (path != nullptr) {
            ports.push_back({path, PortDisplayName(path)});
        }
    }
    sp_free_port_list(list);
    return ports;
}

} // namespace ostervane
