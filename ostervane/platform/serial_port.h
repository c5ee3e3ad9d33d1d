// A serial line on a tty device: opened for this program alone, raw 8N1 with the RTS/CTS
// handshake, and reads and writes that end on the link's time-out rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "ostervane/platform/port_clock.h"

namespace ostervane {

// Time-outs in milliseconds.  A read of n bytes ends when n bytes came, when `readInterval`
// passed after the last byte (the interval counts only once a byte came), or when
// readPerByte * n + readConstant passed since it began.  A write ends when every byte was
// written or writePerByte * n + writeConstant passed.  A time-out is not an error: the transfer
// succeeds with fewer bytes, possibly none.
struct PortTimeouts {
    int64_t readInterval = 100;
    int64_t readPerByte = 100;
    int64_t readConstant = 500;
    int64_t writePerByte = 50;
    int64_t writeConstant = 100;
};

class SerialPort {
public:
    // True when a transfer should give up at once; asked at least every kAbortSlice.
    using AbortCheck = std::function<bool()>;
    static constexpr PortClock::Millis kAbortSlice{50};

    explicit SerialPort(PortClock &clock = SystemPortClock());
    ~SerialPort();
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // Opens the tty for reading and writing, claimed for this port alone (an exclusive lock
    // plus the tty's exclusive mode): a device that another program or another SerialPort
    // holds gives EBUSY.  Returns 0 or an errno value; on failure the port stays closed.
    int Open(const std::string &path);
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // Releases the claim and closes the device; does nothing when closed.
    void Close();

    // Discards input that arrived and was not read; output is left alone.  0 or errno.
    int PurgeInput();

    // Raw mode at `baudRate`, 8 data bits, no parity, 1 stop bit, RTS/CTS handshake, no
    // XON/XOFF, receiver on, modem status lines ignored.  0, or an errno value when the port
    // refuses any of it (EINVAL when it silently kept other values).  A pseudo-terminal may
    // drop the handshake, which is accepted.
    int ApplyLineSettings(uint32_t baudRate);
    // Changes only the rate.  0 or errno.
    int SetBaudRate(uint32_t baudRate);

    void SetTimeouts(const PortTimeouts &timeouts) { timeouts_ = timeouts; }
    const PortTimeouts &Timeouts() const { return timeouts_; }

    // Transfer at most `count` bytes within the time-outs, storing how many moved.  0 (also
    // after a time-out), ECANCELED when `aborted` said so, EBADF on a closed port, or the errno
    // value of a failed read, write or wait.
    int Read(uint8_t *buffer, size_t count, size_t *received, const AbortCheck &aborted = {});
    int Write(const uint8_t *buffer, size_t count, size_t *sent, const AbortCheck &aborted = {});

private:
    int WaitReady(short events, PortClock::Millis left, const AbortCheck &aborted);
    int CheckLineSettings(uint32_t baudRate);

    PortClock &clock_;
    PortTimeouts timeouts_;
    int fd_ = -1;
};

} // namespace ostervane
