#include "scheduler/wakewait.h"

void WakeWait::forgetSleeps(qint64 bootMs, qint64 monotonicMs)
{
    m_sleptMs = bootMs - monotonicMs;
    m_asleepSinceMs.reset();
    m_waitEndMs.reset();
}

void WakeWait::aboutToSleep(qint64 monotonicMs)
{
    m_asleepSinceMs = monotonicMs;
}

void WakeWait::woke(qint64 bootMs)
{
    m_asleepSinceMs.reset();
    if (!m_waitEndMs)
        m_waitEndMs = bootMs + WaitMs;
}

void WakeWait::noticeSleep(qint64 bootMs, qint64 monotonicMs)
{
    // Where logind does not tell (or tells after this tick), the clocks do.
    const qint64 slept = bootMs - monotonicMs;
    if (m_sleptMs && slept - *m_sleptMs >= 1000)
        woke(bootMs);
    m_sleptMs = slept;
}

bool WakeWait::holding(qint64 bootMs, qint64 monotonicMs)
{
    // The monotonic clock stands while asleep.
    if (m_asleepSinceMs && monotonicMs - *m_asleepSinceMs < WaitMs)
        return true;
    m_asleepSinceMs.reset();
    if (!m_waitEndMs)
        return false;
    if (bootMs < *m_waitEndMs && !networkIsUp())
        return true;
    m_waitEndMs.reset();
    return false;
}
