// The USB side of backup and restore: the run log with its banner, the libusb library, the
// stop signals, and the jobs run on the handhelds that arrive.
#include <cstdio>

#include <unistd.h>

#include "ostervane/cli/commands.h"
#include "ostervane/cli/console_prompter.h"
#include "ostervane/cli/console_session.h"
#include "ostervane/cli/stop_signal.h"
#include "ostervane/cli/usb_jobs.h"
#include "ostervane/platform/usb_port_library_libusb.h"

namespace ostervane::cli {

int RunUsbCommand(const std::string &banner, JobSettings settings, int slots) {
    RunLog log;
    if (!log.Open(kLogFileName)) {
        std::fprintf(stderr, "ostervane-cli: cannot open %s; the run is not logged\n",
                     kLogFileName);
    }
    log.WriteLogLine(banner);
    LibusbPortLibrary library;
    if (library.StartStatus() != 0) {
        std::fprintf(stderr, "ostervane-cli: USB cannot be used (error %X)\n",
                     static_cast<unsigned>(library.StartStatus()));
        return kExitJobFailed;
    }
    // The devices the library leaves alone, and why, are worth seeing at once.
    library.SetLog([&log](const std::string &line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        log.WriteLogLine(line);
    });
    ConsolePrompter prompter(stderr);
    settings.prompter = &prompter;
    InstallStopSignals();
    std::fprintf(stderr, "Plug in %s sitting in its debugger; Ctrl-C stops.\n",
                 slots == 1 ? "a handheld" : "the handhelds");
    UsbConsole console{stdout, isatty(STDOUT_FILENO) != 0, &log, StopSignalled};
    JobTurn::Outcome outcome = RunUsbJobs(library, settings, slots, console);
    if (outcome == JobTurn::Outcome::Stopped) {
        std::fputs("Stopped.\n", stderr);
    }
    return ConsoleSession::ExitCode(outcome);
}

} // namespace ostervane::cli
