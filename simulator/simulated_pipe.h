// SimulatedPipe: the in-process line between a host job and a simulated handheld, behaving
// like a serial port with its read time-outs, on a virtual clock (tests) or a real one (pacing).
//
// Reads of n bytes give up 100 ms after the last byte that came, or 100 ms per byte plus
// 500 ms after they began, so an empty one-byte read returns 0 bytes after 600 ms.  Every byte
// takes its wire time at the line's rate (10 bits per byte) in both directions: a send returns
// when its last byte has reached the handheld, and the handheld's bytes become readable at
// their arrival time.  With PipeTiming::Virtual nothing sleeps (time jumps to where the read
// or send would end); with PipeTiming::Paced the pipe sleeps on the steady clock, so a backup
// takes as long as it would on a real line.  Abort() ends a transfer under way with 777 within
// a few milliseconds.
//
// Typical use in a test:
//   auto handheld = MakeHandheld(*FindHandheldModel("68k-v3"));
//   SimulatedPipe pipe(*handheld);
//   job.AttachPipe(&pipe);
//   pipe.Open();   // raises PipeOpened (the job thread starts); the handheld announces itself
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "ostervane/link/pipe_base.h"
#include "simulator/debugger.h"
#include "simulator/sim_time.h"

namespace ostervane::simulator {

enum class PipeTiming { Virtual, Paced };

struct SimulatedPipeOptions {
    PipeTiming timing = PipeTiming::Virtual;
    uint32_t baud = 57600;
    bool hotPlug = false;
    // Open() makes a handheld that sits in its debugger send its state packet, this long after.
    bool announceOnOpen = true;
    SimTime announceDelay{0};
    std::string displayName = "SIM";
    std::string deviceName = "simulated";
};

struct PipeCounters {
    uint64_t bytesToHandheld = 0;
    uint64_t bytesFromHandheld = 0; // read by the host
    uint32_t sends = 0;
    uint32_t receives = 0;
    uint32_t emptyReceives = 0; // receives that timed out with no byte
};

class SimulatedPipe : public PipeBase {
public:
    // Error of a transfer on a closed pipe, as a closed descriptor gives.
    static constexpr int32_t kClosedError = 9; // EBADF

    explicit SimulatedPipe(HandheldDebugger &handheld, SimulatedPipeOptions options = {},
                           PipeEventHandler handler = nullptr, void *context = nullptr);

    // Sets the open flag and the handles, discards bytes already waiting (as a serial open
    // purges its input), lets the handheld announce itself, then raises PipeOpened.  Does
    // nothing when already open.
    void Open();

    int32_t Configure(uint32_t) override { return 0; }
    // Clears the open flag and the handles; raises PipeClosed if the pipe was open.
    int32_t Close() override;
    bool IsHotPlug() const override { return options_.hotPlug; }
    uint32_t GetMaxBaudRate() override { return kMaxBaudRate; }
    // Switches the line to 115200 bit/s, whatever the argument, as a serial pipe does.
    void SetMaxBaudRate(uint32_t rate) override;

    SimTime Now() const { return clock_->Now(); }
    PipeCounters Counters() const;
    // Bytes the handheld has put on the line that the host has not read yet.
    size_t PendingBytes() const;
    // The virtual clock, or nullptr in paced mode; tests may move it forward.
    VirtualClock *Virtual() { return virtual_; }

protected:
    int32_t ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) override;
    int32_t SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) override;

private:
    static constexpr uint32_t kMaxBaudRate = 115200;

    struct ScheduledByte {
        uint8_t value;
        SimTime arrival;
    };

    bool IsOpenLocked() const { return (flags_.load() & kOpenFlag) != 0; }
    void ScheduleHandheldOutput();
    bool WaitUntil(std::unique_lock<std::mutex> &lock, SimTime until);

    HandheldDebugger &handheld_;
    SimulatedPipeOptions options_;
    std::unique_ptr<SimClock> clock_;
    VirtualClock *virtual_ = nullptr;

    mutable std::mutex mutex_;
    std::deque<ScheduledByte> incoming_; // handheld to host, in arrival order
    SimTime handheldLineFree_{0};
    SimTime hostLineFree_{0};
    uint32_t baud_;
    PipeCounters counters_;
};

} // namespace ostervane::simulator
