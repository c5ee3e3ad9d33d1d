// The options of the job commands: (--port PATH | --usb) FILE, for a backup also --restart, and
// for a restore also --yes, --only-changed and --slots N.
#pragma once

#include <string>

#include "ostervane/cli/commands.h"

namespace ostervane::cli {

struct JobOptions {
    std::string port;
    std::string file;
    bool usb = false;
    bool help = false;
    bool restart = false;       // backup only
    bool acceptWarning = false; // restore only
    bool onlyChanged = false;   // restore only
    int slots = 0;              // restore only; 0: not given
};

// Fills `options` for `command` ("backup" or "restore"); returns the problem with the
// arguments, or "" when there is none.
std::string ParseJobOptions(const Arguments &args, const std::string &command, JobOptions *options);

} // namespace ostervane::cli
