#include "scheduler/countdown.h"

#include "core/failure.h"
#include "scheduler/schedulerules.h"

#include <algorithm>
#include <limits>

namespace Countdown {
namespace {

qint32 clampToCount(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

// Runs one step of the tick; a failure is noted under its line and the tick goes on.
template<typename Body> bool attempt(Outcome &outcome, int line, Body body)
{
    try {
        body();
        return true;
    } catch (const Failure &failure) {
        outcome.failures.append({line, failure.description()});
        return false;
    }
}

void dailyOrWeekly(const Schedule &schedule, const QDateTime &now, bool weekly, Memory &memory,
                   Outcome &outcome)
{
    ScheduleState &counts = memory.counts;
    // A new day: the bar spans from now to the new day's moment, not the previous day's span.
    if (memory.previousTick.isValid() && memory.previousTick.date() != now.date())
        attempt(outcome, 104, [&] {
            counts.TotalSeconds = ScheduleRules::SecondsUntilToday(now, schedule.time);
        });
    outcome.progressMaximum = counts.TotalSeconds;
    qint32 remaining = 0;
    if (!attempt(outcome, 104, [&] {
            remaining = ScheduleRules::SecondsUntilToday(now, schedule.time);
            counts.ElapsedSeconds = clampToCount(qint64(counts.TotalSeconds) - remaining);
        }))
        return;
    if (remaining < 0) {
        outcome.progressValue = 0;
        outcome.status = StatusLine {};
    } else {
        outcome.progressValue = counts.ElapsedSeconds;
        outcome.status = StatusLine {remaining, std::nullopt};
        if (weekly)
            outcome.status->day = schedule.day;
    }

    // No day at all is no day name either; left null it would ask for every day.
    if (weekly && schedule.day.isEmpty())
        return;
    const std::optional<QDate> dueDay = ScheduleRules::DueDay(
        memory.previousTick, now, schedule.time, weekly ? schedule.day : QString());
    if (!dueDay || *dueDay == memory.lastScheduledDay)
        return;
    memory.lastScheduledDay = *dueDay;
    outcome.due = true;
}

void interval(const Schedule &schedule, Memory &memory, Outcome &outcome)
{
    std::array<QString, 3> texts = schedule.interval;
    const std::array<const char *, 3> fallbacks = {"0", "0", "5"};
    for (size_t part = 0; part < texts.size(); ++part) {
        if (!ScheduleRules::IsNumeric(texts[part]))
            texts[part] = outcome.fallbacks[part] = QString::fromLatin1(fallbacks[part]);
    }

    try {
        memory.lastInterval = ScheduleRules::IntervalTotal(texts[0], texts[1], texts[2]);
        memory.intervalReported = false;
    } catch (const Failure &failure) {
        // Said once; the tick goes on with the last interval that could be counted.
        if (!memory.intervalReported) {
            memory.intervalReported = true;
            outcome.failures.append({112, failure.description()});
        }
    }
    if (!memory.lastInterval) {
        // Nothing to count towards (and the shared span may be a daily one, or none): no log
        // until the boxes hold an interval.
        outcome.status = StatusLine {};
        return;
    }
    ScheduleState &counts = memory.counts;
    counts.TotalSeconds = *memory.lastInterval;
    outcome.progressMaximum = counts.TotalSeconds;
    if (counts.ElapsedSeconds <= counts.TotalSeconds)
        outcome.progressValue = counts.ElapsedSeconds;
    // Past due (after a sleep, or an interval shortened below the count): the log is due now.
    const bool pastDue = counts.TotalSeconds > 0 && counts.ElapsedSeconds > counts.TotalSeconds;
    outcome.status
        = StatusLine {pastDue ? 0 : qint64(counts.TotalSeconds) - counts.ElapsedSeconds, {}};
    outcome.due = counts.ElapsedSeconds >= counts.TotalSeconds;
}

} // namespace

Outcome tick(const Schedule &schedule, const QDateTime &now, qint32 counted, Memory memory)
{
    Outcome outcome;
    memory.counts.ElapsedSeconds = counted;
    switch (schedule.mode) {
    case ScheduleModel::Mode::Weekly:
    case ScheduleModel::Mode::Daily:
        dailyOrWeekly(schedule, now, schedule.mode == ScheduleModel::Mode::Weekly, memory, outcome);
        break;
    case ScheduleModel::Mode::Interval:
        interval(schedule, memory, outcome);
        break;
    case ScheduleModel::Mode::None:
        break;
    }
    memory.previousTick = now;
    outcome.memory = std::move(memory);
    return outcome;
}

} // namespace Countdown
