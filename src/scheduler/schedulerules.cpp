#include "scheduler/schedulerules.h"

#include "core/failure.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr qint64 SecondsPerDay = 24 * 60 * 60;

// Indexed by QDate::dayOfWeek() - 1. The stored setting and the window's list use these
// English names whatever the system language, so the locale must not supply them.
constexpr std::array<const char16_t *, 7> DayNames = {
    u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday", u"Sunday",
};

// Spelled [0-9] so that only ASCII digits pass whatever the pattern options: QString::toDouble
// reads no others, and a text accepted here must read as a number there.
const QRegularExpression &numberPattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?")));
    return pattern;
}

// A clock reading at the end of the text, optionally after a date separated by a blank or a
// 'T'. The date itself is not read: only the time of day is kept.
const QRegularExpression &timePattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("(?:(?<date>.*?)[\\sT])?"
                       "(?<hour>[0-9]{1,2}):(?<minute>[0-9]{2})(?::(?<second>[0-9]{2}))?"
                       "(?:\\s*(?<half>[AaPp])(?:[Mm]|\\.[Mm]\\.))?")));
    return pattern;
}

// What may stand before the time: a date written with digits, month or day names and the
// usual separators. It must hold a digit so that a word alone is not taken for one.
const QRegularExpression &datePattern()
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("(?=.*[0-9])[0-9A-Za-z\\s./,-]+")));
    return pattern;
}

QDateTime toWholeSecond(const QDateTime &moment)
{
    return moment.addMSecs(-moment.time().msec());
}

QTime toWholeSecond(const QTime &time)
{
    return QTime(time.hour(), time.minute(), time.second());
}

// The given date and time in the same kind of time as `like`, so that a clock in UTC or a
// fixed offset is compared with moments on that same clock.
QDateTime sameClockAt(const QDateTime &like, const QDate &date, const QTime &time)
{
    switch (like.timeSpec()) {
    case Qt::TimeZone:
        return QDateTime(date, time, like.timeZone());
    case Qt::OffsetFromUTC:
        return QDateTime(date, time, Qt::OffsetFromUTC, like.offsetFromUtc());
    default:
        return QDateTime(date, time, like.timeSpec());
    }
}

// The same instant on the clock of `like`.
QDateTime sameClockAtInstant(const QDateTime &like, qint64 secondsSinceEpoch)
{
    switch (like.timeSpec()) {
    case Qt::TimeZone:
        return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, like.timeZone());
    case Qt::OffsetFromUTC:
        return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::OffsetFromUTC,
                                             like.offsetFromUtc());
    default:
        return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, like.timeSpec());
    }
}

// Whether the clock shows date and time, or a later reading, at that instant.
bool readsAtOrAfter(const QDateTime &moment, const QDate &date, const QTime &time)
{
    return moment.date() > date || (moment.date() == date && moment.time() >= time);
}

// The chosen time of day on a date as a moment on the clock of `like`. When the clocks spring
// forward over it (02:30 on the night summer time begins), that time of day never exists, and
// the log belongs to the first moment after it (03:00:00); when they fall back and the time
// comes twice, the first of the two counts.
QDateTime chosenMoment(const QDateTime &like, const QDate &date, const QTime &time)
{
    if (!date.isValid() || !time.isValid())
        return {};
    const QDateTime before = sameClockAt(like, date.addDays(-1), QTime(12, 0));
    const QDateTime after = sameClockAt(like, date.addDays(1), QTime(12, 0));
    const QDateTime direct = sameClockAt(like, date, time);
    if (direct.isValid() && direct.date() == date && direct.time() == time) {
        // Which of two equal readings the system picks is its own choice; the earlier counts.
        const int fallBack = before.offsetFromUtc() - after.offsetFromUtc();
        const QDateTime earlier = direct.addSecs(-fallBack);
        if (fallBack > 0 && earlier.date() == date && earlier.time() == time)
            return earlier;
        return direct;
    }
    // The first instant whose reading is at or after the chosen one: on a day whose clocks skip
    // forward the readings only grow, so the search over the two days around it is well
    // ordered.
    qint64 low = before.toSecsSinceEpoch();
    qint64 high = after.toSecsSinceEpoch();
    while (low < high) {
        const qint64 middle = low + (high - low) / 2;
        if (readsAtOrAfter(sameClockAtInstant(like, middle), date, time))
            high = middle;
        else
            low = middle + 1;
    }
    return sameClockAtInstant(like, low);
}

// The common rule of the daily and weekly schedules: the latest chosen moment not after now
// is due when the previous tick came before it. Without a previous tick the program has just
// started, and only a moment falling exactly on this tick counts.
bool dueSince(const QDateTime &previousTick, const QDateTime &now, const QDateTime &latestMoment)
{
    const QDateTime previous
        = previousTick.isValid() ? toWholeSecond(previousTick) : now.addSecs(-1);
    if (now <= previous || !latestMoment.isValid())
        return false;
    return latestMoment > previous;
}

// Halves go to the even neighbour (2.5 s waits 2 s, 3.5 s waits 4 s). Done by hand so that no
// floating-point rounding mode set elsewhere can change the result.
double roundHalfEven(double value)
{
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

double intervalValue(const QString &text, const QString &what)
{
    if (!ScheduleRules::IsNumeric(text))
        throw Failure(QStringLiteral("The %1 value \"%2\" is not a number.").arg(what, text));
    // A text beyond the range of a double reads as an infinity, which the caller reports as
    // too long; one too small to represent reads as zero, which is what it means here.
    return text.trimmed().toDouble();
}

// A field of the clock reading; seconds may be left out and then count as zero.
int clockField(const QRegularExpressionMatch &match, const QString &name)
{
    return match.capturedView(name).toInt();
}

} // namespace

namespace ScheduleRules {

QString FormatSeconds(qint32 seconds)
{
    // In 64 bits, because the magnitude of the smallest 32-bit count does not fit in 32.
    const qint64 ofDay = std::abs(qint64(seconds)) % SecondsPerDay;
    return QStringLiteral("%1:%2:%3")
        .arg(ofDay / 3600, 2, 10, QLatin1Char('0'))
        .arg(ofDay / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(ofDay % 60, 2, 10, QLatin1Char('0'));
}

bool IsNumeric(const QString &text)
{
    return numberPattern().match(text.trimmed()).hasMatch();
}

qint32 IntervalTotal(const QString &hours, const QString &minutes, const QString &seconds)
{
    const double total = intervalValue(hours, QStringLiteral("hours")) * 3600
        + intervalValue(minutes, QStringLiteral("minutes")) * 60
        + intervalValue(seconds, QStringLiteral("seconds"));
    const double rounded = std::isfinite(total) ? roundHalfEven(total) : total;
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<qint32>::min()
        || rounded > std::numeric_limits<qint32>::max())
        throw Failure(QStringLiteral("The interval is too long: %1 hours, %2 minutes and %3 "
                                     "seconds do not fit in %4 seconds.")
                          .arg(hours.trimmed(), minutes.trimmed(), seconds.trimmed())
                          .arg(std::numeric_limits<qint32>::max()));
    return qint32(rounded);
}

qint32 SecondsUntilToday(const QDateTime &now, const QTime &timeOfDay)
{
    if (!now.isValid() || !timeOfDay.isValid())
        throw Failure(QStringLiteral("The time to wait for cannot be worked out without a "
                                     "valid clock reading and time of day."));
    const QDateTime from = toWholeSecond(now);
    const qint64 span = from.secsTo(chosenMoment(from, from.date(), toWholeSecond(timeOfDay)));
    if (span < std::numeric_limits<qint32>::min() || span > std::numeric_limits<qint32>::max())
        throw Failure(QStringLiteral("The time to wait, %1 seconds, is too long.").arg(span));
    return qint32(span);
}

QString EnglishDayName(const QDate &date)
{
    const int day = date.dayOfWeek();
    if (day < 1 || day > 7)
        return QString();
    return QString::fromUtf16(DayNames[day - 1]);
}

std::optional<QDate> DueDay(const QDateTime &previousTick, const QDateTime &now,
                            const QTime &timeOfDay, const QString &dayName)
{
    if (!now.isValid() || !timeOfDay.isValid())
        return std::nullopt;
    // Daily: every day is a chosen day. Weekly: only the day named exactly.
    int chosenDay = 0;
    if (!dayName.isNull()) {
        for (int i = 0; i < int(DayNames.size()); ++i) {
            if (dayName == QStringView(DayNames[i]))
                chosenDay = i + 1;
        }
        if (chosenDay == 0)
            return std::nullopt;
    }
    const int step = chosenDay == 0 ? 1 : 7;

    const QDateTime current = toWholeSecond(now);
    const QTime moment = toWholeSecond(timeOfDay);
    const QDate today = current.date();
    QDate day = chosenDay == 0 ? today : today.addDays(-((today.dayOfWeek() - chosenDay + 7) % 7));
    QDateTime latest = chosenMoment(current, day, moment);
    if (latest > current) {
        day = day.addDays(-step);
        latest = chosenMoment(current, day, moment);
    }
    if (!dueSince(previousTick, current, latest))
        return std::nullopt;
    return day;
}

bool DailyDue(const QDateTime &previousTick, const QDateTime &now, const QTime &timeOfDay)
{
    return DueDay(previousTick, now, timeOfDay, QString()).has_value();
}

bool WeeklyDue(const QDateTime &previousTick, const QDateTime &now, const QTime &timeOfDay,
               const QString &dayName)
{
    // A null name would mean every day.
    return !dayName.isNull() && DueDay(previousTick, now, timeOfDay, dayName).has_value();
}

QString WeeklyTimeText(const QTime &time)
{
    if (!time.isValid())
        return QString();
    // Built by hand: a locale's "AP" may be a translated or lower-case marker, and the stored
    // text must read back the same on any system.
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QStringLiteral("%1:%2:%3 %4")
        .arg(hour12)
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'))
        .arg(time.hour() < 12 ? QLatin1String("AM") : QLatin1String("PM"));
}

QTime ParseWeeklyTime(const QString &text)
{
    const auto unreadable = [&text] {
        return Failure(QStringLiteral("\"%1\" is not a time of day.").arg(text));
    };

    const QRegularExpressionMatch match = timePattern().match(text.trimmed());
    if (!match.hasMatch())
        throw unreadable();
    if (match.capturedStart(QStringLiteral("date")) >= 0
        && !datePattern().match(match.captured(QStringLiteral("date"))).hasMatch())
        throw unreadable();

    int hour = clockField(match, QStringLiteral("hour"));
    const int minute = clockField(match, QStringLiteral("minute"));
    const int second = clockField(match, QStringLiteral("second"));
    const QStringView half = match.capturedView(QStringLiteral("half"));
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12)
            throw unreadable();
        const bool afternoon = half.compare(QLatin1String("p"), Qt::CaseInsensitive) == 0;
        hour = hour % 12 + (afternoon ? 12 : 0);
    }
    const QTime time(hour, minute, second);
    if (!time.isValid())
        throw unreadable();
    return time;
}

} // namespace ScheduleRules
