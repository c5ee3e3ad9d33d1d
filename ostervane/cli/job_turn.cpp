// JobTurn: the lock around the slot, the end of the turn, and the wait for it.
#include "ostervane/cli/job_turn.h"

#include <chrono>

#include "ostervane/core/slot_event.h"

namespace ostervane {

SlotCallback JobTurn::Callback() {
    return [this](uint32_t code, const void *data, DeviceSlot *slot) { Apply(code, data, slot); };
}

void JobTurn::Apply(uint32_t code, const void *data, DeviceSlot *slot) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (ended_ || slot == nullptr) {
        return;
    }
    uint32_t event = code & 0xFFFF;
    if (EndsTurn(event)) {
        ended_ = true;
        endedSignal_.notify_all();
        return;
    }
    jobReported_ = jobReported_ || event != EvSlotWaiting;
    ApplySlotEvent(code, data, *slot);
    switch (event) {
    case EvJobFailed:
        result_ = data ? *static_cast<const int32_t *>(data) : 0;
        break;
    case EvPortBusy:
        portBusy_ = true;
        ended_ = true;
        break;
    case EvCloseWindow:
        ended_ = end_ == TurnEnd::WindowClosed;
        break;
    default:
        break;
    }
    if (ended_) {
        endedSignal_.notify_all();
    }
}

// The attachment reports the slot waiting before the job starts; the job reporting it again
// means its one run is over and it would wait for the next handheld.
bool JobTurn::EndsTurn(uint32_t event) const {
    return end_ == TurnEnd::SlotWaitingAgain && event == EvSlotWaiting && jobReported_;
}

JobTurn::Outcome JobTurn::Wait(const std::function<bool()> &stopRequested) {
    std::unique_lock<std::mutex> hold(mutex_);
    while (!ended_) {
        if (stopRequested && stopRequested()) {
            ended_ = true; // whatever the job still reports is dropped
            return Outcome::Stopped;
        }
        endedSignal_.wait_for(hold, std::chrono::milliseconds(100));
    }
    if (portBusy_) {
        return Outcome::PortBusy;
    }
    return result_ != 0 ? Outcome::Failed : Outcome::Succeeded;
}

int32_t JobTurn::Result() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return result_;
}

} // namespace ostervane
