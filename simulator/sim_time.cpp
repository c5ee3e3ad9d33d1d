// Virtual and real clocks for the simulated handheld's transports.
#include "simulator/sim_time.h"

#include <algorithm>
#include <thread>

namespace ostervane::simulator {

namespace {
constexpr SimTime kAbortCheckSlice = std::chrono::milliseconds(5);
}

bool VirtualClock::WaitUntil(SimTime until, const std::function<bool()> &aborted) {
    int64_t now = now_.load();
    while (now < until.count() && !now_.compare_exchange_weak(now, until.count())) {
    }
    return !(aborted && aborted());
}

SteadyClock::SteadyClock() : start_(std::chrono::steady_clock::now()) {}

SimTime SteadyClock::Now() const {
    return std::chrono::duration_cast<SimTime>(std::chrono::steady_clock::now() - start_);
}

bool SteadyClock::WaitUntil(SimTime until, const std::function<bool()> &aborted) {
    for (;;) {
        if (aborted && aborted()) {
            return false;
        }
        SimTime now = Now();
        if (now >= until) {
            return true;
        }
        std::this_thread::sleep_until(start_ + std::min(until, now + kAbortCheckSlice));
    }
}

SimTime WireTime(uint64_t bytes, uint32_t baud) {
    if (baud == 0) {
        return SimTime(0);
    }
    return SimTime(static_cast<int64_t>(bytes * 10u * 1'000'000'000ull / baud));
}

} // namespace ostervane::simulator
