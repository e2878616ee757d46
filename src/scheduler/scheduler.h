#pragma once

#include "scheduler/countdown.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/schedulestate.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

class CurlFunctions;

// The one-second tick: decides from the schedule and the clock when the next log is due, shows
// the countdown, and runs the logs, never more than one lookup at a time.
class Scheduler : public QObject
{
    Q_OBJECT

public:
    // tickPlace: where a failure of the tick is reported.
    Scheduler(ScheduleModel *schedule, CurlFunctions *lookup, Clock clock,
              ErrorReport::Place tickPlace, QObject *parent = nullptr);

    // Ticks every 1000 ms while logging is on.
    QTimer &timer() { return m_timer; }
    // Stopping holds the interval's count at the last whole tick (time asleep since then still
    // counts): switching off and on again never gains part of a second.
    void startTimer();
    void stopTimer();

    // The clocks the interval runs on: the boot clock counts time asleep, the monotonic one
    // does not. The system's unless a test gives its own, before logging is switched on.
    void setSteadyClocks(SteadyClock boot, SteadyClock monotonic);

    // What the machine tells: it is about to sleep, or it woke (the tick also sees a wake in
    // the boot clock running ahead of the monotonic one). A scheduled log that falls due from
    // the sleep until the network is up, or at most WakeWaitMs after waking, waits for it.
    void aboutToSleep();
    void woke();
    // Asked while a log waits after waking; up when nothing tells.
    void setNetworkUp(std::function<bool()> up) { m_networkUp = std::move(up); }
    static constexpr qint64 WakeWaitMs = 30'000;
    bool networkIsUp() const { return !m_networkUp || m_networkUp(); }
    qint64 bootMs() const { return m_boot(); }
    // On the boot clock, when the latest lookup began; nothing before the first.
    std::optional<qint64> lastLookupStartMs() const { return m_lastLookupStartMs; }

    // The counts the tick works with.
    const ScheduleState &counts() const { return m_memory.counts; }
    // The daily or weekly span: from now to today's chosen time.
    void recomputeSpan();

    // Logging was switched on: a daily or weekly moment that passed while it was off is not
    // made up for.
    void restartFromNow();

    // One tick: counts, shows the countdown and runs a log that is due.
    void tick();

    // Runs one log now, or right after the one in flight (at most one waits). A scheduled log
    // keeps the tick stopped until it is done.
    void requestLog(bool scheduled);
    // Logging was switched off: a scheduled log waiting behind another is dropped; one the user
    // asked for still runs.
    void dropScheduledLog();
    // Ends the log in flight and forgets the one waiting; no row is added.
    void abortLogs();

Q_SIGNALS:
    // What the status line says while logging is on.
    void countdown(const Countdown::StatusLine &line);
    void progressMaximum(int maximum);
    void progressValue(int value);
    // A box that holds no number takes this text, shown and saved as if typed.
    void intervalFallback(ScheduleModel::Part part, const QString &text);

private:
    enum class Waiting { None, Scheduled, Asked };

    void onLogFinished();
    void modeChosen(ScheduleModel::Mode mode);
    // The interval's count: boot-clock time while the tick runs, so a sleep counts in full and
    // a switch turned off, or a log in flight, holds it at the last whole tick.
    qint64 countedMs() const;
    void restartCount();
    // Runs a scheduled log that fell due, or keeps it until waking is over.
    void scheduledLogDue();
    bool holdingForWake();
    void noticeSleep();

    ScheduleModel *m_schedule;
    CurlFunctions *m_lookup;
    Clock m_clock;
    ErrorReport::Place m_tickPlace;
    SteadyClock m_boot = SteadyClocks::SystemBoot;
    SteadyClock m_monotonic = SteadyClocks::SystemMonotonic;
    // Counted before the tick last started, and the boot clock's reading when it did.
    qint64 m_countedMs = 0;
    std::optional<qint64> m_runningSinceMs;
    // The monotonic clock at the last tick, or when the count last started: the time awake
    // since then is a part of a tick.
    qint64 m_lastCountMonotonicMs = 0;
    // Boot minus monotonic clock at the last tick: it grows only while the machine sleeps.
    std::optional<qint64> m_sleptMs;
    // Told of a coming sleep, on the monotonic clock; the boot clock's end of the wait.
    std::optional<qint64> m_asleepSinceMs;
    std::optional<qint64> m_wakeWaitEndMs;
    bool m_heldLog = false;
    std::optional<qint64> m_lastLookupStartMs;
    std::function<bool()> m_networkUp;
    QTimer m_timer;
    // What the last tick left for the next.
    Countdown::Memory m_memory;
    Waiting m_waiting = Waiting::None;
    bool m_scheduledLogInChain = false;
};
