// The real clock of serial transfers: the steady clock and poll(2).
#include "ostervane/platform/port_clock.h"

#include <poll.h>

namespace ostervane {
namespace {

class SteadyPortClock final : public PortClock {
public:
    Millis Now() override {
        return std::chrono::duration_cast<Millis>(
            std::chrono::steady_clock::now().time_since_epoch());
    }

    int Poll(int fd, short events, Millis timeout, short *revents) override {
        pollfd entry{fd, events, 0};
        int result = ::poll(&entry, 1, static_cast<int>(timeout.count()));
        *revents = entry.revents;
        return result;
    }
};

} // namespace

PortClock &SystemPortClock() {
    static SteadyPortClock clock;
    return clock;
}

} // namespace ostervane
