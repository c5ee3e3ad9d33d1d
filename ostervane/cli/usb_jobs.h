// The USB jobs of one command: a notifier on the given USB library, one job and pipe per slot,
// and the loop that applies the library's notifications on the calling thread until the jobs
// are done or a stop is asked for.
#pragma once

#include <cstdio>
#include <functional>

#include "ostervane/cli/job_turn.h"
#include "ostervane/core/run_log.h"
#include "ostervane/link/debug_packet.h"
#include "ostervane/link/usb_port_library.h"

namespace ostervane::cli {

inline constexpr int kMaxUsbSlots = 8;

struct UsbConsole {
    std::FILE *out = stdout;
    bool interactive = false; // the output is a terminal (a single slot redraws its bar)
    RunLog *log = nullptr;
    std::function<bool()> stopRequested; // asked every 100 ms
};

// Runs `jobs` jobs on `slots` slots ("USB 1".."USB N"), each job on a handheld that arrives.
// `settings` is every job's (slot and callback are filled in per slot).  A backup uses one
// slot and ends with its one job.  Failed when any job failed; Stopped when stopped first.
JobTurn::Outcome RunUsbJobs(UsbPortLibrary &library, const JobSettings &settings, int slots,
                            const UsbConsole &console);

} // namespace ostervane::cli
