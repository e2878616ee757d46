#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

// The arithmetic of the schedule: counts, clock readings and when a log is due. Everything
// here is pure; the window feeds it the controls' values and the clock's time.
namespace ScheduleRules {

// A count of seconds as a clock reading "hh:mm:ss": whole days dropped, a negative count
// written by its magnitude (-1 gives 00:00:01).
QString FormatSeconds(qint32 seconds);

// After trimming blanks: a decimal number with optional sign, fraction and exponent.
// "1.5", " 2 ", "-1", "1e3" are numeric; "", "abc", "1h", "--1" are not.
bool IsNumeric(const QString &text);

// hours x 3600 + minutes x 60 + seconds from the three boxes' numeric texts, rounded to the
// nearest whole number with halves to the even neighbour. Raises a Failure when a text is not
// numeric or the total does not fit a signed 32-bit count.
qint32 IntervalTotal(const QString &hours, const QString &minutes, const QString &seconds);

// Whole seconds from now to today's date at the given time of day; negative once that time
// has passed today. Raises a Failure when the span does not fit a signed 32-bit count.
qint32 SecondsUntilToday(const QDateTime &now, const QTime &timeOfDay);

// The English day name of a date: "Sunday" ... "Saturday".
QString EnglishDayName(const QDate &date);

// The chosen day whose moment was reached since the previous tick, for the daily schedule
// (dayName null) or the weekly one (the day named exactly by dayName: "Monday", ...; any other
// text is never due). The moment is the chosen time of day on that day, or the first moment
// after it when the clocks skip it; previous < moment <= now. Nothing when none is due.
std::optional<QDate> DueDay(const QDateTime &previousTick, const QDateTime &now,
                            const QTime &timeOfDay, const QString &dayName);

// A daily log is due when today's (or an earlier day's) chosen moment was reached since the
// previous tick: previous < moment <= now. A clock set backwards never makes one due, and a
// machine that slept through the moment makes it due once when it wakes. Both times are
// taken to whole seconds.
bool DailyDue(const QDateTime &previousTick, const QDateTime &now, const QTime &timeOfDay);

// As DailyDue, for the chosen moment on the day named exactly by dayName ("Monday", ...);
// any other text is never due.
bool WeeklyDue(const QDateTime &previousTick, const QDateTime &now, const QTime &timeOfDay,
               const QString &dayName);

// "Weekly Time" as stored: "h:mm:ss AP" with English AM/PM ("3:04:05 PM").
QString WeeklyTimeText(const QTime &time);
// Reads "h:mm:ss AP", 24-hour "HH:mm:ss", or a date-time text whose time part is taken.
// Raises a Failure that quotes the text when no time can be read from it.
QTime ParseWeeklyTime(const QString &text);

} // namespace ScheduleRules
