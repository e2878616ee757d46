// Waking from a sleep, told by a real logind stand-in on a private bus: a log that fell due
// while asleep waits until NetworkManager (a stand-in on the same bus) says the network is up,
// or at most 30 s, and then runs once. And a log when NetworkManager's primary connection
// changes, once it has settled, when the start-up options ask for it.

#include "app/form1.h"
#include "app/machinewatch.h"
#include "desktop/networkwatch.h"
#include "desktop/sleepwatch.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "scheduler/networkchangelog.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/scheduler.h"
#include "support/datatable.h"
#include "support/form1fixture.h"
#include "support/privatebus.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

constexpr int LookupWaitMs = 5000;
constexpr uint Disconnected = 20;
constexpr uint ConnectedGlobal = 70;
// Shorter than the program's 10 s and 60 s, long enough that a busy machine's changes 100 ms
// apart stay within one settle time.
constexpr int SettleMs = 1500;
constexpr qint64 GapMs = 5000;

QString activeConnection(const QString &number)
{
    return QStringLiteral("/org/freedesktop/NetworkManager/ActiveConnection/") + number;
}

} // namespace

class TestForm1Wake : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PrivateSystemBus> m_bus;

private Q_SLOTS:
    void initTestCase()
    {
        Form1Fixture::keepLookupsLocal();
        m_bus = std::make_unique<PrivateSystemBus>();
        QVERIFY2(m_bus->startTemplate("logind", "org.freedesktop.login1"),
                 qPrintable(m_bus->problem()));
        QVERIFY2(m_bus->startTemplate("networkmanager", "org.freedesktop.NetworkManager"),
                 qPrintable(m_bus->problem()));
        // The template's manager has no primary connection of its own.
        const QString manager = QStringLiteral("/org/freedesktop/NetworkManager");
        QVERIFY2(m_bus->callMock("org.freedesktop.NetworkManager", manager, "AddProperty",
                                 {"org.freedesktop.NetworkManager", "PrimaryConnection",
                                  QVariant::fromValue(QDBusVariant(
                                      QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))))}),
                 qPrintable(m_bus->problem()));
    }
    void cleanupTestCase() { m_bus.reset(); }

    // Steps: "run N" (the machine runs N seconds, then the tick comes if logging is on), "sleep N"
    // (logind tells of a sleep of N seconds and of the wake), "unheard N" (a sleep only the clocks
    // tell of), "logind sleeping" / "logind woken" (its word alone), "network up" / "network down"
    // (NetworkManager's state), "switch" (Turn On or Turn Off). After each step, the rows logged so
    // far.
    void wakes_data()
    {
        const DataTable<QStringList, QStringList, QList<int>> table({"presets", "steps", "rows"});
        const QStringList hourly {"Text1=1", "Text2=0", "Text3=0"};
        const QStringList daily {"Option2=True", "Option3=False", "Weekly Time=9:00:00 AM"};
        table.row("network up on waking: one log at once", hourly,
                  {"run 1800", "sleep 25200", "run 1", "run 1", "run 3599"}, {0, 0, 1, 1, 2});
        table.row("network back five seconds after waking", hourly,
                  {"run 1800", "network down", "sleep 25200", "run 1", "run 4", "network up",
                   "run 1", "run 1"},
                  {0, 0, 0, 0, 0, 0, 1, 1});
        table.row("network never back: the log runs 30 s after waking", hourly,
                  {"run 1800", "network down", "sleep 25200", "run 29", "run 1", "run 1"},
                  {0, 0, 0, 0, 1, 1});
        table.row("a daily time passed while asleep waits for the network", daily,
                  {"run 1800", "network down", "sleep 25200", "run 1", "run 10", "network up",
                   "run 1", "run 60"},
                  {0, 0, 0, 0, 0, 0, 1, 1});
        table.row(
            "a sleep logind does not tell of: the clocks tell", hourly,
            {"run 1800", "network down", "unheard 25200", "run 1", "run 10", "network up", "run 1"},
            {0, 0, 0, 0, 0, 0, 1});
        table.row("a weekly time passed while asleep waits for the network",
                  {"Option1=True", "Option3=False", "Weekly Time=9:00:00 AM", "Weekly=Friday"},
                  {"run 1800", "network down", "sleep 25200", "run 1", "network up", "run 1"},
                  {0, 0, 0, 0, 0, 1});
        table.row("due between logind's word and the sleep: waits for the wake", hourly,
                  {"run 3599", "logind sleeping", "run 1", "run 1", "logind woken", "run 1"},
                  {0, 0, 0, 0, 0, 1});
        table.row("switched off while waiting: no log until switched on", hourly,
                  {"run 1800", "network down", "sleep 25200", "run 1", "switch", "network up",
                   "run 1", "switch", "run 1"},
                  {0, 0, 0, 0, 0, 0, 0, 0, 1});
        table.row("a sleep while switched off: no wait once switched on", hourly,
                  {"run 3599", "switch", "network down", "sleep 25200", "switch", "run 1"},
                  {0, 0, 0, 0, 0, 1});
    }
    void wakes()
    {
        QFETCH(QStringList, presets);
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, rows);
        QVERIFY2(m_bus->setNetworkState(ConnectedGlobal), qPrintable(m_bus->problem()));
        Form1Fixture w({.presets = QStringList {"APIKey=key", "StartStopState=Off"} + presets,
                        .start = QDateTime(QDate(2026, 12, 11), QTime(8, 0)),
                        .tray = false});
        w.server.setResponse({200, LoopbackServer::singleLineAnswer()});
        auto *machine = w.form->findChild<MachineWatch *>();
        QVERIFY(machine);
        // Once the network's first answer is in, the sleep's subscription is in place too.
        QTRY_VERIFY(machine->network()->knowsState());
        QSignalSpy asleep(machine->sleep(), &SleepWatch::aboutToSleep);
        QSignalSpy woke(machine->sleep(), &SleepWatch::woke);
        w.click("PushButton2");
        for (int i = 0; i < steps.size(); ++i) {
            const QStringList step = steps.at(i).split(QLatin1Char(' '));
            const QString &what = step.first();
            if (what == QLatin1String("run")) {
                // The tick comes only while its timer runs.
                if (w.form->parts().scheduler->timer().isActive())
                    w.tickAfter(step.last().toLongLong());
                else
                    w.passTime(step.last().toLongLong());
            } else if (what == QLatin1String("sleep")) {
                QVERIFY(m_bus->prepareForSleep(true));
                QTRY_COMPARE(asleep.size(), 1);
                w.sleep(step.last().toLongLong());
                QVERIFY(m_bus->prepareForSleep(false));
                QTRY_COMPARE(woke.size(), 1);
            } else if (what == QLatin1String("logind")) {
                const bool sleeping = step.last() == QLatin1String("sleeping");
                QVERIFY(m_bus->prepareForSleep(sleeping));
                QTRY_COMPARE((sleeping ? asleep : woke).size(), 1);
            } else if (what == QLatin1String("unheard")) {
                w.sleep(step.last().toLongLong());
            } else if (what == QLatin1String("network")) {
                const bool up = step.last() == QLatin1String("up");
                QVERIFY(m_bus->setNetworkState(up ? ConnectedGlobal : Disconnected));
                QTRY_COMPARE(machine->network()->isUp(), up);
            } else {
                w.click("PushButton2");
            }
            const QByteArray where = steps.at(i).toUtf8() + " (step " + QByteArray::number(i) + ")";
            QTRY_VERIFY_WITH_TIMEOUT(!w.form->parts().lookup->isBusy(), LookupWaitMs);
            QVERIFY2(w.form->parts().results->rows() == rows.at(i), where);
            QVERIFY2(w.form->parts().scheduler->timer().isActive()
                         == w.form->parts().schedule->isOn(),
                     where);
        }
        QCOMPARE(w.server.requestCount(), rows.last());
        QCOMPARE(w.env.takeReports().size(), 0);
    }

    // Steps: "primary N" (the primary connection becomes active connection N), "network up" /
    // "network down", "wait MS", "logged N" (waits until N rows are in), "log now" (the user's
    // "Log Now (Test)"). After each step, the
    // rows so far; at the end, the rows once nothing more can settle.
    void networkChanges_data()
    {
        const DataTable<bool, bool, QStringList, QList<int>, int> table(
            {"option", "on", "steps", "rows", "finally"});
        table.row("three changes within the settle time: one log", true, true,
                  {"primary 1", "wait 100", "primary 2", "wait 100", "primary 3", "wait 200"},
                  {0, 0, 0, 0, 0, 0}, 1);
        table.row("changes for longer than the settle time: settled from the last", true, true,
                  {"primary 1", "wait 800", "primary 2", "wait 800", "primary 3", "wait 800"},
                  {0, 0, 0, 0, 0, 0}, 1);
        table.row("the box not ticked: no log", false, true, {"primary 1", "wait 100", "primary 2"},
                  {0, 0, 0}, 0);
        table.row("logging off: no log", true, false, {"primary 1", "wait 100", "primary 2"},
                  {0, 0, 0}, 0);
        table.row("a change within a minute of the last logs when the minute is over", true, true,
                  {"primary 1", "logged 1", "primary 2", "wait 2000"}, {0, 1, 1, 1}, 2);
        table.row("a change that leaves no network: no log until it is back", true, true,
                  {"primary 1", "network down", "wait 2000", "network up"}, {0, 0, 0, 0}, 1);
        // As after waking: the log that waited for the network saw it as it is now.
        table.row("a log made after the change: no second log", true, true,
                  {"primary 1", "network down", "network up", "log now", "logged 1", "wait 2000"},
                  {0, 0, 0, 0, 1, 1}, 1);
        table.row("a change after that log: logged", true, true,
                  {"log now", "logged 1", "wait 200", "primary 1", "logged 2"}, {0, 1, 1, 1, 2}, 2);
    }
    void networkChanges()
    {
        QFETCH(bool, option);
        QFETCH(bool, on);
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, rows);
        QVERIFY2(m_bus->setNetworkState(ConnectedGlobal), qPrintable(m_bus->problem()));
        QVERIFY2(m_bus->setPrimaryConnection(activeConnection("0")), qPrintable(m_bus->problem()));
        Form1Fixture w(
            {.presets = {"APIKey=key", "StartStopState=Off",
                         option ? "Log On Network Change=On" : "Log On Network Change=Off"},
             .tray = false});
        w.server.setResponse({200, LoopbackServer::singleLineAnswer()});
        auto *machine = w.form->findChild<MachineWatch *>();
        QVERIFY(machine);
        machine->changeLog()->setTimings(SettleMs, GapMs);
        QTRY_VERIFY(machine->network()->knowsState());
        if (on)
            w.click("PushButton2");
        for (int i = 0; i < steps.size(); ++i) {
            const QStringList step = steps.at(i).split(QLatin1Char(' '));
            const QString &what = step.first();
            if (what == QLatin1String("primary")) {
                QVERIFY(m_bus->setPrimaryConnection(activeConnection(step.last())));
            } else if (what == QLatin1String("network")) {
                const bool up = step.last() == QLatin1String("up");
                QVERIFY(m_bus->setNetworkState(up ? ConnectedGlobal : Disconnected));
                QTRY_COMPARE(machine->network()->isUp(), up);
            } else if (what == QLatin1String("wait")) {
                QTest::qWait(step.last().toInt());
            } else if (what == QLatin1String("log")) {
                w.click("PushButton9");
            } else {
                QTRY_COMPARE_WITH_TIMEOUT(w.form->parts().results->rows(), step.last().toInt(),
                                          LookupWaitMs + SettleMs);
            }
            QVERIFY2(w.form->parts().results->rows() == rows.at(i), qPrintable(steps.at(i)));
        }
        QFETCH(int, finally);
        QTRY_COMPARE_WITH_TIMEOUT(w.form->parts().results->rows(), finally,
                                  LookupWaitMs + int(GapMs));
        QTest::qWait(2 * SettleMs);
        QTRY_VERIFY_WITH_TIMEOUT(!w.form->parts().lookup->isBusy(), LookupWaitMs);
        QCOMPARE(w.form->parts().results->rows(), finally);
        QCOMPARE(w.server.requestCount(), finally);
        QCOMPARE(w.env.takeReports().size(), 0);
    }
};

QTEST_MAIN(TestForm1Wake)
#include "tst_form1_wake.moc"
