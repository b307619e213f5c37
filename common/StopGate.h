#pragma once
// A stop signal never ends the process while a file is being replaced: the
// signal handler only records the stop, and the last write in flight ends
// the process once its file is complete or removed.

namespace ostrovel {

/// Held around one file replacement. While any is held, a stop signal is
/// only recorded; the last one to end then ends the process by it.
class StopGate {
public:
    StopGate() noexcept;
    ~StopGate();
    StopGate(const StopGate&) = delete;
    StopGate& operator=(const StopGate&) = delete;

    /// True when a stop is pending: the caller starts no new file.
    bool stopping() const noexcept;
};

/// From a signal handler: records `signal` as the stop and, unless a write
/// is in flight, ends the process by it at once (async-signal-safe).
void RequestStop(int signal) noexcept;

} // namespace ostrovel
