// USBPipe: the pipe over one USB attachment.  It is made unattached, gets a handheld's
// interface name on arrival (and opens it), and closes again only on that handheld's removal.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "ostervane/link/pipe_base.h"
#include "ostervane/link/usb_port_library.h"

namespace ostervane {

class USBPipe : public PipeBase {
public:
    // `position` 0..7 gives the display name "USB 1".."USB 8".
    USBPipe(UsbPortLibrary &library, uint32_t position, uint32_t option, PipeEventHandler handler,
            void *context);
    ~USBPipe() override; // forgets the port without closing it

    // How many USB pipes exist right now.
    static int LiveCount() { return liveCount_.load(); }

    // Run before a re-attach opens the port: waits until the previous turn's job has ended,
    // so that no transfer of an old job ever reaches the next handheld.
    void SetWaitForTurnEnd(std::function<void()> wait) { waitForTurnEnd_ = std::move(wait); }

    // UI thread.  Attach: nothing while open; otherwise keeps the name and, if the port opens,
    // raises PipeOpened.  A failed open keeps the name: the pipe stays attached, closed.
    void Attach(const std::string &interfaceName);
    // Closes the port (a transfer under way ends first), raises PipeClosed if it was open,
    // and forgets the name.
    void Detach();
    int32_t OpenPort(); // 0, or 1 when the library could not open the port
    void ClosePort();
    bool IsAttached() const { return !deviceName_.empty(); }

    int32_t Configure(uint32_t) override { return 0; }
    int32_t Close() override { return 0; } // a USB pipe closes on removal only
    bool IsHotPlug() const override { return true; }
    uint32_t GetMaxBaudRate() override { return 0; }
    void SetMaxBaudRate(uint32_t) override {}

protected:
    int32_t ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) override;
    int32_t SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) override;

private:
    static std::atomic<int> liveCount_;

    UsbPortLibrary &library_;
    // The port lives here rather than in the read and write handles: removal changes it on the
    // UI thread while the job thread may be inside a transfer.
    std::atomic<UsbPortHandle> port_{kUsbNoPort};
    bool hadTurn_ = false;
    std::function<void()> waitForTurnEnd_;
};

} // namespace ostervane
