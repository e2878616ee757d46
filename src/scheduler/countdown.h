#pragma once

#include "scheduler/schedulemodel.h"
#include "scheduler/schedulestate.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <array>
#include <optional>

// What one tick of the schedule decides, from values alone: the schedule as the user set it,
// the wall clock's reading, the seconds the interval has counted, and what the previous tick
// left behind. Nothing here reads a clock, starts a timer, writes the schedule or shows a text;
// the tick carries the memory from one tick to the next and acts on the outcome.
namespace Countdown {

// The schedule as the tick reads it.
struct Schedule
{
    ScheduleModel::Mode mode = ScheduleModel::Mode::None;
    // Hours, minutes and seconds as typed.
    std::array<QString, 3> interval;
    QString day;
    QTime time;
};

// What a tick leaves for the next one.
struct Memory
{
    // TotalSeconds is the span the bar shows; in daily and weekly mode a schedule change or
    // the switch sets it, and the first tick of a new day.
    ScheduleState counts;
    // The wall clock at the previous tick, or when logging was switched on; null before.
    QDateTime previousTick;
    // The last interval the boxes held that could be counted; none until they hold one.
    std::optional<qint32> lastInterval;
    // An interval that cannot be counted is reported once, until one can be counted again.
    bool intervalReported = false;
    // The chosen day of the last daily or weekly log: a clock set back over the chosen time,
    // or a time of day that comes twice, logs that day once.
    QDate lastScheduledDay;
};

// What the status line says while logging is on: "On. Next Log will occur in: ", then the time
// left as a clock reading and, in weekly mode, the chosen day in brackets; or that prefix alone.
struct StatusLine
{
    // Seconds left, which may exceed a day or a 32-bit count: only their place within a day
    // shows. None: the prefix alone.
    std::optional<qint64> remaining;
    // Weekly mode with a time left: the day named in brackets behind it (it may be empty).
    std::optional<QString> day;
};

// A step of the tick that failed: the report line it is told under, and what went wrong.
struct Failed
{
    int line = 0;
    QString description;
};

struct Outcome
{
    Memory memory;
    // Hours, minutes, seconds: the text a box that holds no number takes ("0", "0", "5"), to be
    // shown and saved as if typed; null where the box keeps its text.
    std::array<QString, 3> fallbacks;
    // What the bar shows; none where it is left as it is.
    std::optional<qint32> progressMaximum;
    std::optional<qint32> progressValue;
    // None where the status line is left as it is.
    std::optional<StatusLine> status;
    // A log is due now.
    bool due = false;
    // In the order they happened; the tick went on after each.
    QList<Failed> failures;
};

// One tick at the wall-clock time `now`; counted: the whole seconds the interval has counted
// (interval mode; the other modes work theirs out from the clock).
//
// Interval mode: a box that holds no number takes its fallback; the interval is hours x 3600 +
// minutes x 60 + seconds (ScheduleRules::IntervalTotal). One that cannot be counted is reported
// (line 112) and the last one that could be counted is kept; with none the status is the prefix
// alone, nothing else shows, and no log is due. The bar runs to the interval (its value left as
// it is once the count is past it); the time left is the interval less the count, 0 once past a
// positive interval; a log is due once the count reaches the interval.
//
// Daily and weekly mode: the first tick of a new day sets the span to today's chosen time (line
// 104 when it fails); the bar's maximum is the span. The time left is the seconds to today's
// chosen time (line 104 when it cannot be worked out: nothing more shows and nothing is due).
// Once that time has passed, the bar shows 0 and the status the prefix alone. A log is due when
// ScheduleRules::DueDay names a day that has not logged yet; weekly mode with no day never is.
//
// No mode: nothing shows and nothing is due. Every mode remembers `now` as the previous tick.
Outcome tick(const Schedule &schedule, const QDateTime &now, qint32 counted, Memory memory);

} // namespace Countdown
