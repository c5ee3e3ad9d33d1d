// The one turn of a job run from the command line: applies the job's events to its slot one at
// a time, notes how the turn ended, and lets the main thread wait for that end or a stop.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "ostervane/core/device_slot.h"

namespace ostervane {

class JobTurn {
public:
    enum class Outcome { Succeeded, Failed, PortBusy, Stopped };

    // How the job says its turn is over: a backup closes the window; a restore over a serial
    // pipe puts its slot back to "Waiting..." for the next handheld.
    enum class TurnEnd { WindowClosed, SlotWaitingAgain };

    explicit JobTurn(TurnEnd end = TurnEnd::WindowClosed) : end_(end) {}

    // The callback to give the job: events go to the slot under a lock until the turn ends
    // (as `end` says, or the port reported busy); later ones are dropped, and the slot waiting
    // again is not shown, so the slot's last status is the job's own.
    SlotCallback Callback();

    // Waits until the turn ends or `stopRequested` turns true (asked every 100 ms).
    Outcome Wait(const std::function<bool()> &stopRequested);

    // The failed job's result, 0 when no job failed.
    int32_t Result() const;

private:
    void Apply(uint32_t code, const void *data, DeviceSlot *slot);
    bool EndsTurn(uint32_t event) const;

    TurnEnd end_;
    mutable std::mutex mutex_;
    std::condition_variable endedSignal_;
    bool ended_ = false;
    bool portBusy_ = false;
    bool jobReported_ = false; // the job has reported more than the pipe's attachment
    int32_t result_ = 0;
};

} // namespace ostervane
