// One device slot as jobs see it: what a slot can show, the event table that drives it, and
// the callback through which jobs and links report.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ostervane {

// The controls of one slot.  The window, the command line and tests each implement it.
class DeviceSlot {
public:
    virtual ~DeviceSlot() = default;
    virtual void SetStatus(const std::string &text) = 0;
    virtual void SetLabel(const std::string &text) = 0;
    virtual void ShowLabelAndStatus() = 0;
    virtual void StartProgress(uint16_t blocks) = 0; // show the bar, range 0..blocks, position 0
    virtual void StepProgress() = 0;
    virtual void EndProgress() = 0; // position 0, then hide the bar
    virtual void CloseWindow() = 0;
    virtual void WriteLogLine(const std::string &text) = 0;
    virtual void Repaint() {}
};

// Applies one event to a slot as the event table says, then repaints; a code whose low 16
// bits are outside 1..16 only repaints.
void ApplySlotEvent(uint32_t code, const void *data, DeviceSlot &slot);

// How a job or link reports an event to its slot; may be called on any thread.  The window
// carries the call over to its own thread and waits; the command line applies it at once.
using SlotCallback = std::function<void(uint32_t code, const void *data, DeviceSlot *slot)>;

// A callback that applies every event directly on the calling thread.
SlotCallback DirectSlotCallback();

} // namespace ostervane
