#include "scheduler/scheduler.h"

#include "scheduler/schedulerules.h"

Scheduler::Scheduler(const ScheduleModel *schedule, CurlFunctions *lookup, Clock clock,
                     ErrorReport::Place tickPlace, QObject *parent)
    : QObject(parent),
      m_schedule(schedule),
      m_clock(std::move(clock)),
      m_tickPlace(std::move(tickPlace)),
      m_queue(new LogQueue(
          lookup, [this] { return m_count.bootMs(); }, m_tickPlace, this))
{
    connect(&m_timer, &QTimer::timeout, this, &Scheduler::tick);
    connect(m_queue, &LogQueue::scheduledLogsDone, this, [this] {
        if (m_schedule->isOn())
            startTimer();
    });
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
    m_count.setClocks(std::move(boot), std::move(monotonic));
}

void Scheduler::restartCount()
{
    m_memory.counts.ElapsedSeconds = 0;
    m_count.restart();
}

void Scheduler::startTimer()
{
    m_count.start();
    m_timer.start(1000);
}

void Scheduler::stopTimer()
{
    m_count.stop();
    m_timer.stop();
}

void Scheduler::restartFromNow()
{
    m_memory.previousTick = m_clock();
    m_wake.forgetSleeps(m_count.bootMs(), m_count.monotonicMs());
}

void Scheduler::tick()
{
    StepRunner steps(m_tickPlace);
    QDateTime now;
    steps.step(100, [&] {
        now = m_clock();
        m_memory.counts.ElapsedSeconds = m_count.tickSeconds();
        m_wake.noticeSleep(m_count.bootMs(), m_count.monotonicMs());
        if (m_queue->waitsForWake() && !holdingForWake())
            scheduledLogDue(LogQueue::Reason::OnWaking);
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
        tellOutcome(outcome);
        if (outcome.due)
            scheduledLogDue(LogQueue::Reason::Scheduled);
    });
}

void Scheduler::tellOutcome(const Countdown::Outcome &outcome)
{
    for (const Countdown::Failed &failed : outcome.failures)
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
}

void Scheduler::aboutToSleep()
{
    m_wake.aboutToSleep(m_count.monotonicMs());
}

void Scheduler::woke()
{
    m_wake.woke(m_count.bootMs());
}

bool Scheduler::holdingForWake()
{
    return m_wake.holding(m_count.bootMs(), m_count.monotonicMs());
}

void Scheduler::scheduledLogDue(LogQueue::Reason reason)
{
    const bool waits = holdingForWake();
    m_queue->setWaitingForWake(waits);
    if (waits)
        return;
    if (m_schedule->mode() == ScheduleModel::Mode::Interval)
        restartCount();
    requestLog(reason);
}

void Scheduler::requestLog(LogQueue::Reason reason)
{
    if (reason != LogQueue::Reason::Asked)
        stopTimer();
    m_queue->request(reason);
}
