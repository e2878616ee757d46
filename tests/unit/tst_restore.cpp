// Reading the laptop's record back from the user's location server: the messages this program
// sends, kept as an OwnTracks recorder or a dawarich server keeps them, come back through the
// real curl as the same points, a month or a page at a time; a server that refuses, is not
// there, answers nonsense or not at all ends the fetch with its reason and nothing whole.

#include "share/ownmessage.h"
#include "share/restoreclient.h"
#include "support/datatable.h"
#include "support/logrows.h"
#include "support/restoreserver.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <cmath>

class TestRestore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void restore_data()
    {
        using Kind = RestoreServer::Kind;
        // setup: how the server and the settings differ from a plain server with the record.
        // derived: the address worked out from the settings (%1: the server's port). answers:
        // at least this many answers held points. probe, failure: texts the outcome holds (a
        // probe that finds no server: the fetch fails as it did).
        const DataTable<Kind, QString, int, QString, int, QString, QString> table(
            {"kind", "setup", "count", "derived", "answers", "probe", "failure"});
        const QString recorder = QStringLiteral("Found an OwnTracks recorder at 127.0.0.1");
        const QString dawarich = QStringLiteral("Found a dawarich server at 127.0.0.1.");
        const QString root = QStringLiteral("http://127.0.0.1:%1/");
        const QString notJson = QStringLiteral("not JSON (illegal value at byte 1). The server "
                                               "said: Not here");
        table.row("recorder, 5 months", Kind::Recorder, "", 14, root, 5, recorder, "");
        table.row("recorder, months in parts", Kind::Recorder, "small", 6, root, 4, recorder, "");
        table.row("recorder, password", Kind::Recorder, "password", 3, root, 1, recorder, "");
        table.row("recorder, broker's topic", Kind::Recorder, "mqtt", 3, "http://127.0.0.1:8083/",
                  1, recorder, "");
        table.row("dawarich, 3 pages", Kind::Dawarich, "", 25, root, 3, dawarich, "");
        table.row("dawarich, prefix", Kind::Dawarich, "prefix", 4, root + "dawarich/", 1, dawarich,
                  "");
        table.row("recorder, wrong password", Kind::Recorder, "wrong password", 3, root, 0,
                  "refused the user name or password. The server said: 401 Authorization", "");
        table.row("dawarich, wrong key", Kind::Dawarich, "wrong key", 3, root, 0,
                  "The server refused the API key. The server said: API key is invalid", "");
        table.row("neither, 404", Kind::Recorder, "404", 3, root, 0,
                  "no such address on the server (HTTP 404): check the address. The server said: "
                  "Not here",
                  "");
        table.row("recorder, not JSON", Kind::Recorder, "locations", 3, root, 0, recorder, notJson);
        table.row("dawarich, page 2 not JSON", Kind::Dawarich, "page=2", 25, root, 1, dawarich,
                  notJson);
        table.row("dawarich, no paging", Kind::Dawarich, "no paging", 25, root, 2, dawarich,
                  "sends the same page again");
        table.row("nothing listening", Kind::Recorder, "closed", 3, root, 0,
                  "127.0.0.1 refused the connection", "");
        table.row("no answer", Kind::Dawarich, "hold", 3, root, 0, "127.0.0.1 timed out", "");
    }

    void restore()
    {
        QFETCH(RestoreServer::Kind, kind);
        QFETCH(QString, setup);
        QFETCH(int, count);
        QFETCH(QString, derived);
        QFETCH(int, answers);
        QFETCH(QString, probe);
        QFETCH(QString, failure);

        RestoreServer server(kind);
        QVERIFY(server.listen());
        server.user = QStringLiteral("laptop");
        server.device = QStringLiteral("thinkpad");
        server.key = QStringLiteral("k3y");
        server.pages = setup != u"no paging";
        QList<QJsonObject> sent;
        for (int i = 0; i < count; ++i) {
            // Eleven days apart from 1 January 2026, each a little further north-east.
            LogRecord log
                = RecordOfCells({"t", "DE", "Berlin", "Berlin", "10115",
                                 QStringLiteral("%1, %2").arg(52.5 + i / 1e4).arg(13.4 + i / 1e4),
                                 "Europe/Berlin"});
            log.instant = QDateTime::fromSecsSinceEpoch(1'767'225'600 + i * 950'400LL + i);
            const QByteArray message = OwnMessage::location(log, {QStringLiteral("TH")}, 1);
            sent << QJsonDocument::fromJson(message).object();
            server.store(message);
        }
        if (setup == u"404" || setup == u"locations" || setup == u"page=2") {
            server.replacedPart = setup == u"404" ? "/api/" : setup.toUtf8();
            server.replacement = {setup == u"404" ? 404 : 200, "<title>Not here</title>"};
        }
        if (setup == u"hold")
            server.http().setMode(LoopbackServer::Mode::Hold);

        ShareSettings settings;
        settings.mode = ShareSettings::Mode::Http;
        settings.user = QStringLiteral("laptop");
        settings.device = QStringLiteral("thinkpad");
        settings.url = server.baseUrl() + QStringLiteral("pub");
        if (kind == RestoreServer::Kind::Dawarich)
            settings.url = QStringLiteral("%1%2api/v1/owntracks/points?api_key=%3")
                               .arg(server.baseUrl(), setup == u"prefix" ? "dawarich/" : "",
                                    setup == u"wrong key" ? "guess" : "k3y");
        if (setup.contains(u"password")) {
            server.login = settings.user;
            server.password = QStringLiteral("secret");
            settings.auth = ShareSettings::Auth::Basic;
            settings.secret = setup == u"password" ? "secret" : "guess";
        }
        if (setup == u"mqtt") {
            settings.mode = ShareSettings::Mode::Mqtt;
            settings.host = QStringLiteral("127.0.0.1");
            settings.user = QStringLiteral("someone else");
            settings.topic = QStringLiteral("owntracks/laptop/thinkpad");
        }
        RestoreAddress address = RestoreAddress::fromSettings(settings);
        QCOMPARE(address.base,
                 derived.replace(QStringLiteral("%1"), QString::number(server.http().port())));
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 closedPort = closed.serverPort();
        closed.close();
        if (setup == u"mqtt" || setup == u"closed")
            address = address.at(setup == u"mqtt"
                                     ? server.baseUrl()
                                     : QStringLiteral("http://127.0.0.1:%1/").arg(closedPort));

        RestoreClient client;
        client.setAddress(address);
        RestoreRequest::Limits bounds = RestoreRequest::DefaultLimits;
        bounds.maxTimeSeconds = 3;
        bounds.maxAnswerBytes = setup == u"small" ? 600 : bounds.maxAnswerBytes;
        client.setLimits({bounds, 10, 60});
        QSignalSpy probed(&client, &RestoreClient::probed);
        client.probe();
        QVERIFY(probed.wait(15'000));
        QVERIFY2(probed[0][1].toString().contains(probe), qPrintable(probed[0][1].toString()));
        QCOMPARE(probed[0][0].value<RestoreKind>() == RestoreKind::None,
                 !probe.startsWith(u"Found"));

        QSignalSpy batches(&client, &RestoreClient::pointsReady);
        QSignalSpy fetched(&client, &RestoreClient::fetched);
        QSignalSpy failed(&client, &RestoreClient::failed);
        client.fetch();
        QTRY_COMPARE_WITH_TIMEOUT(fetched.size() + failed.size(), 1, 30'000);
        QVERIFY(server.requestsTo(kind == RestoreServer::Kind::Recorder ? "locations" : "page=")
                >= answers);
        if (failure.isEmpty() && !probe.startsWith(u"Found"))
            failure = probe;
        if (!failure.isEmpty()) {
            QCOMPARE(fetched.size(), 0);
            QVERIFY2(failed[0][0].toString().contains(failure),
                     qPrintable(failed[0][0].toString()));
            return;
        }
        QList<ImportedPoint> points;
        for (const QList<QVariant> &batch : batches)
            points += batch.at(0).value<QList<ImportedPoint>>();
        QCOMPARE(fetched[0][1].toLongLong(), count);
        QCOMPARE(points.size(), count);
        for (qsizetype i = 0; i < count; ++i) {
            QCOMPARE(points[i].instant.toSecsSinceEpoch(), sent[i][u"tst"].toInteger());
            QVERIFY(std::abs(points[i].latitude - sent[i][u"lat"].toDouble()) < 1e-6);
            QVERIFY(std::abs(points[i].longitude - sent[i][u"lon"].toDouble()) < 1e-6);
            QCOMPARE(points[i].country, u"DE");
            QCOMPARE(points[i].address, u"Berlin, Berlin, DE");
        }
    }
};

QTEST_GUILESS_MAIN(TestRestore)
#include "tst_restore.moc"
