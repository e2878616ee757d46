#include "desktop/networkwatch.h"
#include "desktop/routewatch.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

// Where NetworkManager is absent, the network's state comes from the system's own view of its
// routes. The test gives itself a network of its own (a namespace where it may set routes) and
// checks that taking the way out away and giving it back is seen.
class TestNetworkWatch : public QObject
{
    Q_OBJECT

private:
    static bool inOwnNetwork() { return qEnvironmentVariableIsSet("TROVANEL_OWN_NETWORK"); }

    static void ip(const QStringList &arguments)
    {
        QProcess run;
        run.start(QStringLiteral("ip"), arguments);
        QVERIFY(run.waitForFinished(10000));
        QVERIFY2(run.exitCode() == 0, run.readAllStandardError().constData());
    }

private Q_SLOTS:
    // The tables as the kernel writes them.
    void defaultRoutes_data()
    {
        QTest::addColumn<QByteArray>("ipv4");
        QTest::addColumn<QByteArray>("ipv6");
        QTest::addColumn<QStringList>("routes");
        const QByteArray head = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask"
                                "\t\tMTU\tWindow\tIRTT\n";
        const QByteArray wifi = "wlp2s0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                                "wlp2s0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n";
        const QByteArray v6Default = "00000000000000000000000000000000 00 "
                                     "00000000000000000000000000000000 00 "
                                     "fe800000000000000000000000000001 00000400 00000003 00000000 "
                                     "00000003     eth0\n";
        const QByteArray v6Rejected = "00000000000000000000000000000000 00 "
                                      "00000000000000000000000000000000 00 "
                                      "00000000000000000000000000000000 ffffffff 00000001 00000000 "
                                      "00200200       lo\n";
        const QByteArray v6Local = "fe800000000000000000000000000000 40 "
                                   "00000000000000000000000000000000 00 "
                                   "00000000000000000000000000000000 00000100 00000001 00000000 "
                                   "00000001     eth0\n";
        QTest::newRow("Wi-Fi with a gateway")
            << head + wifi << v6Rejected << QStringList {"wlp2s0 via 0101A8C0"};
        QTest::newRow("IPv6 only") << head << v6Local + v6Default
                                   << QStringList {"eth0 via fe800000000000000000000000000001"};
        QTest::newRow("only a network of its own")
            << head + wifi.sliced(wifi.indexOf('\n') + 1) << v6Local + v6Rejected << QStringList {};
        QTest::newRow("a route that is down") << head
                + "eth0\t00000000\t0101A8C0\t0002\t0\t0\t0"
                  "\t00000000\t0\t0\t0\n" << QByteArray()
                                              << QStringList {};
        QTest::newRow("tables unreadable") << QByteArray() << QByteArray() << QStringList {};
    }
    void defaultRoutes()
    {
        QFETCH(QByteArray, ipv4);
        QFETCH(QByteArray, ipv6);
        QFETCH(QStringList, routes);
        QCOMPARE(RouteWatch::defaultRoutes(ipv4, ipv6), routes);
    }

    void withoutNetworkManager()
    {
        if (!inOwnNetwork()) {
            // The routes of a network of its own only: never the machine's.
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("TROVANEL_OWN_NETWORK"), QStringLiteral("1"));
            environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                               QStringLiteral("unix:path=/nonexistent/trovanel-test-bus"));
            QProcess child;
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QStringLiteral("unshare"),
                        {"--net", "--", QCoreApplication::applicationFilePath(),
                         QStringLiteral("withoutNetworkManager")});
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAll();
            if (output.startsWith("unshare:"))
                QSKIP(qPrintable(QStringLiteral("no network of its own: ")
                                 + QString::fromLocal8Bit(output).trimmed()));
            QVERIFY2(child.exitCode() == 0, output.constData());
            return;
        }
        // A link of its own (one end of a pair), up and addressed, but no way out yet.
        ip({"link", "set", "lo", "up"});
        ip({"link", "add", "trovanel0", "type", "veth", "peer", "name", "trovanel1"});
        ip({"link", "set", "trovanel0", "up"});
        ip({"link", "set", "trovanel1", "up"});
        ip({"address", "add", "10.9.8.7/24", "dev", "trovanel0"});
        NetworkWatch watch;
        QSignalSpy changed(&watch, &NetworkWatch::changed);
        QVERIFY(!watch.start());
        QVERIFY(watch.usesRoutes());
        QVERIFY(watch.knowsState());
        QTRY_VERIFY(!watch.isUp());
        ip({"route", "add", "default", "via", "10.9.8.1", "dev", "trovanel0"});
        QTRY_VERIFY(watch.isUp());
        QVERIFY(!changed.isEmpty());
        changed.clear();
        ip({"route", "del", "default", "via", "10.9.8.1", "dev", "trovanel0"});
        QTRY_VERIFY(!watch.isUp());
        QVERIFY(!changed.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestNetworkWatch)
#include "tst_networkwatch.moc"
