#include "common/StopGate.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace ostrovel {
namespace {

std::atomic<int> g_writes{0};     // file replacements in flight
std::atomic<int> g_stopSignal{0}; // the first stop signal received, 0 before
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

// Ends the process by `signal`, so a shell sees 128 + signal. Only
// async-signal-safe calls.
[[noreturn]] void endBy(int signal) noexcept
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal); // not reached: the default action ends the process
}

} // namespace

// Both sides store first and load second (sequentially consistent): either
// the handler sees the write in flight, or the write sees the stop.
StopGate::StopGate() noexcept
{
    g_writes.fetch_add(1);
}

StopGate::~StopGate()
{
    if (g_writes.fetch_sub(1) == 1)
        if (const int signal = g_stopSignal.load())
            endBy(signal);
}

bool StopGate::stopping() const noexcept
{
    return g_stopSignal.load() != 0;
}

void RequestStop(int signal) noexcept
{
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, signal);
    if (g_writes.load() == 0)
        endBy(g_stopSignal.load());
}

} // namespace ostrovel
