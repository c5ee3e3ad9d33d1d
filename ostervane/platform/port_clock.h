// The time source and the wait of a serial port's transfers, behind an interface so that tests
// can run the time-out rules on a fake clock without real waits.
#pragma once

#include <chrono>

namespace ostervane {

class PortClock {
public:
    using Millis = std::chrono::milliseconds;

    virtual ~PortClock() = default;
    // Milliseconds on a monotonic scale.
    virtual Millis Now() = 0;
    // Waits at most `timeout` until `fd` is ready for `events` (poll(2) flags); returns poll's
    // result and stores the ready flags in `*revents`.
    virtual int Poll(int fd, short events, Millis timeout, short *revents) = 0;
};

// The steady clock and poll(2).
PortClock &SystemPortClock();

} // namespace ostervane
