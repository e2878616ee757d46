#pragma once

#include "core/clock.h"
#include "core/errorreport.h"
#include "scheduler/countdown.h"
#include "scheduler/logqueue.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/schedulestate.h"
#include "scheduler/tickcount.h"
#include "scheduler/wakewait.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

class CurlFunctions;

// The one-second tick: counts, asks the countdown what is due and what to show, and tells it
// on; a log that falls due goes to the queue of logs, or waits while the machine wakes.
class Scheduler : public QObject
{
    Q_OBJECT

public:
    // tickPlace: where a failure of the tick is reported.
    Scheduler(const ScheduleModel *schedule, CurlFunctions *lookup, Clock clock,
              ErrorReport::Place tickPlace, QObject *parent = nullptr);

    // Ticks every 1000 ms while logging is on.
    QTimer &timer() { return m_timer; }
    // Stopping holds the interval's count at the last whole tick.
    void startTimer();
    void stopTimer();

    // The clocks the interval runs on (see TickCount), before logging is switched on.
    void setSteadyClocks(SteadyClock boot, SteadyClock monotonic);

    // What the machine tells: it is about to sleep, or it woke (see WakeWait).
    void aboutToSleep();
    void woke();
    // Asked while a log waits after waking; up when nothing tells.
    void setNetworkUp(std::function<bool()> up) { m_wake.setNetworkUp(std::move(up)); }
    bool networkIsUp() const { return m_wake.networkIsUp(); }
    qint64 bootMs() const { return m_count.bootMs(); }
    // On the boot clock, when the latest lookup began; nothing before the first.
    std::optional<qint64> lastLookupStartMs() const { return m_queue->lastStartMs(); }

    // The counts the tick works with.
    const ScheduleState &counts() const { return m_memory.counts; }
    // The daily or weekly span: from now to today's chosen time.
    void recomputeSpan();

    // Logging was switched on: a daily or weekly moment that passed while it was off is not
    // made up for, and a sleep while it was off holds no log for the network.
    void restartFromNow();

    // One tick: counts, shows the countdown and runs a log that is due.
    void tick();

    // Runs one log now, or right after the one in flight (see LogQueue). A log of the schedule
    // stops the tick until it is done.
    void requestLog(LogQueue::Reason reason);
    // Logging was switched off: a log of the schedule that waits is dropped.
    void dropScheduledLog() { m_queue->dropScheduled(); }
    // Ends the log in flight and forgets the one waiting; no row is added.
    void abortLogs() { m_queue->abort(); }

Q_SIGNALS:
    // What the status line says while logging is on.
    void countdown(const Countdown::StatusLine &line);
    void progressMaximum(int maximum);
    void progressValue(int value);
    // A box that holds no number takes this text, shown and saved as if typed.
    void intervalFallback(ScheduleModel::Part part, const QString &text);

private:
    void modeChosen(ScheduleModel::Mode mode);
    void restartCount();
    void tellOutcome(const Countdown::Outcome &outcome);
    // Runs a log of the schedule that fell due, or keeps it until waking is over.
    void scheduledLogDue(LogQueue::Reason reason);
    bool holdingForWake();

    const ScheduleModel *m_schedule;
    Clock m_clock;
    ErrorReport::Place m_tickPlace;
    TickCount m_count;
    WakeWait m_wake;
    LogQueue *m_queue;
    QTimer m_timer;
    // What the last tick left for the next.
    Countdown::Memory m_memory;
};
