#include "export/StopSignals.h"

#include "jpeg/FileReplace.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace ostrovel {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

std::atomic<bool> g_stopping{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used in a signal handler");

// Only async-signal-safe calls here.
extern "C" void onStopSignal(int signal)
{
    if (g_stopping.exchange(true)) {
        // Another thread is already cleaning up; it ends the process.
        for (;;)
            pause();
    }
    RemoveTemporaryFiles();
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal); // not reached: the default action ends the process
}

} // namespace

void InstallStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // One cleanup at a time in this thread: the others wait in it.
    for (int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    for (int signal : kStopSignals) {
        struct sigaction previous {};
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
}

} // namespace ostrovel
