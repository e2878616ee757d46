#include "core/failure.h"
#include "scheduler/countdown.h"
#include "scheduler/schedulerules.h"
#include "support/datatable.h"

#include <QLocale>
#include <QTest>
#include <algorithm>
#include <ctime>
#include <limits>

using namespace ScheduleRules;

namespace {

// Local time in the week of Monday 7 December 2026; the test runs in UTC so that no
// daylight-saving change falls between two moments.
QDateTime dec(int day, int hour, int minute, int second, int msec = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second, msec));
}

// The description of the Failure raised by the call, or a null text when none was raised.
template<typename Call> QString failureOf(Call call)
{
    try {
        call();
    } catch (const Failure &failure) {
        return failure.description();
    }
    return QString();
}

} // namespace

class TestScheduleRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        // Day names and AM/PM must stay English on a system in another language.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void formatSeconds_data()
    {
        QTest::addColumn<qint32>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << 0 << "00:00:00";
        QTest::newRow("one hour less a second") << 3599 << "00:59:59";
        QTest::newRow("last second of a day") << 86399 << "23:59:59";
        QTest::newRow("whole day dropped") << 86400 << "00:00:00";
        QTest::newRow("day and an hour") << 90000 << "01:00:00";
        QTest::newRow("negative second") << -1 << "00:00:01";
        QTest::newRow("negative day and an hour") << -90000 << "01:00:00";
        QTest::newRow("largest") << std::numeric_limits<qint32>::max() << "03:14:07";
        QTest::newRow("smallest") << std::numeric_limits<qint32>::min() << "03:14:08";
    }

    void formatSeconds()
    {
        QFETCH(qint32, seconds);
        QFETCH(QString, expected);
        QCOMPARE(FormatSeconds(seconds), expected);
    }

    void isNumeric_data()
    {
        const DataTable<QString, bool> table({"text", "numeric"});
        for (const char *text : {"1.5", " 2 ", "\t7\n", "-1", "+3", "0", ".5", "5.", "1e3", "1E-2",
                                 "1e+3", "-.5e2", "007"})
            table.row(text, QString::fromUtf8(text), true);
        for (const char *text : {"", "   ", "abc", "1h", "--1", "1e", "e3", "1.2.3", "0x10", "inf",
                                 "nan", "1 2", ".", "+", "1e3.5", "1,5", "\u0661", "\uff11"})
            table.row(text, QString::fromUtf8(text), false);
    }

    void isNumeric()
    {
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QCOMPARE(IsNumeric(text), numeric);
    }

    void intervalTotal_data()
    {
        // failure: empty when the total is expected; else words its description must hold.
        const DataTable<QString, QString, QString, qint32, QString> table(
            {"hours", "minutes", "seconds", "expected", "failure"});
        const auto row = [&table](const char *name, const char *hours, const char *minutes,
                                  const char *seconds, qint32 expected, const char *failure = "") {
            table.row(name, QString::fromUtf8(hours), QString::fromUtf8(minutes),
                      QString::fromUtf8(seconds), expected, QString::fromUtf8(failure));
        };
        const char *tooLong = "too long";
        const qint32 smallest = std::numeric_limits<qint32>::min();
        row("hour", "1", "0", "0", 3600);
        row("all three", "1", "2", "3", 3723);
        row("blanks", " 1 ", "\t2", "3 ", 3723);
        row("fractions add up", "1.5", "0.5", "0", 5430);
        row("half to zero", "0", "0", "0.5", 0);
        row("one and a half up", "0", "0", "1.5", 2);
        row("two and a half down", "0", "0", "2.5", 2);
        row("negative half", "0", "0", "-2.5", -2);
        row("too small to matter", "1e-400", "0", "5", 5);
        row("most hours", "596523", "0", "0", 2147482800);
        row("one hour more", "596524", "0", "0", 0, tooLong);
        row("largest", "0", "0", "2147483647", 2147483647);
        row("largest and a half rounds out", "0", "0", "2147483647.5", 0, tooLong);
        row("smallest", "0", "0", "-2147483648", smallest);
        row("smallest less a half rounds in", "0", "0", "-2147483648.5", smallest);
        row("below smallest", "0", "0", "-2147483649", 0, tooLong);
        row("beyond a double", "1e400", "0", "0", 0, tooLong);
        row("infinities cancel", "1e400", "-1e400", "0", 0, tooLong);
        row("hours not a number", "abc", "0", "0", 0, "\"abc\"");
        row("seconds empty", "0", "0", "", 0, "\"\"");
    }

    void intervalTotal()
    {
        QFETCH(QString, hours);
        QFETCH(QString, minutes);
        QFETCH(QString, seconds);
        QFETCH(qint32, expected);
        QFETCH(QString, failure);
        qint32 total = 0;
        const QString description
            = failureOf([&] { total = IntervalTotal(hours, minutes, seconds); });
        if (failure.isEmpty()) {
            QVERIFY2(description.isNull(), qPrintable(description));
            QCOMPARE(total, expected);
        } else {
            QVERIFY2(description.contains(failure), qPrintable(description));
        }
    }

    void secondsUntilToday_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QTime>("timeOfDay");
        QTest::addColumn<qint32>("expected");
        QTest::newRow("an hour ahead") << dec(7, 8, 0, 0) << QTime(9, 0) << 3600;
        QTest::newRow("an hour past") << dec(7, 10, 0, 0) << QTime(9, 0) << -3600;
        QTest::newRow("now") << dec(7, 9, 0, 0) << QTime(9, 0) << 0;
        QTest::newRow("fraction of now dropped") << dec(7, 8, 59, 59, 999) << QTime(9, 0) << 1;
        QTest::newRow("fraction of time dropped") << dec(7, 8, 0, 0) << QTime(9, 0, 0, 999) << 3600;
        QTest::newRow("end of the day") << dec(7, 0, 0, 0) << QTime(23, 59, 59) << 86399;
        QTest::newRow("start of the day") << dec(7, 23, 59, 59) << QTime(0, 0) << -86399;
        QTest::newRow("clock of now kept")
            << QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::OffsetFromUTC, 3600) << QTime(9, 0)
            << 3600;
    }

    void secondsUntilToday()
    {
        QFETCH(QDateTime, now);
        QFETCH(QTime, timeOfDay);
        QFETCH(qint32, expected);
        QCOMPARE(SecondsUntilToday(now, timeOfDay), expected);
    }

    void englishDayName_data()
    {
        const DataTable<QDate, QString> table({"date", "expected"});
        const char *week[]
            = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
        for (int i = 0; i < 7; ++i)
            table.row(week[i], QDate(2026, 12, 7 + i), week[i]);
        table.row("leap day", QDate(2024, 2, 29), "Thursday");
        table.row("turn of the century", QDate(2000, 1, 1), "Saturday");
        table.row("no date", QDate(), "");
    }

    void englishDayName()
    {
        QFETCH(QDate, date);
        QFETCH(QString, expected);
        QCOMPARE(EnglishDayName(date), expected);
    }

    void due_data()
    {
        // day: null for the daily schedule, else the weekly schedule's day.
        const DataTable<QDateTime, QDateTime, QTime, QString, bool> table(
            {"previous", "now", "timeOfDay", "day", "due"});
        const auto row
            = [&table](const char *name, const QDateTime &previous, const QDateTime &now, bool due,
                       const char *day = nullptr, QTime timeOfDay = QTime(9, 0)) {
                  table.row(name, previous, now, timeOfDay, QString::fromUtf8(day), due);
              };
        row("reached on this tick", dec(7, 8, 59, 59), dec(7, 9, 0, 0), true);
        row("reached between ticks", dec(7, 8, 59, 59), dec(7, 9, 0, 2), true);
        row("tick after", dec(7, 9, 0, 2), dec(7, 9, 0, 3), false);
        row("previous on it", dec(7, 9, 0, 0), dec(7, 9, 0, 1), false);
        row("fractions across it", dec(7, 8, 59, 59, 900), dec(7, 9, 0, 0, 100), true);
        row("fractions within its second", dec(7, 9, 0, 0, 100), dec(7, 9, 0, 0, 900), false);
        row("fraction of time dropped", dec(7, 8, 59, 59), dec(7, 9, 0, 0), true, nullptr,
            QTime(9, 0, 0, 700));
        row("slept through it", dec(6, 8, 0, 0), dec(7, 10, 0, 0), true);
        row("slept through yesterday's", dec(6, 8, 0, 0), dec(7, 8, 0, 0), true);
        row("clock set back", dec(7, 9, 0, 5), dec(7, 8, 59, 58), false);
        row("tick after set back", dec(7, 8, 59, 58), dec(7, 8, 59, 59), false);
        row("midnight", dec(7, 23, 59, 59), dec(8, 0, 0, 0), true, nullptr, QTime(0, 0));
        row("first tick on it", QDateTime(), dec(7, 9, 0, 0), true);
        row("first tick after it", QDateTime(), dec(7, 9, 0, 1), false);
        row("first tick before it", QDateTime(), dec(7, 8, 59, 59), false);

        // Friday is 11 December; the week before's is 4 December.
        const char *friday = "Friday";
        row("Friday reached", dec(11, 8, 59, 59), dec(11, 9, 0, 0), true, friday);
        row("Friday on Monday", dec(7, 8, 59, 59), dec(7, 9, 0, 0), false, friday);
        row("Friday tick after", dec(11, 9, 0, 0), dec(11, 9, 0, 1), false, friday);
        for (const char *other : {"friday", " Friday", "Fri", ""})
            row(other, dec(11, 8, 59, 59), dec(11, 9, 0, 0), false, other);
        row("slept through Friday", dec(10, 8, 0, 0), dec(12, 10, 0, 0), true, friday);
        row("slept two weeks", dec(12, 10, 0, 0).addDays(-15), dec(12, 10, 0, 0), true, friday);
        row("slept through last Friday", dec(4, 8, 0, 0), dec(11, 8, 0, 0), true, friday);
        row("this Friday's still ahead", dec(4, 10, 0, 0), dec(11, 8, 0, 0), false, friday);
        row("Friday clock set back", dec(11, 9, 0, 5), dec(11, 8, 59, 58), false, friday);
        row("Sunday midnight", dec(12, 23, 59, 59), dec(13, 0, 0, 0), true, "Sunday", QTime(0, 0));
        row("Monday midnight", dec(6, 23, 59, 59), dec(7, 0, 0, 0), true, "Monday", QTime(0, 0));
        row("first tick on Friday", QDateTime(), dec(11, 9, 0, 0), true, friday);
    }

    void due()
    {
        QFETCH(QDateTime, previous);
        QFETCH(QDateTime, now);
        QFETCH(QTime, timeOfDay);
        QFETCH(QString, day);
        QFETCH(bool, due);
        if (day.isNull())
            QCOMPARE(DailyDue(previous, now, timeOfDay), due);
        else
            QCOMPARE(WeeklyDue(previous, now, timeOfDay, day), due);
    }

    // What one tick decides, written out: the boxes' fallbacks, the bar (maximum/value), the
    // time left with the weekly day, "prefix" for the prefix alone, "due", failed report lines.
    void countdown_data()
    {
        using Mode = ScheduleModel::Mode;
        const DataTable<Mode, QString, QString, qint32, QDateTime, QDateTime, QString> table(
            {"mode", "boxes", "day", "counted", "previous", "now", "outcome"});
        const auto row = [&](const char *name, Mode mode, const char *boxes, qint32 counted,
                             const QDateTime &previous, const QDateTime &now, const char *said,
                             const char *day = "") {
            table.row(name, mode, boxes, day, counted, previous, now, said);
        };
        const QDateTime at8 = dec(7, 8, 0, 0), at859 = dec(7, 8, 59, 59), at9 = dec(7, 9, 0, 0);
        row("counting", Mode::Interval, "0 0 10", 3, {}, at8, "bar 10/3; left 7");
        row("reached", Mode::Interval, "0 0 10", 10, {}, at8, "bar 10/10; left 0; due");
        row("past due", Mode::Interval, "0 0 10", 12, {}, at8, "bar 10/-; left 0; due");
        row("no numbers", Mode::Interval, " x ", 3, {}, at8, "fallbacks 0,0,5; bar 5/3; left 2");
        row("negative", Mode::Interval, "0 0 -1", 0, {}, at8, "bar -1/-; left -1; due");
        row("too long", Mode::Interval, "1e10 0 1", 0, {}, at8, "prefix; line 112");
        row("daily ahead", Mode::Daily, "", 0, at8, at859, "bar 3600/3599; left 1");
        row("daily on time", Mode::Daily, "", 0, at859, at9, "bar 3600/3600; left 0; due");
        row("daily passed", Mode::Daily, "", 0, at9, at9.addSecs(1), "bar 3600/0; prefix");
        row("new day", Mode::Daily, "", 0, dec(7, 23, 59, 59), dec(8, 0, 0, 0),
            "bar 32400/0; left 32400");
        row("weekly, another day", Mode::Weekly, "", 0, at859, at9,
            "bar 3600/3600; left 0 [Friday]", "Friday");
        row("weekly, no day", Mode::Weekly, "", 0, at859.addDays(4), at9.addDays(4),
            "bar 3600/3600; left 0 []");
        row("no mode", Mode::None, "", 0, at859, at9, "");
    }

    void countdown()
    {
        QFETCH(ScheduleModel::Mode, mode);
        QFETCH(QString, boxes);
        QFETCH(QString, day);
        QFETCH(qint32, counted);
        QFETCH(QDateTime, now);
        Countdown::Memory memory;
        memory.counts.TotalSeconds = 3600;
        QFETCH(QDateTime, previous);
        memory.previousTick = previous;
        const QStringList texts = boxes.split(QLatin1Char(' ')) + QStringList {"", "", ""};
        const Countdown::Outcome outcome = Countdown::tick(
            {mode, {texts[0], texts[1], texts[2]}, day, QTime(9, 0)}, now, counted, memory);
        const auto number = [](std::optional<qint64> n) {
            return n ? QString::number(*n) : QStringLiteral("-");
        };
        QStringList said;
        const QString fallbacks
            = QStringList(outcome.fallbacks.begin(), outcome.fallbacks.end()).join(',');
        if (fallbacks != QLatin1String(",,"))
            said << "fallbacks " + fallbacks;
        if (outcome.progressMaximum)
            said << "bar " + number(outcome.progressMaximum) + '/' + number(outcome.progressValue);
        if (outcome.status)
            said << (outcome.status->remaining ? "left " + number(outcome.status->remaining)
                             + (outcome.status->day ? " [" + *outcome.status->day + ']' : "")
                                               : QStringLiteral("prefix"));
        if (outcome.due)
            said << "due";
        for (const Countdown::Failed &failed : outcome.failures)
            said << "line " + QString::number(failed.line);
        QTEST(said.join(QStringLiteral("; ")), "outcome");
        QCOMPARE(outcome.memory.previousTick, now);
    }

    void weeklyTimeText_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("afternoon") << QTime(15, 4, 5) << "3:04:05 PM";
        QTest::newRow("midnight") << QTime(0, 0) << "12:00:00 AM";
        QTest::newRow("morning") << QTime(9, 5, 7) << "9:05:07 AM";
        QTest::newRow("noon") << QTime(12, 0) << "12:00:00 PM";
        QTest::newRow("half past noon") << QTime(12, 30) << "12:30:00 PM";
        QTest::newRow("last second") << QTime(23, 59, 59) << "11:59:59 PM";
        QTest::newRow("fraction dropped") << QTime(10, 20, 30, 999) << "10:20:30 AM";
        QTest::newRow("no time") << QTime() << "";
    }

    void weeklyTimeText()
    {
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        QCOMPARE(WeeklyTimeText(time), expected);
    }

    void parseWeeklyTime_data()
    {
        QTest::addColumn<QString>("text");
        // An invalid time when the text must be refused.
        QTest::addColumn<QTime>("expected");
        const auto row = [](const char *text, QTime expected) {
            QTest::newRow(text) << QString::fromUtf8(text) << expected;
        };
        const QTime afternoon(15, 4, 5);
        row("3:04:05 PM", afternoon);
        row("03:04:05 PM", afternoon);
        row("3:04:05 pm", afternoon);
        row("3:04:05 p.m.", afternoon);
        row("9:05:07 A.M.", QTime(9, 5, 7));
        row("3:04:05PM", afternoon);
        row("  3:04:05 PM\t", afternoon);
        row("12:00:00 AM", QTime(0, 0));
        row("15:04:05", afternoon);
        row("9:05:07", QTime(9, 5, 7));
        row("0:00:00", QTime(0, 0));
        row("23:59:59", QTime(23, 59, 59));
        row("3:04 PM", QTime(15, 4));
        row("15:04", QTime(15, 4));
        row("12/7/2026 3:04:05 PM", afternoon);
        row("2026-12-07T15:04:05", afternoon);
        row("07.12.2026 15:04:05", afternoon);
        row("Monday, 7 December 2026 9:05:07 AM", QTime(9, 5, 7));
        for (const char *text : {"", "   ", "abc", "25:00:00", "24:00:00", "13:00:00 PM",
                                 "0:00:00 AM", "12/7/2026", "9:60:00"})
            row(text, QTime());
        for (const char *text :
             {"9:00:60", "9:5:00", "123:00:00", "9", "9:00:00 XM", "9:00:00 AM PM", "abc 9:00:00",
              "T15:04:05", "9:00:00:00", "3:04:05 PM 12/7/2026", "\u0669:\u0660\u0660"})
            row(text, QTime());
    }

    void parseWeeklyTime()
    {
        QFETCH(QString, text);
        QFETCH(QTime, expected);
        QTime parsed;
        const QString description = failureOf([&] { parsed = ParseWeeklyTime(text); });
        if (expected.isValid()) {
            QVERIFY2(description.isNull(), qPrintable(description));
            QCOMPARE(parsed, expected);
        } else {
            QVERIFY2(description.contains(QLatin1Char('"') + text + QLatin1Char('"')),
                     qPrintable(description));
        }
    }

    void weeklyTimeReadsBack()
    {
        for (int second = 0; second < 86400; ++second) {
            const QTime time = QTime(0, 0).addSecs(second);
            QCOMPARE(ParseWeeklyTime(WeeklyTimeText(time)), time);
        }
    }
};

QTEST_GUILESS_MAIN(TestScheduleRules)
#include "tst_schedulerules.moc"
