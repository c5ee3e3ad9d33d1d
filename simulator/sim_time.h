// Time for the simulated handheld's transports: a virtual clock that jumps (tests) and a real
// monotonic clock that sleeps (pacing), both able to give up a wait when asked to.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace ostervane::simulator {

// Both a point in time (since the clock's start) and a span of time.
using SimTime = std::chrono::nanoseconds;

class SimClock {
public:
    virtual ~SimClock() = default;
    virtual SimTime Now() const = 0;
    // Waits until `until`; returns false as soon as `aborted` returns true (checked at least
    // every few milliseconds while waiting, and once before returning).
    virtual bool WaitUntil(SimTime until, const std::function<bool()> &aborted) = 0;
};

// Never sleeps: a wait moves the clock forward at once, so a 36-second wait takes microseconds.
class VirtualClock : public SimClock {
public:
    SimTime Now() const override { return SimTime(now_.load()); }
    bool WaitUntil(SimTime until, const std::function<bool()> &aborted) override;
    void Advance(SimTime by) { now_.fetch_add(by.count()); }

private:
    std::atomic<int64_t> now_{0};
};

// std::chrono::steady_clock, counted from the clock's construction.
class SteadyClock : public SimClock {
public:
    SteadyClock();
    SimTime Now() const override;
    bool WaitUntil(SimTime until, const std::function<bool()> &aborted) override;

private:
    std::chrono::steady_clock::time_point start_;
};

// The time `bytes` bytes take on a serial line at `baud` bit/s, 10 bits per byte
// (start bit, 8 data bits, stop bit).  Zero when `baud` is 0 (an unpaced line).
SimTime WireTime(uint64_t bytes, uint32_t baud);

} // namespace ostervane::simulator
