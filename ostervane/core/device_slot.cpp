// The event table: what each slot event does to a device slot.
#include "ostervane/core/device_slot.h"

#include "ostervane/core/slot_event.h"
#include "ostervane/core/status_text.h"

namespace ostervane {

namespace {

void ApplyEvent(uint32_t code, const void *data, DeviceSlot &slot) {
    switch (code) {
    case EvDeviceFound:
    case EvLoadingRom:
    case EvLoadingDriver:
    case EvFlashingWait:
    case EvFlashing:
    case EvResetting:
    case EvSavingRom:
    case EvPortBusy:
        slot.SetStatus(EventStatusText(code));
        break;
    case EvProgressStart:
        slot.StartProgress(data ? *static_cast<const uint16_t *>(data) : 0);
        break;
    case EvProgressEnd:
        slot.EndProgress();
        break;
    case EvProgressStep:
        slot.StepProgress();
        break;
    case EvCloseWindow:
        slot.CloseWindow();
        break;
    case EvJobFailed:
        slot.SetStatus(JobErrorText(data ? *static_cast<const int32_t *>(data) : 0));
        break;
    case EvSlotWaiting:
        slot.SetLabel(data ? static_cast<const char *>(data) : "");
        slot.ShowLabelAndStatus();
        slot.SetStatus(EventStatusText(EvSlotWaiting));
        break;
    case EvLogText:
        slot.WriteLogLine(data ? static_cast<const char *>(data) : "");
        break;
    default:
        break;
    }
}

} // namespace

void ApplySlotEvent(uint32_t code, const void *data, DeviceSlot &slot) {
    ApplyEvent(code & 0xFFFF, data, slot);
    slot.Repaint();
}

SlotCallback DirectSlotCallback() {
    return [](uint32_t code, const void *data, DeviceSlot *slot) {
        if (slot != nullptr) {
            ApplySlotEvent(code, data, *slot);
        }
    };
}

} // namespace ostervane
