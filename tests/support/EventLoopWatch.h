#pragma once
// How long the event loop stood still while slow file-system work ran: what
// a user feels as a frozen window.

#include "tests/support/TestFiles.h"

#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <memory>

namespace ostrovel::test {

/// The longest the event loop may stand still while slow work runs. A
/// window should answer within 100 ms; twice that leaves room for a busy
/// machine running tests in parallel, more for a sanitizer's bookkeeping.
/// The slow calls of the tests take longer than this.
constexpr qint64 kServedWithinMs = kSanitizerBuild ? 800 : 200;

/// Slow calls in flight, told by the test's hooks from any thread (shared:
/// an abandoned call may outlive the test's objects).
struct SlowCalls {
    std::atomic<int> running{0};
    std::atomic<int> changes{0}; ///< begins and ends so far

    /// Marks one slow call for its lifetime.
    class Scope {
    public:
        explicit Scope(SlowCalls& calls) : m_calls(calls) { ++m_calls.running, ++m_calls.changes; }
        ~Scope() { --m_calls.running, ++m_calls.changes; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        SlowCalls& m_calls;
    };
};

/// Notes the longest time between two turns of the event loop (a 10 ms
/// timer) that overlapped a slow call: the window's own work in between,
/// which a busy machine may stretch, is not what is measured.
class EventLoopWatch {
public:
    explicit EventLoopWatch(std::shared_ptr<SlowCalls> calls);
    EventLoopWatch(const EventLoopWatch&) = delete;
    EventLoopWatch& operator=(const EventLoopWatch&) = delete;

    /// The longest stand-still in ms that overlapped a slow call.
    qint64 longestGap() const { return m_longest; }

private:
    void tick();

    std::shared_ptr<SlowCalls> m_calls;
    QTimer m_tick;
    QElapsedTimer m_since;
    int m_changesSeen = 0;
    qint64 m_longest = 0;
};

} // namespace ostrovel::test
