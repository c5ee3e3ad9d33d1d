// LinkFactory: where the main window gets its links: a pipe on a serial port, and the USB port
// library for USB pipes.  The program uses the system's; tests give simulated handhelds.
#pragma once

#include <functional>
#include <memory>

#include "ostervane/core/slot_plan.h"
#include "ostervane/link/pipe_base.h"
#include "ostervane/link/usb_port_library.h"

namespace ostervane::ui {

struct SerialLink {
    std::unique_ptr<PipeBase> pipe;
    // Opens the port: PipeOpened when it opens, PipeError 16 when it cannot.
    std::function<void()> open;
};

class LinkFactory {
public:
    virtual ~LinkFactory() = default;
    virtual SerialLink MakeSerialLink(const PortEntry &port) = 0;
    // The library stays alive for as long as the factory.
    virtual UsbPortLibrary &UsbLibrary() = 0;
};

// Serial pipes on the system's tty devices and USB through libusb (started when first needed).
class SystemLinkFactory final : public LinkFactory {
public:
    SystemLinkFactory();
    ~SystemLinkFactory() override;
    SerialLink MakeSerialLink(const PortEntry &port) override;
    UsbPortLibrary &UsbLibrary() override;

private:
    std::unique_ptr<UsbPortLibrary> usb_;
};

// The system's serial ports as the windows show them.
std::vector<PortEntry> SystemSerialPorts();

} // namespace ostervane::ui
