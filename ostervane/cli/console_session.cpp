// ConsoleSession: the run log, the console slot and prompter, and one job's turn.
#include "ostervane/cli/console_session.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "ostervane/cli/commands.h"
#include "ostervane/cli/stop_signal.h"
#include "ostervane/platform/partial_backup_file.h"
#include "ostervane/platform/serial_pipe.h"
#include "ostervane/platform/serial_port_list.h"

namespace ostervane::cli {

ConsoleSession::ConsoleSession(const std::string &banner, JobTurn::TurnEnd turnEnd)
    : slot_(stdout, isatty(STDOUT_FILENO) != 0, &log_), prompter_(stderr), turn_(turnEnd) {
    if (!log_.Open(kLogFileName)) {
        std::fprintf(stderr, "ostervane-cli: cannot open %s; the run is not logged\n",
                     kLogFileName);
    }
    log_.WriteLogLine(banner);
}

ConsoleSession::~ConsoleSession() {
    log_.Close();
}

JobSettings ConsoleSession::BaseSettings() {
    JobSettings settings;
    settings.makeRomFile = NewPartialBackupFile;
    settings.slotCallback = turn_.Callback();
    settings.slot = &slot_;
    settings.prompter = &prompter_;
    return settings;
}

JobTurn::Outcome ConsoleSession::Run(DebugPacket &job, PipeBase &pipe,
                                     const std::function<void()> &start) {
    InstallStopSignals();
    job.AttachPipe(&pipe);
    start();
    JobTurn::Outcome outcome = turn_.Wait(StopSignalled);
    job.RequestStop();
    job.JoinJobThread();
    slot_.FinishLine();
    if (outcome == JobTurn::Outcome::Stopped) {
        std::fputs("Stopped.\n", stderr);
    }
    return outcome;
}

int ConsoleSession::ExitCode(JobTurn::Outcome outcome) {
    switch (outcome) {
    case JobTurn::Outcome::Succeeded:
        return kExitSuccess;
    case JobTurn::Outcome::Stopped:
        return kExitStopped;
    default:
        return kExitJobFailed;
    }
}

int ConsoleSession::RunOnSerialPort(JobSettings settings, const std::string &port) {
    // The pipe outlives the job, which aborts it when it is destroyed.
    SerialPipe pipe(port, PortDisplayName(port), 0, nullptr, nullptr);
    DebugPacket job(std::move(settings));
    JobTurn::Outcome outcome = Run(job, pipe, [&pipe] { pipe.Start(); });
    if (outcome == JobTurn::Outcome::PortBusy && pipe.LastOpenError() != 0) {
        std::fprintf(stderr, "ostervane-cli: %s: %s\n", port.c_str(),
                     std::strerror(pipe.LastOpenError()));
    }
    return ExitCode(outcome);
}

} // namespace ostervane::cli
