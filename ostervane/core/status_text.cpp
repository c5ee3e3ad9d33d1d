// Status texts of slot events and job results.
#include "ostervane/core/status_text.h"

#include "ostervane/core/slot_event.h"

namespace ostervane {

const char *EventStatusText(uint32_t code) {
    switch (code & 0xFFFF) {
    case EvDeviceFound:
        return "Device Found";
    case EvLoadingRom:
        return "Loading ROM";
    case EvLoadingDriver:
        return "Loading Driver";
    case EvFlashingWait:
        return "Flashing ROM - Please Wait";
    case EvFlashing:
        return "Flashing ROM";
    case EvResetting:
        return "Reset...";
    case EvSavingRom:
        return "Saving ROM";
    case EvSlotWaiting:
        return "Waiting...";
    case EvPortBusy:
        return "COM Port Busy";
    default:
        return nullptr;
    }
}

std::string JobErrorText(int32_t code) {
    switch (code) {
    case ErrNoSmallRom:
        return "No Small ROM Found";
    case ErrNoBigRom:
        return "No Big ROM Found";
    case ErrRead:
        return "USB Read Error";
    case ErrWrite:
        return "USB Write Error";
    case ErrWrongDevice:
        return "Wrong Device For ROM";
    case ErrCannotOpenFile:
        return "Cannot open ROM file";
    case ErrBadSignature:
        return "Bad Packet Signature";
    case ErrRomChecksum:
        return "ROM Checksum Failed";
    default:
        return "Error: " + std::to_string(code);
    }
}

} // namespace ostervane
