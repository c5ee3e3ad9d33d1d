// PtyTransport: connects a simulated handheld to a pseudo-terminal, so a host opens the slave
// side as it opens a serial port.  Host bytes go to the handheld as they come; the handheld's
// bytes go out at their due time, paced at a bit rate when one is given.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "simulator/debugger.h"
#include "simulator/sim_time.h"

namespace ostervane::simulator {

struct PtyOptions {
    uint32_t baud = 0; // 0: the handheld's bytes go out as fast as the terminal takes them
    // When a host opens the terminal, a handheld that sits in its debugger sends its state
    // packet this long after (as if its user put it into the debugger then), late enough that
    // the purge of a serial open does not swallow it.
    bool announceOnConnect = true;
    SimTime announceDelay = std::chrono::milliseconds(200);
};

class PtyTransport {
public:
    explicit PtyTransport(HandheldDebugger &handheld, PtyOptions options = {});
    ~PtyTransport();
    PtyTransport(const PtyTransport &) = delete;
    PtyTransport &operator=(const PtyTransport &) = delete;

    // Creates the pseudo-terminal and puts its line into raw mode; false with the reason.
    bool Open(std::string *error);
    const std::string &SlavePath() const { return slavePath_; }

    // Serves the handheld until `stop` becomes true (checked at least every 50 ms).
    void Run(const std::atomic<bool> &stop);

private:
    struct ScheduledByte {
        uint8_t value;
        SimTime due;
    };

    bool HostConnected() const;
    void ScheduleHandheldOutput();
    void WriteDueBytes(SimTime now);
    void ReadHostBytes();
    void DropDueBytes(SimTime now);

    HandheldDebugger &handheld_;
    PtyOptions options_;
    SteadyClock clock_;
    int master_ = -1;
    std::string slavePath_;
    std::deque<ScheduledByte> outgoing_;
    SimTime lineFree_{0};
};

} // namespace ostervane::simulator
