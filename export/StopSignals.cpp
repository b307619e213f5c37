#include "export/StopSignals.h"

#include "common/StopGate.h"

#include <csignal>

namespace ostrovel {
namespace {

// Every signal whose default action ends the process, except those that
// report a fault of the process itself (SEGV, BUS, ...) and KILL/STOP.
constexpr int kStopSignals[] = {SIGTERM, SIGINT,    SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
                                SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR};

// Only records the stop: the file being written is finished or removed by
// its own thread, which then ends the process (common/StopGate).
extern "C" void onStopSignal(int signal)
{
    RequestStop(signal);
}

bool ignoredByParent(int signal)
{
    struct sigaction previous {};
    return sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN;
}

} // namespace

void InstallStopHandlers()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr); // write() fails with EFBIG
    sigaction(SIGPIPE, &ignore, nullptr); // write() fails with EPIPE

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    for (int signal : kStopSignals) {
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (!ignoredByParent(signal))
            sigaction(signal, &action, nullptr);
    }
}

} // namespace ostrovel
