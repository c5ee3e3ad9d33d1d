// Stop signals through sigaction with a one-shot handler.
#include "ostervane/cli/stop_signal.h"

#include <csignal>

namespace ostervane {
namespace {

volatile std::sig_atomic_t stopSignalled = 0;

void NoteStop(int) {
    stopSignalled = 1;
}

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = NoteStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND; // the next signal takes its default course
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // a closed terminal also stops the job cleanly
}

bool StopSignalled() {
    return stopSignalled != 0;
}

} // namespace ostervane
