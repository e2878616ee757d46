#include "app/form1.h"
#include "app/sharing.h"
#include "app/statusframe.h"
#include "core/dialogs.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "scheduler/scheduler.h"
#include "settings/settingsstore.h"
#include "support/datatable.h"
#include "support/form1fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>

#include <ctime>
#include <memory>
#include <optional>

namespace {

const QString Prefix = QStringLiteral("On. Next Log will occur in: ");
constexpr int LookupWaitMs = 5000;

// Friday 11 December 2026 at the given time (the test runs in Europe/Berlin, a zone with summer
// time, which is not in force in December).
QDateTime friday(int hour, int minute, int second)
{
    return QDateTime(QDate(2026, 12, 11), QTime(hour, minute, second));
}

QString stored(const QString &key)
{
    return Settings::Store().get(key, QStringLiteral("(unset)"));
}

// A window on a private store holding a key, the switch stored off, and the presets
// ("key=value"); its lookups are served by a loopback server.
struct Window : Form1Fixture
{
    explicit Window(const QStringList &presets = {}, const QDateTime &start = friday(8, 0, 0))
        : Form1Fixture({.presets = QStringList {"APIKey=key", "StartStopState=Off"} + presets,
                        .start = start,
                        .tray = std::nullopt})
    {
        server.setResponse({200, LoopbackServer::singleLineAnswer()});
    }

    // A tick, the user's location server asking for a log, or a click on "Log Now (Test)".
    void act(const QString &action)
    {
        if (action == QLatin1String("tick"))
            tick();
        else if (action == QLatin1String("server"))
            Q_EMIT form->parts().sharing->positionAsked();
        else
            click("PushButton9");
    }
    // Lookups that take a while, so that others can arrive meanwhile.
    void slowLookups()
    {
        server.setMode(LoopbackServer::Mode::Slow);
        server.setDelayMs(300);
    }

    // One second passes and the tick comes.
    void tick() { tickAfter(1); }
    void tickAt(const QTime &time)
    {
        now = QDateTime(now.date(), time);
        form->parts().scheduler->tick();
    }

    QTimer &timer() { return form->parts().scheduler->timer(); }
    int rows() { return form->parts().results->rows(); }
    QString status() { return widget<QGroupBox>("Frame4")->title(); }
    int progress() { return widget<QProgressBar>("ProgressBar1")->value(); }
};

QStringList interval(const QString &hours, const QString &minutes, const QString &seconds)
{
    return {"Text1=" + hours, "Text2=" + minutes, "Text3=" + seconds};
}

} // namespace

class TestForm1Schedule : public QObject
{
    Q_OBJECT

private:
    // The tick that just came started a scheduled log: the tick rests until its row is in.
    static void expectScheduledLog(Window &w, int rowsAfter)
    {
        QVERIFY(!w.timer().isActive());
        QVERIFY(w.form->parts().lookup->isBusy());
        QTRY_COMPARE_WITH_TIMEOUT(w.rows(), rowsAfter, LookupWaitMs);
        QVERIFY(w.timer().isActive());
    }

private Q_SLOTS:
    void initTestCase() { Form1Fixture::keepLookupsLocal("Europe/Berlin"); }

    void intervalCountdown_data()
    {
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("statuses"); // after each tick
        QTest::addColumn<QList<int>>("logTicks");
        QStringList ten;
        for (int left = 9; left >= 0; --left)
            ten << QStringLiteral("00:00:0%1").arg(left);
        QTest::newRow("ten seconds")
            << interval("0", "0", "10") << ten + QStringList {"00:00:09"} << QList<int> {10};
        QTest::newRow("25 hours") << interval("25", "0", "0")
                                  << QStringList {"00:59:59", "00:59:58"} << QList<int> {};
        QTest::newRow("all zero") << interval("0", "0", "0")
                                  << QStringList {"00:00:01", "00:00:01", "00:00:01"}
                                  << QList<int> {1, 2, 3};
        QTest::newRow("half to even, down")
            << interval("0", "0", "2.5") << QStringList {"00:00:01", "00:00:00", "00:00:01"}
            << QList<int> {2};
        QTest::newRow("half to even, up")
            << interval("0", "0", "3.5")
            << QStringList {"00:00:03", "00:00:02", "00:00:01", "00:00:00"} << QList<int> {4};
        QTest::newRow("all three boxes")
            << interval("1", "1", "1") << QStringList {"01:01:00"} << QList<int> {};
        QTest::newRow("fractions of hours")
            << interval("0.001", "0", " 0.4 ") << QStringList {"00:00:03"} << QList<int> {};
    }
    void intervalCountdown()
    {
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, statuses);
        QFETCH(QList<int>, logTicks);
        Window w(boxes);
        QVERIFY(w.server.port() != 0);
        w.click("PushButton2");
        QVERIFY(w.timer().isActive());
        int rows = 0;
        for (int tick = 1; tick <= statuses.size(); ++tick) {
            w.tick();
            QCOMPARE(w.status(), Prefix + statuses.at(tick - 1));
            if (logTicks.contains(tick)) {
                expectScheduledLog(w, ++rows);
            } else {
                QVERIFY(!w.form->parts().lookup->isBusy());
                QVERIFY(w.timer().isActive());
            }
        }
        QCOMPARE(w.rows(), logTicks.size());
        QCOMPARE(w.server.requestCount(), logTicks.size());
        if (rows > 0)
            QCOMPARE(w.form->parts().results->cell(0, ResultsList::City), "Berlin");
    }

    void fallbacks_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("status");
        QTest::newRow("seconds emptied") << "Text3"
                                         << ""
                                         << "5"
                                         << "00:00:04";
        QTest::newRow("minutes emptied") << "Text2"
                                         << ""
                                         << "0"
                                         << "00:00:09";
        QTest::newRow("hours not a number") << "Text1"
                                            << "1h"
                                            << "0"
                                            << "00:00:09";
        QTest::newRow("seconds with blanks") << "Text3"
                                             << " 7 "
                                             << " 7 "
                                             << "00:00:06";
    }
    void fallbacks()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, after);
        Window w(interval("0", "0", "10"));
        w.click("PushButton2");
        auto *edit = w.widget<QLineEdit>(box);
        edit->setText(text);
        w.tick();
        QCOMPARE(edit->text(), after);
        QCOMPARE(stored(box), after);
        QFETCH(QString, status);
        QCOMPARE(w.status(), Prefix + status);
        QCOMPARE(w.env.takeReports().size(), 0);
    }

    void interruptions_data()
    {
        QTest::addColumn<int>("before"); // ticks before the interruption
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("after"); // the tick after it that logs
        QTest::addColumn<int>("extraRows");
        QTest::newRow("interval shortened below the count") << 5 << "shorten" << 1 << 0;
        QTest::newRow("switched off and on") << 4 << "offOn" << 6 << 0;
        QTest::newRow("switched off part way through a second") << 4 << "offOn600" << 6 << 0;
        QTest::newRow("Log Now") << 6 << "logNow" << 4 << 1;
        QTest::newRow("interval chosen again") << 4 << "reselect" << 10 << 0;
    }
    void interruptions()
    {
        QFETCH(int, before);
        QFETCH(QString, action);
        QFETCH(int, after);
        QFETCH(int, extraRows);
        Window w(interval("0", "0", "10"));
        w.click("PushButton2");
        for (int i = 0; i < before; ++i)
            w.tick();
        QCOMPARE(w.rows(), 0);

        if (action == QLatin1String("shorten")) {
            w.widget<QLineEdit>("Text3")->setText(QStringLiteral("3"));
        } else if (action.startsWith(QLatin1String("offOn"))) {
            w.bootMs += action.mid(5).toInt(), w.monotonicMs += action.mid(5).toInt();
            w.click("PushButton2");
            QVERIFY(!w.timer().isActive());
            w.click("PushButton2");
        } else if (action == QLatin1String("logNow")) {
            w.click("PushButton9");
            QVERIFY(w.form->parts().lookup->isBusy());
            QTRY_COMPARE_WITH_TIMEOUT(w.rows(), 1, LookupWaitMs);
        } else {
            w.widget<QRadioButton>("Option3")->click();
        }
        QVERIFY(w.timer().isActive());

        for (int i = 1; i < after; ++i) {
            w.tick();
            QVERIFY2(!w.form->parts().lookup->isBusy(), qPrintable(QString::number(i)));
        }
        QCOMPARE(w.rows(), extraRows);
        w.tick();
        expectScheduledLog(w, extraRows + 1);
    }

    // Hours too large to count: the tick keeps the last interval that could be counted, and
    // with none it logs nothing (rather than once a second) until the boxes can be counted.
    void tooLargeHours_data()
    {
        QTest::addColumn<QStringList>("presets");
        QTest::addColumn<QString>("before");
        QTest::newRow("after a counted interval") << interval("0", "0", "10") << "counted";
        QTest::newRow("nothing counted yet") << interval("1e10", "0", "10") << "none";
        QTest::newRow("after a daily span")
            << QStringList {"Option2=True", "Option3=False", "Weekly Time=7:00:00 AM"}
                + interval("1e10", "0", "10")
            << "daily";
    }
    void tooLargeHours()
    {
        QFETCH(QStringList, presets);
        QFETCH(QString, before);
        Window w(presets);
        w.click("PushButton2");
        if (before == QLatin1String("counted")) {
            for (int i = 0; i < 3; ++i)
                w.tick();
            w.widget<QLineEdit>("Text1")->setText(QStringLiteral("1e10"));
            for (int i = 0; i < 6; ++i)
                w.tick();
            QCOMPARE(w.status(), Prefix + "00:00:01");
            QVERIFY(!w.form->parts().lookup->isBusy());
            w.tick();
            expectScheduledLog(w, 1);
            w.tick();
            QCOMPARE(w.status(), Prefix + "00:00:09");
            QCOMPARE(w.widget<QLineEdit>("Text1")->text(), "1e10");
        } else {
            if (before == QLatin1String("daily"))
                w.widget<QRadioButton>("Option3")
                    ->click(); // the shared span is the daily one, below 0
            for (int i = 0; i < 12; ++i) {
                w.tick();
                QCOMPARE(w.status(), Prefix);
                QVERIFY(!w.form->parts().lookup->isBusy());
            }
            QCOMPARE(w.server.requestCount(), 0);
            // Once the boxes can be counted, the count goes on from the ticks already made.
            w.widget<QLineEdit>("Text1")->setText(QStringLiteral("0"));
            w.tick();
            expectScheduledLog(w, 1);
        }
        const QList<ErrorReport::Report> reports = w.env.takeReports();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first().module, "Form1");
        QCOMPARE(reports.first().procedure, "Timer1_Timer");
    }

    void dailyWeekly_data()
    {
        QTest::addColumn<QStringList>("presets");
        QTest::addColumn<QList<QTime>>("ticks");
        QTest::addColumn<QStringList>("statuses"); // after the prefix
        QTest::addColumn<QList<int>>("progress");
        QTest::addColumn<QList<int>>("logTicks");
        const QStringList daily {"Option2=True", "Option3=False", "Weekly Time=9:00:00 AM"};
        const QStringList weekly {"Option1=True", "Option3=False", "Weekly Time=9:00:00 AM"};
        const QList<QTime> around {QTime(8, 59, 59), QTime(9, 0), QTime(9, 0, 1)};
        QTest::newRow("daily") << daily
                               << QList<QTime> {QTime(8, 0, 1), QTime(8, 59, 58), QTime(8, 59, 59),
                                                QTime(9, 0),    QTime(9, 0, 1),   QTime(9, 0, 2)}
                               << QStringList {"00:59:59", "00:00:02", "00:00:01",
                                               "00:00:00", "",         ""}
                               << QList<int> {1, 3598, 3599, 3600, 0, 0} << QList<int> {4};
        QTest::newRow("daily, tick jumps over the moment")
            << daily << QList<QTime> {QTime(8, 59, 59), QTime(9, 0, 2), QTime(9, 0, 3)}
            << QStringList {"00:00:01", "", ""} << QList<int> {3599, 0, 0} << QList<int> {2};
        QTest::newRow("weekly, another day")
            << weekly + QStringList {"Weekly=Monday"} << around
            << QStringList {"00:00:01 [Monday]", "00:00:00 [Monday]", ""}
            << QList<int> {3599, 3600, 0} << QList<int> {};
        QTest::newRow("weekly, today") << weekly + QStringList {"Weekly=Friday"} << around
                                       << QStringList {"00:00:01 [Friday]", "00:00:00 [Friday]", ""}
                                       << QList<int> {3599, 3600, 0} << QList<int> {2};
        QTest::newRow("lower case") << weekly + QStringList {"Weekly=friday"} << around
                                    << QStringList {"00:00:01 [friday]", "00:00:00 [friday]", ""}
                                    << QList<int> {3599, 3600, 0} << QList<int> {};
    }
    void dailyWeekly()
    {
        QFETCH(QStringList, presets);
        QFETCH(QList<QTime>, ticks);
        QFETCH(QStringList, statuses);
        QFETCH(QList<int>, progress);
        QFETCH(QList<int>, logTicks);
        Window w(presets);
        w.click("PushButton2");
        QCOMPARE(w.form->parts().scheduler->counts().TotalSeconds, 3600);
        int rows = 0;
        for (int i = 0; i < ticks.size(); ++i) {
            w.tickAt(ticks.at(i));
            QCOMPARE(w.status(), Prefix + statuses.at(i));
            QCOMPARE(w.progress(), progress.at(i));
            if (logTicks.contains(i + 1))
                expectScheduledLog(w, ++rows);
            else
                QVERIFY(!w.form->parts().lookup->isBusy());
        }
        QCOMPARE(w.server.requestCount(), logTicks.size());
        if (presets.last().startsWith("Weekly="))
            QCOMPARE("Weekly=" + stored("Weekly"), presets.last());
    }

    // Clocks that skip or repeat an hour, or are set back: one log a day at the first moment
    // that exists at or after the chosen time, and a countdown that counts to it.
    void clockChanges_data()
    {
        QTest::addColumn<QStringList>("presets");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QList<QDateTime>>("ticks");
        QTest::addColumn<QStringList>("statuses"); // after the prefix
        QTest::addColumn<QList<int>>("progress");
        QTest::addColumn<QList<int>>("logTicks");
        const QStringList daily {"Option2=True", "Option3=False"};
        const auto at = [](const QDate &date, int h, int m, int s) {
            return QDateTime(date, QTime(h, m, s));
        };
        // Summer time begins on 29 March 2026 at 02:00, which becomes 03:00.
        const QDate spring(2026, 3, 29);
        QTest::newRow("time skipped")
            << daily + QStringList {"Weekly Time=2:30:00 AM"} << at(spring, 1, 0, 0)
            << QList<QDateTime> {at(spring, 1, 59, 58), at(spring, 1, 59, 59), at(spring, 3, 0, 0),
                                 at(spring, 3, 0, 1)}
            << QStringList {"00:00:02", "00:00:01", "00:00:00", ""}
            << QList<int> {3598, 3599, 3600, 0} << QList<int> {3};
        // It ends on 25 October 2026 at 03:00, which becomes 02:00: 02:30 comes twice.
        const QDateTime autumn = at(QDate(2026, 10, 25), 1, 0, 0);
        QList<QDateTime> twice;
        for (const int second : {5399, 5400, 5401, 8999, 9000, 9001})
            twice << autumn.addSecs(second);
        QTest::newRow("time repeated")
            << daily + QStringList {"Weekly Time=2:30:00 AM"} << autumn << twice
            << QStringList {"00:00:01", "00:00:00", "", "", "", ""}
            << QList<int> {5399, 5400, 0, 0, 0, 0} << QList<int> {2};
        const QDate day = friday(0, 0, 0).date();
        const QList<QDateTime> setBack {at(day, 8, 59, 59), at(day, 9, 0, 0),   at(day, 9, 0, 5),
                                        at(day, 8, 59, 58), at(day, 8, 59, 59), at(day, 9, 0, 0),
                                        at(day, 9, 0, 1)};
        QTest::newRow("clock set back over the time")
            << daily + QStringList {"Weekly Time=9:00:00 AM"} << friday(8, 0, 0) << setBack
            << QStringList {"00:00:01", "00:00:00", "", "00:00:02", "00:00:01", "00:00:00", ""}
            << QList<int> {3599, 3600, 0, 3598, 3599, 3600, 0} << QList<int> {2};
        QStringList weeklyStatuses;
        for (const char *left : {"00:00:01", "00:00:00", "", "00:00:02", "00:00:01", "00:00:00"})
            weeklyStatuses << (*left ? QString::fromLatin1(left) + " [Friday]" : QString());
        QTest::newRow("weekly clock set back over the time")
            << QStringList {"Option1=True", "Option3=False", "Weekly Time=9:00:00 AM",
                            "Weekly=Friday"}
            << friday(8, 0, 0) << setBack << weeklyStatuses + QStringList {""}
            << QList<int> {3599, 3600, 0, 3598, 3599, 3600, 0} << QList<int> {2};
        QTest::newRow("midnight after the time")
            << daily + QStringList {"Weekly Time=9:00:00 AM"} << friday(10, 0, 0)
            << QList<QDateTime> {at(day, 23, 59, 59), at(day.addDays(1), 0, 0, 0),
                                 at(day.addDays(1), 0, 0, 1)}
            << QStringList {"", "09:00:00", "08:59:59"} << QList<int> {0, 0, 1} << QList<int> {};
    }
    void clockChanges()
    {
        QFETCH(QStringList, presets);
        QFETCH(QDateTime, start);
        QFETCH(QList<QDateTime>, ticks);
        QFETCH(QStringList, statuses);
        QFETCH(QList<int>, progress);
        QFETCH(QList<int>, logTicks);
        Window w(presets, start);
        w.click("PushButton2");
        int rows = 0;
        for (int i = 0; i < ticks.size(); ++i) {
            w.now = ticks.at(i);
            w.form->parts().scheduler->tick();
            const QString where = ticks.at(i).toString(Qt::ISODate);
            QVERIFY2(w.status() == Prefix + statuses.at(i), qPrintable(where + " " + w.status()));
            QVERIFY2(w.progress() == progress.at(i), qPrintable(where));
            if (logTicks.contains(i + 1))
                expectScheduledLog(w, ++rows);
            else
                QVERIFY2(!w.form->parts().lookup->isBusy(), qPrintable(where));
        }
        QCOMPARE(w.server.requestCount(), logTicks.size());
        QCOMPARE(w.env.takeReports().size(), 0);
    }

    void switchOnOff()
    {
        Window w(interval("0", "0", "10"));
        QVERIFY(!(w.form->windowState() & Qt::WindowMinimized));
        w.click("PushButton2");
        QVERIFY(w.form->windowState() & Qt::WindowMinimized);
        QCOMPARE(w.button("PushButton2")->text(), "Turn Off");
        QCOMPARE(stored("StartStopState"), "On");
        QVERIFY(w.timer().isActive());
        w.tick();
        w.tick();
        QCOMPARE(w.progress(), 2);

        w.click("PushButton2");
        QCOMPARE(w.status(), "Off.");
        QCOMPARE(w.form->parts().Frame4->progressText(), "Progress Bar");
        QCOMPARE(w.progress(), 0);
        QCOMPARE(w.button("PushButton2")->text(), "Turn On");
        QCOMPARE(stored("StartStopState"), "Off");
        QVERIFY(!w.timer().isActive());

        // The next run starts as this one was left.
        w.open();
        QCOMPARE(w.button("PushButton2")->text(), "Turn On");
        QVERIFY(!w.timer().isActive());
        w.click("PushButton2");
        w.open();
        QCOMPARE(w.button("PushButton2")->text(), "Turn Off");
        QVERIFY(w.timer().isActive());
        // ... and the switch turns off from there.
        w.click("PushButton2");
        QCOMPARE(w.button("PushButton2")->text(), "Turn On");
        QCOMPARE(stored("StartStopState"), "Off");
    }

    // Turning logging off lets a log in flight finish and drops a scheduled log waiting behind
    // it; a "Log Now (Test)" the user asked for still runs.
    void offDuringLogs_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<int>("rows");
        QTest::newRow("scheduled log in flight") << QStringList {"tick"} << 1;
        QTest::newRow("scheduled log waiting behind Log Now")
            << QStringList {"logNow", "tick"} << 1;
        QTest::newRow("Log Now waiting behind a scheduled log")
            << QStringList {"tick", "logNow"} << 2;
        QTest::newRow("the server's request waiting behind a scheduled log")
            << QStringList {"tick", "server"} << 2;
    }
    void offDuringLogs()
    {
        QFETCH(QStringList, actions);
        QFETCH(int, rows);
        Window w(interval("0", "0", "1"));
        w.slowLookups();
        w.click("PushButton2");
        for (const QString &action : actions) {
            w.act(action);
            QVERIFY(w.form->parts().lookup->isBusy());
        }
        w.click("PushButton2");
        QTRY_COMPARE_WITH_TIMEOUT(w.rows(), rows, LookupWaitMs);
        QTRY_VERIFY(!w.form->parts().lookup->isBusy());
        QTest::qWait(400);
        QCOMPARE(w.rows(), rows);
        QCOMPARE(w.server.requestCount(), rows);
        QVERIFY(!w.timer().isActive());
        QCOMPARE(w.status(), "Off.");
        QCOMPARE(w.button("PushButton2")->text(), "Turn On");
        // The row the server asked for says so.
        const QModelIndex time = w.form->parts().results->index(rows - 1, 0);
        QCOMPARE(time.data(Qt::AccessibleDescriptionRole).toString() == "Asked by your server",
                 actions.last() == "server");
    }

    // While one lookup is in flight, more requests make one more lookup at most, and it starts
    // only after the first one's row is in.
    void overlaps_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::newRow("due tick during Log Now") << QStringList {"logNow", "tick"};
        QTest::newRow("Log Now during a scheduled log") << QStringList {"tick", "logNow"};
        QTest::newRow("Log Now three times") << QStringList {"logNow", "logNow", "logNow"};
        QTest::newRow("due tick and Log Now during Log Now")
            << QStringList {"logNow", "tick", "logNow"};
    }
    void overlaps()
    {
        QFETCH(QStringList, actions);
        Window w(interval("0", "0", "2"));
        w.slowLookups();
        QList<int> rowsAtRequest;
        connect(&w.server, &LoopbackServer::requestReceived, this,
                [&w, &rowsAtRequest] { rowsAtRequest << w.rows(); });
        w.click("PushButton2");
        w.tick(); // the next tick is due
        for (const QString &action : actions) {
            w.act(action);
            QVERIFY(w.form->parts().lookup->isBusy());
        }
        const bool scheduled = actions.contains(QStringLiteral("tick"));
        QCOMPARE(w.timer().isActive(), !scheduled);
        QTRY_COMPARE_WITH_TIMEOUT(w.rows(), 2, LookupWaitMs);
        QTRY_VERIFY(!w.form->parts().lookup->isBusy());
        QVERIFY(w.timer().isActive());
        QTest::qWait(400);
        QCOMPARE(w.rows(), 2);
        QCOMPARE(rowsAtRequest, QList<int>({0, 1}));
    }

    void chooseMode_data()
    {
        QTest::addColumn<QStringList>("presets");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("storedOptions");
        QTest::addColumn<bool>("pickerEnabled");
        QTest::addColumn<bool>("dayEnabled");
        QTest::newRow("daily") << QStringList() << "Option2"
                               << QStringList {"False", "True", "False"} << true << false;
        QTest::newRow("weekly") << QStringList() << "Option1"
                                << QStringList {"True", "False", "False"} << true << true;
        QTest::newRow("interval") << QStringList {"Option1=True", "Option3=False"} << "Option3"
                                  << QStringList {"False", "False", "True"} << false << false;
    }
    void chooseMode()
    {
        QFETCH(QStringList, presets);
        QFETCH(QString, option);
        Window w(presets);
        w.widget<QRadioButton>(option)->click();
        QTEST(QStringList({stored("Option1"), stored("Option2"), stored("Option3")}),
              "storedOptions");
        QTEST(w.widget<QTimeEdit>("dtpWeekly")->isEnabled(), "pickerEnabled");
        QTEST(w.widget<QComboBox>("cboWeekly")->isEnabled(), "dayEnabled");
    }

    void typing_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("hours") << "Text1";
        QTest::newRow("minutes") << "Text2";
        QTest::newRow("seconds") << "Text3";
    }
    void typing()
    {
        QFETCH(QString, box);
        Window w;
        auto *edit = w.widget<QLineEdit>(box);
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("12"));
        QCOMPARE(edit->text(), "12");
        QCOMPARE(stored(box), "12");
    }

    void leaveBox_data()
    {
        const DataTable<QString, QString, bool> table({"box", "text", "notice"});
        table.row("hours emptied", "Text1", "", true);
        table.row("minutes not a number", "Text2", "abc", true);
        table.row("seconds emptied", "Text3", "", true);
        table.row("seconds numeric", "Text3", "7", false);
    }
    void leaveBox()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(bool, notice);
        Window w;
        w.form->show();
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        auto *edit = w.widget<QLineEdit>(box);
        edit->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), edit);
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != edit);
        if (notice) {
            QTRY_COMPARE(w.dialogs.notices, QStringList {"Must be a numeric entry."});
            QTRY_COMPARE(QApplication::focusWidget(), edit);
        } else {
            QTest::qWait(50);
            QCOMPARE(w.dialogs.notices, QStringList());
            QVERIFY(QApplication::focusWidget() != edit);
        }
    }

    void pickerSpan_data()
    {
        QTest::addColumn<QStringList>("presets");
        QTest::addColumn<QTime>("clock");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("total");
        const QStringList noon {"Weekly Time=12:00:00 PM", "StartStopState=On"};
        QTest::newRow("daily, picker moved") << noon + QStringList {"Option2=True", "Option3=False"}
                                             << QTime(8, 0) << "picker" << 3600;
        QTest::newRow("weekly, picker moved")
            << noon + QStringList {"Option1=True", "Option3=False"} << QTime(8, 0) << "picker"
            << 14400;
        QTest::newRow("daily chosen after the time")
            << QStringList {"Weekly Time=9:00:00 AM"} << QTime(10, 0) << "daily" << -3600;
    }
    void pickerSpan()
    {
        QFETCH(QStringList, presets);
        QFETCH(QTime, clock);
        QFETCH(QString, action);
        Window w(presets, QDateTime(friday(0, 0, 0).date(), clock));
        if (action == QLatin1String("picker"))
            w.widget<QTimeEdit>("dtpWeekly")->setTime(QTime(9, 0));
        else
            w.widget<QRadioButton>("Option2")->click();
        QTEST(int(w.form->parts().scheduler->counts().TotalSeconds), "total");
        QCOMPARE(stored("Weekly Time"), "9:00:00 AM");
    }
};

QTEST_MAIN(TestForm1Schedule)
#include "tst_form1_schedule.moc"
