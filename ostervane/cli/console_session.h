// What every job run from the command line has around it: the run log opened with its banner,
// the console slot and prompter, the job's turn, and the stop signals; it runs the job on its
// pipe to the end of the turn and turns the outcome into the exit code.
#pragma once

#include <functional>
#include <string>

#include "ostervane/cli/console_prompter.h"
#include "ostervane/cli/console_slot.h"
#include "ostervane/cli/job_turn.h"
#include "ostervane/core/run_log.h"
#include "ostervane/link/debug_packet.h"

namespace ostervane::cli {

class ConsoleSession {
public:
    // Opens "Keelstone.log" in the current folder and writes `banner` as its first line.
    // `turnEnd` says how the job ends its one turn.
    explicit ConsoleSession(const std::string &banner,
                            JobTurn::TurnEnd turnEnd = JobTurn::TurnEnd::WindowClosed);
    ~ConsoleSession();

    // Settings with the slot, its callback and the prompter filled in.
    JobSettings BaseSettings();

    // Attaches the pipe to the job, opens it with `start`, waits for the end of the job's turn
    // or a stop signal, then stops the job and waits for its thread.
    JobTurn::Outcome Run(DebugPacket &job, PipeBase &pipe, const std::function<void()> &start);

    static int ExitCode(JobTurn::Outcome outcome);

    // One job on the serial port at `port`; says why on the error output when the port cannot
    // be opened.  Returns the exit code.
    int RunOnSerialPort(JobSettings settings, const std::string &port);

private:
    RunLog log_;
    ConsoleSlot slot_;
    ConsolePrompter prompter_;
    JobTurn turn_;
};

} // namespace ostervane::cli
