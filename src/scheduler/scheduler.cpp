#include "scheduler/scheduler.h"

#include "core/errorreport.h"
#include "core/failure.h"
#include "lookup/curlfunctions.h"
#include "scheduler/schedulerules.h"

#include <algorithm>
#include <limits>

namespace {

const QString StatusPrefix = QStringLiteral("On. Next Log will occur in: ");

qint32 clampToCount(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

// The countdown of a difference that may not fit a count; only its place within a day shows.
QString countdown(qint64 seconds)
{
    return ScheduleRules::FormatSeconds(qint32(seconds % 86400));
}

} // namespace

Scheduler::Scheduler(ScheduleModel *schedule, CurlFunctions *lookup, Clock clock,
                     ErrorReport::Place tickPlace, QObject *parent)
    : QObject(parent),
      m_schedule(schedule),
      m_lookup(lookup),
      m_clock(std::move(clock)),
      m_tickPlace(std::move(tickPlace))
{
    connect(&m_timer, &QTimer::timeout, this, &Scheduler::tick);
    connect(m_lookup, &CurlFunctions::logFinished, this, &Scheduler::onLogFinished);
    connect(m_schedule, &ScheduleModel::modeChosen, this, &Scheduler::modeChosen);
    // A new time or day is a new schedule: its moment logs even on a day that already logged.
    connect(m_schedule, &ScheduleModel::scheduleChanged, this,
            [this] { m_lastScheduledDay = QDate(); });
    connect(m_schedule, &ScheduleModel::timeChanged, this, [this] {
        if (m_schedule->mode() != ScheduleModel::Mode::Daily)
            return;
        StepRunner steps(m_schedule->places().time);
        steps.step(102, [this] { recomputeSpan(); });
    });
}

void Scheduler::modeChosen(ScheduleModel::Mode mode)
{
    if (mode == ScheduleModel::Mode::Interval) {
        restartCount();
        return;
    }
    StepRunner steps(m_schedule->places().mode(mode));
    steps.step(100, [this] { recomputeSpan(); });
}

void Scheduler::recomputeSpan()
{
    m_counts.TotalSeconds = ScheduleRules::SecondsUntilToday(m_clock(), m_schedule->time());
}

void Scheduler::setSteadyClocks(SteadyClock boot, SteadyClock monotonic)
{
    m_boot = std::move(boot);
    m_monotonic = std::move(monotonic);
}

qint64 Scheduler::countedMs() const
{
    return m_countedMs + (m_runningSinceMs ? m_boot() - *m_runningSinceMs : 0);
}

void Scheduler::restartCount()
{
    m_counts.ElapsedSeconds = 0;
    m_countedMs = 0;
    if (m_runningSinceMs) {
        m_runningSinceMs = m_boot();
        m_lastCountMonotonicMs = m_monotonic();
    }
}

void Scheduler::startTimer()
{
    if (!m_runningSinceMs) {
        m_runningSinceMs = m_boot();
        m_lastCountMonotonicMs = m_monotonic();
    }
    m_timer.start(1000);
}

void Scheduler::stopTimer()
{
    if (m_runningSinceMs) {
        // The next start goes on from the count the last tick showed: the part of a second
        // since then would otherwise bring every log after it a tick early. Time asleep since
        // then still counts.
        const qint64 counted = countedMs() - (m_monotonic() - m_lastCountMonotonicMs);
        m_countedMs = std::max<qint64>(0, (counted + 500) / 1000 * 1000);
        m_runningSinceMs.reset();
    }
    m_timer.stop();
}

void Scheduler::restartFromNow()
{
    m_previousTick = m_clock();
}

void Scheduler::tick()
{
    StepRunner steps(m_tickPlace);
    QDateTime now;
    steps.step(100, [&] {
        now = m_clock();
        // To the nearest second: the timer may come a little early or late, and a count cut
        // down would log a tick late.
        m_counts.ElapsedSeconds = clampToCount((countedMs() + 500) / 1000);
        m_lastCountMonotonicMs = m_monotonic();
        noticeSleep();
        if (m_heldLog && !holdingForWake())
            scheduledLogDue();
    });
    steps.step(102, [&] {
        switch (m_schedule->mode()) {
        case ScheduleModel::Mode::Weekly:
            dailyOrWeekly(now, true);
            break;
        case ScheduleModel::Mode::Daily:
            dailyOrWeekly(now, false);
            break;
        case ScheduleModel::Mode::Interval:
            interval();
            break;
        case ScheduleModel::Mode::None:
            break;
        }
    });
    m_previousTick = now;
}

void Scheduler::dailyOrWeekly(const QDateTime &now, bool weekly)
{
    StepRunner steps(m_tickPlace);
    const QTime chosen = m_schedule->time();
    const QString day = m_schedule->day();
    qint32 remaining = 0;

    // A new day: the bar spans from now to the new day's moment, not the previous day's span.
    if (m_previousTick.isValid() && m_previousTick.date() != now.date())
        steps.step(104,
                   [&] { m_counts.TotalSeconds = ScheduleRules::SecondsUntilToday(now, chosen); });
    Q_EMIT progressMaximum(m_counts.TotalSeconds);
    if (!steps.step(104, [&] {
            remaining = ScheduleRules::SecondsUntilToday(now, chosen);
            m_counts.ElapsedSeconds = clampToCount(qint64(m_counts.TotalSeconds) - remaining);
        }))
        return;
    if (remaining < 0) {
        Q_EMIT progressValue(0);
        Q_EMIT statusText(StatusPrefix);
    } else {
        Q_EMIT progressValue(m_counts.ElapsedSeconds);
        QString text = StatusPrefix + ScheduleRules::FormatSeconds(remaining);
        if (weekly)
            text += QStringLiteral(" [") + day + QLatin1Char(']');
        Q_EMIT statusText(text);
    }

    // No day at all is no day name either; left null it would ask for every day.
    if (weekly && day.isEmpty())
        return;
    const std::optional<QDate> dueDay
        = ScheduleRules::DueDay(m_previousTick, now, chosen, weekly ? day : QString());
    if (!dueDay || *dueDay == m_lastScheduledDay)
        return;
    m_lastScheduledDay = *dueDay;
    scheduledLogDue();
}

void Scheduler::interval()
{
    StepRunner steps(m_tickPlace);
    using Part = ScheduleModel::Part;
    // A box that holds no number takes a fallback, shown and saved as if typed.
    steps.step(110, [this] {
        for (auto [part, fallback] : {std::pair {Part::Hours, "0"}, std::pair {Part::Minutes, "0"},
                                      std::pair {Part::Seconds, "5"}}) {
            if (!ScheduleRules::IsNumeric(m_schedule->intervalText(part)))
                m_schedule->setIntervalText(part, QString::fromLatin1(fallback));
        }
    });

    try {
        m_lastIntervalTotal = ScheduleRules::IntervalTotal(m_schedule->intervalText(Part::Hours),
                                                           m_schedule->intervalText(Part::Minutes),
                                                           m_schedule->intervalText(Part::Seconds));
        m_intervalReported = false;
    } catch (const Failure &failure) {
        // Said once; the tick goes on with the last interval that could be counted.
        if (!m_intervalReported) {
            m_intervalReported = true;
            ErrorReport::report(
                {m_tickPlace.module, m_tickPlace.procedure, 112, failure.description()});
        }
    }
    if (!m_lastIntervalTotal) {
        // Nothing to count towards (and the shared span may be a daily one, or none): no log
        // until the boxes hold an interval.
        Q_EMIT statusText(StatusPrefix);
        return;
    }
    m_counts.TotalSeconds = *m_lastIntervalTotal;

    Q_EMIT progressMaximum(m_counts.TotalSeconds);
    if (m_counts.ElapsedSeconds <= m_counts.TotalSeconds)
        Q_EMIT progressValue(m_counts.ElapsedSeconds);
    // Past due (after a sleep, or an interval shortened below the count): the log is due now.
    const bool pastDue
        = m_counts.TotalSeconds > 0 && m_counts.ElapsedSeconds > m_counts.TotalSeconds;
    Q_EMIT statusText(
        StatusPrefix
        + countdown(pastDue ? 0 : qint64(m_counts.TotalSeconds) - m_counts.ElapsedSeconds));

    if (m_counts.ElapsedSeconds < m_counts.TotalSeconds)
        return;
    scheduledLogDue();
}

void Scheduler::aboutToSleep()
{
    m_asleepSinceMs = m_monotonic();
}

void Scheduler::woke()
{
    m_asleepSinceMs.reset();
    // One wait per waking, though both logind and the clocks tell of it.
    if (!m_wakeWaitEndMs)
        m_wakeWaitEndMs = m_boot() + WakeWaitMs;
}

void Scheduler::noticeSleep()
{
    // Where logind does not tell (or tells after this tick), the clocks do.
    const qint64 slept = m_boot() - m_monotonic();
    if (m_sleptMs && slept - *m_sleptMs >= 1000)
        woke();
    m_sleptMs = slept;
}

bool Scheduler::holdingForWake()
{
    // The monotonic clock stands while asleep: a sleep announced but never followed by a wake
    // (one that failed unheard) holds no longer than a wait would.
    if (m_asleepSinceMs && m_monotonic() - *m_asleepSinceMs < WakeWaitMs)
        return true;
    m_asleepSinceMs.reset();
    if (!m_wakeWaitEndMs)
        return false;
    if (m_boot() < *m_wakeWaitEndMs && !networkIsUp())
        return true;
    m_wakeWaitEndMs.reset();
    return false;
}

void Scheduler::scheduledLogDue()
{
    m_heldLog = holdingForWake();
    if (m_heldLog)
        return;
    if (m_schedule->mode() == ScheduleModel::Mode::Interval)
        restartCount();
    requestLog(true);
}

void Scheduler::requestLog(bool scheduled)
{
    if (scheduled) {
        stopTimer();
        m_scheduledLogInChain = true;
    }
    if (!m_lookup->isBusy()) {
        StepRunner steps(m_tickPlace);
        steps.step(120, [this] {
            m_lastLookupStartMs = bootMs();
            m_lookup->GetLog();
        });
        if (!m_lookup->isBusy())
            onLogFinished(); // nothing was started, so nothing will finish
        return;
    }
    // One waits at most; one the user asked for is never turned back into a scheduled one.
    if (!scheduled || m_waiting == Waiting::None)
        m_waiting = scheduled ? Waiting::Scheduled : Waiting::Asked;
}

void Scheduler::dropScheduledLog()
{
    m_heldLog = false;
    if (m_waiting == Waiting::Scheduled)
        m_waiting = Waiting::None;
}

void Scheduler::onLogFinished()
{
    if (m_waiting != Waiting::None) {
        m_waiting = Waiting::None;
        m_lastLookupStartMs = bootMs();
        if (m_lookup->GetLog())
            return;
    }
    if (m_scheduledLogInChain) {
        m_scheduledLogInChain = false;
        if (m_schedule->isOn())
            startTimer();
    }
}

void Scheduler::abortLogs()
{
    m_heldLog = false;
    m_waiting = Waiting::None;
    m_scheduledLogInChain = false;
    m_lookup->abort();
}
