#include "scheduler/tickcount.h"

#include <algorithm>
#include <limits>

void TickCount::setClocks(SteadyClock boot, SteadyClock monotonic)
{
    m_boot = std::move(boot);
    m_monotonic = std::move(monotonic);
}

qint64 TickCount::countedMs() const
{
    return m_countedMs + (m_runningSinceMs ? m_boot() - *m_runningSinceMs : 0);
}

void TickCount::start()
{
    if (m_runningSinceMs)
        return;
    m_runningSinceMs = m_boot();
    m_lastTickMonotonicMs = m_monotonic();
}

void TickCount::stop()
{
    if (!m_runningSinceMs)
        return;
    // The next start goes on from the count the last tick showed: the part of a second since
    // then would otherwise bring every log after it a tick early. Time asleep since then still
    // counts.
    const qint64 counted = countedMs() - (m_monotonic() - m_lastTickMonotonicMs);
    m_countedMs = std::max<qint64>(0, (counted + 500) / 1000 * 1000);
    m_runningSinceMs.reset();
}

void TickCount::restart()
{
    m_countedMs = 0;
    if (m_runningSinceMs) {
        m_runningSinceMs = m_boot();
        m_lastTickMonotonicMs = m_monotonic();
    }
}

qint32 TickCount::tickSeconds()
{
    const qint64 seconds = (countedMs() + 500) / 1000;
    m_lastTickMonotonicMs = m_monotonic();
    return qint32(std::clamp<qint64>(seconds, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}
