#pragma once

#include "core/clock.h"

#include <optional>

// The interval's count: time on the boot clock while the tick runs, so that a sleep counts in
// full. Stopping holds it at the last whole tick (time asleep since then still counts), so that
// switching off and on again, or a log in flight, never gains part of a second.
class TickCount
{
public:
    // The boot clock counts time asleep, the monotonic one does not. The system's unless a test
    // gives its own, before the count first starts.
    void setClocks(SteadyClock boot, SteadyClock monotonic);
    qint64 bootMs() const { return m_boot(); }
    qint64 monotonicMs() const { return m_monotonic(); }

    // Starting a running count, or stopping a stopped one, changes nothing.
    void start();
    void stop();
    // From zero, running on if it runs.
    void restart();
    // At a tick: the whole seconds counted, to the nearest, since the timer may come a little
    // early or late and a count cut down would log a tick late.
    qint32 tickSeconds();

private:
    qint64 countedMs() const;

    SteadyClock m_boot = SteadyClocks::SystemBoot;
    SteadyClock m_monotonic = SteadyClocks::SystemMonotonic;
    // Counted before the count last started, and the boot clock's reading when it did.
    qint64 m_countedMs = 0;
    std::optional<qint64> m_runningSinceMs;
    // The monotonic clock at the last tick, or when the count last started: the time awake
    // since then is a part of a tick.
    qint64 m_lastTickMonotonicMs = 0;
};
