// A laptop that sleeps with logging on: the interval runs on the boot clock, so the time
// asleep counts, and a log that fell due while asleep is made once on waking.

#include "app/form1.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/scheduler.h"
#include "support/datatable.h"
#include "support/form1fixture.h"

#include <QGroupBox>
#include <QTest>

#include <ctime>

namespace {

const QString Prefix = QStringLiteral("On. Next Log will occur in: ");
constexpr int LookupWaitMs = 5000;

QStringList on(const QStringList &countdowns)
{
    QStringList statuses;
    for (const QString &left : countdowns)
        statuses << (left == QLatin1String("Off.") ? left : Prefix + left);
    return statuses;
}

} // namespace

class TestForm1Sleep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Form1Fixture::keepLookupsLocal("Europe/Berlin"); }

    // Steps: "run N" (the machine runs N seconds, then the tick comes), "sleep N" (it sleeps N
    // seconds; no tick), "switch" (the user clicks Turn On or Turn Off). After each step: the
    // status and the rows logged so far.
    void sleeps_data()
    {
        const DataTable<QStringList, QStringList, QStringList, QList<int>> table(
            {"presets", "steps", "statuses", "rows"});
        const QStringList hourly {"Text1=1", "Text2=0", "Text3=0"};
        const QStringList daily {"Option2=True", "Option3=False", "Weekly Time=9:00:00 AM"};
        table.row("an hour's interval, seven hours asleep", hourly,
                  {"run 1800", "sleep 25200", "run 1", "run 1", "run 3598", "run 1"},
                  on({"00:30:00", "00:30:00", "00:00:00", "00:59:59", "00:00:01", "00:00:00"}),
                  {0, 0, 1, 1, 1, 2});
        table.row("the countdown counts the time asleep", hourly,
                  {"run 600", "sleep 1200", "run 1", "run 1798", "run 1"},
                  on({"00:50:00", "00:50:00", "00:29:59", "00:00:01", "00:00:00"}),
                  {0, 0, 0, 0, 1});
        table.row("asleep with logging off: no log, and the sleep does not count", hourly,
                  {"run 1800", "switch", "sleep 25200", "switch", "run 1", "run 1799"},
                  on({"00:30:00", "Off.", "Off.", "Off.", "00:29:59", "00:00:00"}),
                  {0, 0, 0, 0, 0, 1});
        table.row("a daily time passed while asleep", daily,
                  {"run 1800", "sleep 25200", "run 1", "run 60"},
                  on({"00:30:00", "00:30:00", "", ""}), {0, 0, 1, 1});
        table.row("a daily time passed over two nights asleep", daily,
                  {"run 1800", "sleep 172800", "run 1", "run 60"},
                  on({"00:30:00", "00:30:00", "00:29:59", "00:28:59"}), {0, 0, 1, 1});
    }
    void sleeps()
    {
        QFETCH(QStringList, presets);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, statuses);
        QFETCH(QList<int>, rows);
        Form1Fixture w({.presets = QStringList {"APIKey=key", "StartStopState=Off"} + presets,
                        .start = QDateTime(QDate(2026, 12, 11), QTime(8, 0)),
                        .tray = false});
        w.server.setResponse({200, LoopbackServer::singleLineAnswer()});
        auto *status = w.widget<QGroupBox>("Frame4");
        w.click("PushButton2");
        for (int i = 0; i < steps.size(); ++i) {
            const QStringList step = steps.at(i).split(QLatin1Char(' '));
            if (step.first() == QLatin1String("run"))
                w.tickAfter(step.last().toLongLong());
            else if (step.first() == QLatin1String("sleep"))
                w.sleep(step.last().toLongLong());
            else
                w.click("PushButton2");
            const QByteArray where = steps.at(i).toUtf8() + " (step " + QByteArray::number(i) + ")";
            QVERIFY2(status->title() == statuses.at(i), where + ": " + status->title().toUtf8());
            QTRY_VERIFY_WITH_TIMEOUT(!w.form->parts().lookup->isBusy(), LookupWaitMs);
            QVERIFY2(w.form->parts().results->rows() == rows.at(i), where);
            // The tick runs only while logging is on, whatever the sleep did.
            QVERIFY2(w.form->parts().scheduler->timer().isActive()
                         == w.form->parts().schedule->isOn(),
                     where);
        }
        QCOMPARE(w.server.requestCount(), rows.last());
        QCOMPARE(w.env.takeReports().size(), 0);
    }
};

QTEST_MAIN(TestForm1Sleep)
#include "tst_form1_sleep.moc"
