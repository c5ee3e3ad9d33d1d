// The system's links: termios serial pipes and the libusb port library.
#include "ostervane/ui/link_factory.h"

#include "ostervane/platform/serial_pipe.h"
#include "ostervane/platform/serial_port_list.h"
#include "ostervane/platform/usb_port_library_libusb.h"

namespace ostervane::ui {

SystemLinkFactory::SystemLinkFactory() = default;
SystemLinkFactory::~SystemLinkFactory() = default;

SerialLink SystemLinkFactory::MakeSerialLink(const PortEntry &port) {
    auto pipe = std::make_unique<SerialPipe>(port.path, port.displayName, 0, nullptr, nullptr);
    SerialPipe *serial = pipe.get();
    return {std::move(pipe), [serial] { serial->Start(); }};
}

UsbPortLibrary &SystemLinkFactory::UsbLibrary() {
    if (!usb_) {
        usb_ = std::make_unique<LibusbPortLibrary>();
    }
    return *usb_;
}

std::vector<PortEntry> SystemSerialPorts() {
    std::vector<PortEntry> ports;
    for (const SerialPortInfo &port : EnumerateSerialPorts()) {
        ports.push_back({port.path, port.displayName});
    }
    return ports;
}

} // namespace ostervane::ui
