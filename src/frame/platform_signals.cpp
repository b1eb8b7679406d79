// The stop request of SIGTERM: a flag the work loops ask between two pieces
// of work, so that a stop never lands in the middle of one.
#include <csignal>

#include "frame/platform.h"

namespace {

volatile sig_atomic_t StopSignals = 0;
struct sigaction Before {};

void OnStopSignal(int signalNumber) {
    if (StopSignals == 0) {
        StopSignals = 1;
        return;
    }
    // The second one ends the run as the handler before would have (the
    // terminal guard gives the terminal back and ends with the signal).
    ::sigaction(signalNumber, &Before, nullptr);
    ::raise(signalNumber);
}

}  // namespace

void CatchStopRequests() {
    struct sigaction current {};
    if (::sigaction(SIGTERM, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
    if (current.sa_handler == OnStopSignal) return;
    Before = current;
    struct sigaction handler {};
    handler.sa_handler = OnStopSignal;
    handler.sa_flags = SA_RESTART;  // file work goes on undisturbed
    sigemptyset(&handler.sa_mask);
    ::sigaction(SIGTERM, &handler, nullptr);
}

bool StopRequested() { return StopSignals > 0; }
