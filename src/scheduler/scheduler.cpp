#include "scheduler/scheduler.h"

#include "core/errorreport.h"
#include "core/failure.h"
#include "lookup/curlfunctions.h"
#include "scheduler/countdown.h"
#include "scheduler/schedulerules.h"

#include <algorithm>
#include <limits>

namespace {

qint32 clampToCount(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
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
            [this] { m_memory.lastScheduledDay = QDate(); });
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
    m_memory.counts.TotalSeconds = ScheduleRules::SecondsUntilToday(m_clock(), m_schedule->time());
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
    m_memory.counts.ElapsedSeconds = 0;
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
    m_memory.previousTick = m_clock();
}

void Scheduler::tick()
{
    StepRunner steps(m_tickPlace);
    QDateTime now;
    steps.step(100, [&] {
        now = m_clock();
        // To the nearest second: the timer may come a little early or late, and a count cut
        // down would log a tick late.
        m_memory.counts.ElapsedSeconds = clampToCount((countedMs() + 500) / 1000);
        m_lastCountMonotonicMs = m_monotonic();
        noticeSleep();
        if (m_heldLog && !holdingForWake())
            scheduledLogDue();
    });
    steps.step(102, [&] {
        const Countdown::Schedule schedule {
            m_schedule->mode(),
            {m_schedule->intervalText(ScheduleModel::Part::Hours),
             m_schedule->intervalText(ScheduleModel::Part::Minutes),
             m_schedule->intervalText(ScheduleModel::Part::Seconds)},
            m_schedule->day(),
            m_schedule->time()};
        Countdown::Outcome outcome
            = Countdown::tick(schedule, now, m_memory.counts.ElapsedSeconds, m_memory);
        m_memory = std::move(outcome.memory);
        for (const Countdown::Failed &failed : std::as_const(outcome.failures))
            ErrorReport::report(
                {m_tickPlace.module, m_tickPlace.procedure, failed.line, failed.description});
        for (size_t part = 0; part < outcome.fallbacks.size(); ++part) {
            if (!outcome.fallbacks[part].isNull())
                Q_EMIT intervalFallback(ScheduleModel::Part(part), outcome.fallbacks[part]);
        }
        if (outcome.progressMaximum)
            Q_EMIT progressMaximum(*outcome.progressMaximum);
        if (outcome.progressValue)
            Q_EMIT progressValue(*outcome.progressValue);
        if (outcome.status)
            Q_EMIT countdown(*outcome.status);
        if (outcome.due)
            scheduledLogDue();
    });
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
