// SerialPipe: the pipe over a serial port (a tty device, pseudo-terminals included), opened at
// 57600 bit/s 8N1 with the RTS/CTS handshake and the link's read and write time-outs.
#pragma once

#include <cstdint>
#include <string>

#include "ostervane/link/pipe_base.h"
#include "ostervane/platform/serial_port.h"

namespace ostervane {

class SerialPipe : public PipeBase {
public:
    static constexpr uint32_t kLineRate = 57600;
    static constexpr uint32_t kMaxRate = 115200;

    // `devicePath` names the port to the system (empty: not attached to a port); `displayName`
    // is what the user sees and what prefixes the job's log lines.  A non-zero `option` sets
    // the option flag.  The clock is for tests.
    SerialPipe(const std::string &devicePath, const std::string &displayName, uint32_t option,
               PipeEventHandler handler, void *context, PortClock &clock = SystemPortClock());
    ~SerialPipe() override; // closes the port without an event

    // Opens the port unless it is open or there is none: PipeError with code 16 when it cannot
    // be opened or refuses its settings; otherwise Configure(1) if the option flag is set, then
    // PipeOpened.
    void Start();
    // 0 when the port is open (also when it already was) with its settings taken; 1 when it
    // could not be opened (the pipe stays closed) or refused its settings (it stays open).
    int32_t Open();

    int32_t Configure(uint32_t value) override;
    int32_t Close() override; // raises PipeClosed when the port was open; returns 0
    bool IsHotPlug() const override { return false; }
    uint32_t GetMaxBaudRate() override { return kMaxRate; }
    void SetMaxBaudRate(uint32_t rate) override; // 115200 bit/s whatever the argument

    // The errno value of the last failed open or refused setting, 0 after a clean open.
    int LastOpenError() const { return lastOpenError_; }

protected:
    // 0 (also when fewer bytes came before the time-out), 777 when aborted, else errno.
    int32_t ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) override;
    int32_t SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) override;

private:
    void CloseHandles();
    int32_t TransferStatus(int error) const;

    SerialPort port_;
    int lastOpenError_ = 0;
};

} // namespace ostervane
