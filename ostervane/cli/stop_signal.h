// Ctrl-C, termination requests and hang-ups: the first one is only noted, so the main thread can
// stop the job cleanly; a second one ends the program at once.
#pragma once

namespace ostervane {

void InstallStopSignals(); // SIGINT, SIGTERM and SIGHUP
bool StopSignalled();

inline constexpr int kExitStopped = 130;

} // namespace ostervane
