#include "tests/support/EventLoopWatch.h"

#include <algorithm>

namespace ostrovel::test {

EventLoopWatch::EventLoopWatch(std::shared_ptr<SlowCalls> calls) : m_calls(std::move(calls))
{
    m_changesSeen = m_calls->changes;
    m_since.start();
    QObject::connect(&m_tick, &QTimer::timeout, [this] { tick(); });
    m_tick.start(10);
}

// A stand-still overlapped a slow call when one runs now or one began or
// ended since the last turn (a call the loop waited for whole included).
void EventLoopWatch::tick()
{
    const qint64 gap = m_since.restart();
    const int changes = m_calls->changes;
    if (m_calls->running > 0 || changes != m_changesSeen)
        m_longest = std::max(m_longest, gap);
    m_changesSeen = changes;
}

} // namespace ostrovel::test
