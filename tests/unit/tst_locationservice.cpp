#include "desktop/locationservice.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "support/datatable.h"
#include "support/loopbackserver.h"
#include "support/privatebus.h"
#include "support/testenv.h"

#include <QSignalSpy>
#include <QTest>

#include <limits>
#include <memory>

namespace {

// Shorter than the program's, so that a row ends in seconds; the service waits longer than the
// log, so that a fix can come too late for the log.
constexpr int LogDeadlineMs = 1500;
constexpr int ServiceDeadlineMs = 3000;

// The daemon's configuration: only its Wi-Fi source, asking the stand-in service at url, and the
// program allowed (or not) without asking the user.
QByteArray config(const QString &url, bool allowed)
{
    return "[agent]\nwhitelist=trovanel-test-agent\n"
           "[network-nmea]\nenable=false\n[3g]\nenable=false\n[cdma]\nenable=false\n"
           "[modem-gps]\nenable=false\n[compass]\nenable=false\n"
           "[wifi]\nenable=true\nsubmit-data=false\nurl="
        + url.toUtf8() + "/v1/geolocate\n[trovanel]\nallowed=" + (allowed ? "true" : "false")
        + "\nsystem=true\nusers=\n";
}

} // namespace

// A log asks the desktop's location service (the real daemon, on a bus of the test's own) for a
// second fix alongside the lookup. Without a Wi-Fi device the daemon still asks its Wi-Fi
// service, with no networks, at street level or finer.
class TestLocationService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Before anything in the test reaches for the system bus.
        m_bus = std::make_unique<PrivateSystemBus>();
        QVERIFY2(m_bus->problem().isEmpty(), qPrintable(m_bus->problem()));
    }
    void cleanupTestCase() { m_bus.reset(); }

    void secondFix_data()
    {
        QTest::addColumn<bool>("daemon");
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<bool>("agent");
        QTest::addColumn<int>("delayMs"); // before the Wi-Fi service answers
        QTest::addColumn<double>("latitude"); // where it places the laptop
        QTest::addColumn<double>("longitude");
        QTest::addColumn<bool>("joined");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<int>("problem"); // -1: none told

        // The address answer places the laptop in São Paulo, to some 50 km.
        const int none = -1;
        const int noService = int(LocationService::Problem::NoService);
        const int refused = int(LocationService::Problem::Refused);
        const int noAgent = int(LocationService::Problem::NoAgent);
        QTest::newRow("a fix in time, near the address")
            << true << true << true << 0 << -23.55 << -46.63 << true << false << none;
        QTest::newRow("a fix in time, far from the address")
            << true << true << true << 0 << 48.8566 << 2.3522 << true << true << none;
        QTest::newRow("a fix too late") << true << true << true << LogDeadlineMs + 700 << 48.8566
                                        << 2.3522 << false << false << none;
        QTest::newRow("no service")
            << false << true << true << 0 << 48.8566 << 2.3522 << false << false << noService;
        QTest::newRow("refused by its configuration")
            << true << false << true << 0 << 48.8566 << 2.3522 << false << false << refused;
        QTest::newRow("no agent to ask the user")
            << true << true << false << 0 << 48.8566 << 2.3522 << false << false << noAgent;
    }
    void secondFix()
    {
        QFETCH(bool, daemon);
        QFETCH(bool, allowed);
        QFETCH(bool, agent);
        QFETCH(int, delayMs);
        QFETCH(double, latitude);
        QFETCH(double, longitude);

        TestEnv env;
        LoopbackServer lookup;
        LoopbackServer wifi;
        QVERIFY(lookup.listen() && wifi.listen());
        wifi.setResponse({200,
                          QStringLiteral(R"({"location":{"lat":%1,"lng":%2},"accuracy":40})")
                              .arg(latitude)
                              .arg(longitude)
                              .toUtf8()});
        wifi.setMode(LoopbackServer::Mode::Slow);
        wifi.setDelayMs(delayMs);
        m_bus->stopLocationService();
        if (daemon && !m_bus->startLocationService(config(wifi.baseUrl(), allowed), agent))
            QSKIP(qPrintable(m_bus->problem()));

        ResultsList results;
        CurlFunctions functions(&results);
        functions.ExtractWorkingFiles();
        functions.runner().setServiceBase(lookup.baseUrl());
        functions.setWiFiDeadline(LogDeadlineMs);
        LocationService service;
        service.setDeadline(ServiceDeadlineMs);
        QList<LocationService::Problem> told;
        functions.setWiFiSource([&](CurlFunctions::FixFound found) {
            service.ask([&told, found](const LocationService::Answer &answer) {
                if (answer.problem)
                    told << *answer.problem;
                found(answer.fix);
            });
        });
        QSignalSpy logged(&functions, &CurlFunctions::logFinished);
        QVERIFY(functions.GetLog());
        QVERIFY(logged.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!service.isAsking(), ServiceDeadlineMs + 1000);

        QTEST(results.wiFiFix(0).has_value(), "joined");
        QTEST(!results.mark(0).isEmpty(), "marked");
        QTEST(told.isEmpty() ? -1 : int(told.at(0)), "problem");
        QCOMPARE(wifi.requestCount() > 0, daemon && allowed && agent);
        functions.DeleteWorkingFiles();
    }

    // What the service sends may be anything its sources made of a place: only a place on the
    // globe, with a positive accuracy, taken since the log asked, is the log's fix.
    void usableFix_data()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        const std::optional<qint64> asked = 1'765'000'000'000, untold;
        const DataTable<Fix, std::optional<qint64>, bool> table({"fix", "takenMs", "usable"});
        const auto at = [](double latitude, double longitude, double accuracy) {
            return Fix {latitude, longitude, accuracy, Fix::Source::WiFi};
        };
        table.row("taken after the ask", at(52.52, 13.4, 40), *asked + 900, true);
        table.row("told to the second of the ask", at(-90, 180, 0.5), *asked - 999, true);
        table.row("no time told", at(90, -180, 40), untold, true);
        table.row("taken a second before the log", at(52.52, 13.4, 40), *asked - 1000, false);
        table.row("latitude past the pole", at(90.01, 13.4, 40), asked, false);
        table.row("longitude past the antimeridian", at(52.52, -180.5, 40), asked, false);
        table.row("latitude not a number", at(nan, 13.4, 40), asked, false);
        table.row("longitude infinite", at(52.52, inf, 40), asked, false);
        table.row("accuracy nil", at(52.52, 13.4, 0), asked, false);
        table.row("accuracy below nil", at(52.52, 13.4, -40), asked, false);
        table.row("accuracy not a number", at(52.52, 13.4, nan), asked, false);
        table.row("accuracy infinite", at(52.52, 13.4, inf), asked, false);
    }
    void usableFix()
    {
        QFETCH(Fix, fix);
        QFETCH(std::optional<qint64>, takenMs);
        QTEST(LocationService::usable(fix, takenMs, 1'765'000'000'000), "usable");
    }

private:
    std::unique_ptr<PrivateSystemBus> m_bus;
};

QTEST_GUILESS_MAIN(TestLocationService)
#include "tst_locationservice.moc"
