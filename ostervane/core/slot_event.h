// The numbers in which jobs and links report to their device slot: slot events and job results.
#pragma once

#include <cstdint>

namespace ostervane {

// Event codes passed to a slot; only the low 16 bits count, and codes outside 1..16 change nothing.
enum SlotEvent : uint32_t {
    EvDeviceFound = 1,
    EvLoadingRom = 2,
    EvLoadingDriver = 3,
    EvFlashingWait = 4,
    EvFlashing = 5,
    EvProgressStart = 6, // data: const uint16_t *, the transfer's size in 4,096-byte blocks
    EvProgressEnd = 7,
    EvProgressStep = 8,
    EvResetting = 9,
    EvCloseWindow = 10,
    EvSavingRom = 11,
    EvJobFailed = 12,   // data: const int32_t *, the job's result
    EvSlotWaiting = 14, // data: const char *, the link's display name
    EvLogText = 15,     // data: const char *, one log line's text
    EvPortBusy = 16,
};

// Results of a job's sequence: 0 is success; these are the program's own failures.  Any other
// non-zero value comes from the link (pipe statuses, errno values) or a reply's command byte.
enum JobError : int32_t {
    JobSucceeded = 0,
    ErrNoSmallRom = 0x8000,
    ErrNoBigRom = 0x8001,
    ErrRead = 0x8002,
    ErrWrite = 0x8003,
    ErrWrongDevice = 0x8004,
    ErrCannotOpenFile = 0x8005,
    ErrBadSignature = 0x8006, // also a header checksum, CRC or body size that does not hold
    ErrNoResponse = 0x8007,
    ErrRomChecksum = 0x8008, // the saved ROM does not match the checksum its header carries
};

} // namespace ostervane
