#pragma once

#include <QtGlobal>
#include <functional>
#include <optional>

// Waking from a sleep: a scheduled log that falls due from the sleep until the network is up,
// or at most WaitMs after waking, waits for it. The machine tells of a sleep and a wake (logind),
// and the clocks tell of a wake too: the boot clock runs ahead of the monotonic one while asleep.
// Readings come in milliseconds on those two clocks.
class WakeWait
{
public:
    static constexpr qint64 WaitMs = 30'000;

    // Asked while a log waits after waking; up when nothing tells.
    void setNetworkUp(std::function<bool()> up) { m_networkUp = std::move(up); }
    bool networkIsUp() const { return !m_networkUp || m_networkUp(); }

    // Logging was switched on: a sleep while it was off is no wake to wait after.
    void forgetSleeps(qint64 bootMs, qint64 monotonicMs);
    void aboutToSleep(qint64 monotonicMs);
    // One wait per waking, though both logind and the clocks tell of it.
    void woke(qint64 bootMs);
    // At each tick: a second or more slept since the last one is a wake.
    void noticeSleep(qint64 bootMs, qint64 monotonicMs);
    // Whether a log that falls due now waits. A sleep announced but never followed by a wake
    // (one that failed unheard) holds no longer than a wait would.
    bool holding(qint64 bootMs, qint64 monotonicMs);

private:
    std::function<bool()> m_networkUp;
    // Boot minus monotonic clock at the last tick: it grows only while the machine sleeps.
    std::optional<qint64> m_sleptMs;
    // Told of a coming sleep, on the monotonic clock; the boot clock's end of the wait.
    std::optional<qint64> m_asleepSinceMs;
    std::optional<qint64> m_waitEndMs;
};
