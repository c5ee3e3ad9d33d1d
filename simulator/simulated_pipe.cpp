// SimulatedPipe: serial-port time-outs and wire timing between a host job and a handheld.
#include "simulator/simulated_pipe.h"

#include <algorithm>

namespace ostervane::simulator {

namespace {
constexpr SimTime kReadInterval = std::chrono::milliseconds(100);
constexpr SimTime kReadPerByte = std::chrono::milliseconds(100);
constexpr SimTime kReadConstant = std::chrono::milliseconds(500);
constexpr intptr_t kOpenHandle = 1;
} // namespace

SimulatedPipe::SimulatedPipe(HandheldDebugger &handheld, SimulatedPipeOptions options,
                             PipeEventHandler handler, void *context)
    : PipeBase(handler, context), handheld_(handheld), options_(std::move(options)),
      baud_(options_.baud) {
    if (options_.timing == PipeTiming::Virtual) {
        auto clock = std::make_unique<VirtualClock>();
        virtual_ = clock.get();
        clock_ = std::move(clock);
    } else {
        clock_ = std::make_unique<SteadyClock>();
    }
    deviceName_ = options_.deviceName;
    displayName_ = options_.displayName;
}

void SimulatedPipe::Open() {
    {
        std::lock_guard lock(mutex_);
        if (IsOpenLocked()) {
            return;
        }
        readHandle_ = kOpenHandle;
        writeHandle_ = kOpenHandle;
        SetOpenFlag(true);
        ScheduleHandheldOutput();
        const SimTime now = clock_->Now();
        while (!incoming_.empty() && incoming_.front().arrival <= now) {
            incoming_.pop_front();
        }
        if (options_.announceOnOpen) {
            handheld_.Announce(now + options_.announceDelay);
        }
    }
    Notify(PipeOpened, nullptr, 0);
}

int32_t SimulatedPipe::Close() {
    bool wasOpen = false;
    {
        std::lock_guard lock(mutex_);
        wasOpen = IsOpenLocked();
        SetOpenFlag(false);
        readHandle_ = kClosedHandle;
        writeHandle_ = kClosedHandle;
    }
    if (wasOpen) {
        Notify(PipeClosed, nullptr, 0);
    }
    return 0;
}

void SimulatedPipe::SetMaxBaudRate(uint32_t) {
    std::lock_guard lock(mutex_);
    baud_ = kMaxBaudRate;
}

PipeCounters SimulatedPipe::Counters() const {
    std::lock_guard lock(mutex_);
    return counters_;
}

size_t SimulatedPipe::PendingBytes() const {
    std::lock_guard lock(mutex_);
    return incoming_.size();
}

void SimulatedPipe::ScheduleHandheldOutput() {
    for (Transmission &t : handheld_.TakeOutput()) {
        SimTime start = std::max(t.notBefore, handheldLineFree_ + t.gap);
        for (size_t i = 0; i < t.bytes.size(); ++i) {
            incoming_.push_back({t.bytes[i], start + WireTime(i + 1, baud_)});
        }
        handheldLineFree_ = start + WireTime(t.bytes.size(), baud_);
    }
}

bool SimulatedPipe::WaitUntil(std::unique_lock<std::mutex> &lock, SimTime until) {
    auto aborted = [this] { return IsAborted(); };
    if (virtual_ != nullptr) {
        return clock_->WaitUntil(until, aborted);
    }
    lock.unlock();
    bool reached = clock_->WaitUntil(until, aborted);
    lock.lock();
    return reached;
}

int32_t SimulatedPipe::ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) {
    std::unique_lock lock(mutex_);
    ++counters_.receives;
    if (!IsOpenLocked()) {
        return kClosedError;
    }
    ScheduleHandheldOutput();

    // Where the read ends: after `count` bytes, or when a time-out runs out first.
    const SimTime start = clock_->Now();
    const SimTime totalDeadline = start + kReadConstant + kReadPerByte * count;
    SimTime end = totalDeadline;
    SimTime lastByte{0};
    uint32_t taken = 0;
    for (const ScheduledByte &byte : incoming_) {
        if (taken == count) {
            break;
        }
        SimTime limit =
            taken == 0 ? totalDeadline : std::min(totalDeadline, lastByte + kReadInterval);
        if (byte.arrival > limit) {
            end = limit;
            break;
        }
        lastByte = std::max(byte.arrival, start);
        ++taken;
        end = taken == count ? lastByte : std::min(totalDeadline, lastByte + kReadInterval);
    }
    if (!WaitUntil(lock, end)) {
        return PipeAborted;
    }
    taken = std::min<uint32_t>(taken, static_cast<uint32_t>(incoming_.size()));
    for (uint32_t i = 0; i < taken; ++i) {
        buffer[i] = incoming_.front().value;
        incoming_.pop_front();
    }
    *received = taken;
    counters_.bytesFromHandheld += taken;
    if (taken == 0) {
        ++counters_.emptyReceives;
    }
    return 0;
}

int32_t SimulatedPipe::SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) {
    std::unique_lock lock(mutex_);
    ++counters_.sends;
    if (!IsOpenLocked()) {
        return kClosedError;
    }
    const SimTime arrival = std::max(clock_->Now(), hostLineFree_) + WireTime(count, baud_);
    hostLineFree_ = arrival;
    if (!WaitUntil(lock, arrival)) {
        return PipeAborted;
    }
    handheld_.Receive(buffer, count, arrival);
    ScheduleHandheldOutput();
    *sent = count;
    counters_.bytesToHandheld += count;
    return 0;
}

} // namespace ostervane::simulator
