// Sharing each log: the message a row makes, the queue it waits in, and the sender's order,
// tries and stops. The server here answers as a script says; HTTP goes through the real curl
// to a loopback server.

#include "results/historystore.h"
#include "results/resultslist.h"
#include "settings/settingsstore.h"
#include "share/httptransport.h"
#include "share/mosquittolibrary.h"
#include "share/mqtttransport.h"
#include "share/ownmessage.h"
#include "share/sealedmessage.h"
#include "share/secretstore.h"
#include "share/sharequeue.h"
#include "share/sharer.h"
#include "share/sharingtable.h"
#include "share/sodiumlibrary.h"
#include "share/storedsharequeue.h"
#include "support/datatable.h"
#include "support/filesizelimit.h"
#include "support/logrows.h"
#include "support/loopbackserver.h"
#include "support/mqttbroker.h"
#include "support/privatebus.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(LogRecord)

namespace {

// Answers each message with the next letter of its script: D delivered, R try again later,
// X refused, J this message refused, H delivered a moment later; past the script's end,
// delivered.
class ScriptedServer : public ShareTransport
{
public:
    ScriptedServer(QString *script, QList<qint64> *taken, QList<QByteArray> *bodies = nullptr)
        : m_script(script), m_taken(taken), m_bodies(bodies)
    { }
    int window() const override { return 2; }
    void send(const OutgoingMessage &message) override
    {
        const QChar answer = m_script->isEmpty() ? u'D' : m_script->front();
        if (!m_script->isEmpty())
            m_script->remove(0, 1);
        if (answer == u'H') {
            QTimer::singleShot(0, this, [this, message] {
                m_script->prepend(u'D');
                send(message);
            });
        } else if (answer == u'D') {
            m_taken->append(message.id);
            if (m_bodies)
                m_bodies->append(message.body);
            Q_EMIT delivered(message.id);
        } else {
            const auto kind = answer == u'X' ? ShareFailure::Kind::Refused
                : answer == u'J'             ? ShareFailure::Kind::Rejected
                                             : ShareFailure::Kind::Retry;
            Q_EMIT failed(message.id, {kind, QStringLiteral("words")});
        }
    }
    void stop() override { }

private:
    QString *m_script;
    QList<qint64> *m_taken;
    QList<QByteArray> *m_bodies;
};

// A good row in Berlin, logged on 6 December 2025.
LogRecord berlinRow()
{
    LogRecord berlin = RecordOfCells(
        {"t", " DE", "Berlin", " Berlin", "10115", "52.5244, 13.4105", "Europe/Berlin"});
    berlin.instant = QDateTime::fromSecsSinceEpoch(1'765'000'000, Qt::UTC);
    return berlin;
}

} // namespace

class TestShare : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Before anything reaches for the session bus.
    void initTestCase() { m_bus = std::make_unique<PrivateSessionBus>(); }

    void message_data()
    {
        QTest::addColumn<LogRecord>("record");
        QTest::addColumn<QString>("expected"); // the message's fields; empty: no message
        QTest::addColumn<ConnectionKind>("connection");

        const LogRecord berlin = berlinRow();
        const QString estimate
            = R"({"_type":"location","acc":50000,"addr":"Berlin, Berlin, DE","cc":"DE",)"
              R"("conn":"w","created_at":1765000100,"lat":52.5244,"lon":13.4105,"t":"p",)"
              R"("tid":"LA","tst":1765000000})";
        QTest::newRow("the address's place, the estimate")
            << berlin << estimate << ConnectionKind::WiFi;
        QTest::newRow("on a mobile connection")
            << berlin << QString(estimate).replace(R"("conn":"w")", R"("conn":"m")")
            << ConnectionKind::Mobile;
        QTest::newRow("the connection not known")
            << berlin << QString(estimate).remove(R"("conn":"w",)") << ConnectionKind::Unknown;
        LogRecord surer = berlin;
        surer.wifi = Fix {52.5163, 13.3777, 0.4, Fix::Source::WiFi};
        surer.askedBy = Asker::User;
        QTest::newRow("the Wi-Fi fix, surer, asked by the user")
            << surer
            << R"({"_type":"location","acc":1,"addr":"Berlin, Berlin, DE","cc":"DE",)"
               R"("conn":"w","created_at":1765000100,"lat":52.5163,"lon":13.3777,"t":"u",)"
               R"("tid":"LA","tst":1765000000})"
            << ConnectionKind::WiFi;
        LogRecord asked = berlin;
        asked.askedBy = Asker::Server;
        QTest::newRow("asked by the server")
            << asked << QString(estimate).replace(R"("t":"p")", R"("t":"r")")
            << ConnectionKind::WiFi;
        LogRecord named = berlin;
        named.cells = {"United States", "", "", "", "37.751, -97.822", ""};
        named.addressAccuracyMetres = 1000 * 1000;
        QTest::newRow("a country named in full")
            << named
            << R"({"_type":"location","acc":1000000,"addr":"United States","conn":"w",)"
               R"("created_at":1765000100,"lat":37.751,"lon":-97.822,"t":"p","tid":"LA",)"
               R"("tst":1765000000})"
            << ConnectionKind::WiFi;
        LogRecord failed = berlin;
        failed.failure = QStringLiteral("The service answered HTTP 500.");
        QTest::newRow("a failed log") << failed << QString() << ConnectionKind::WiFi;
        LogRecord countryOnly = named;
        countryOnly.cells[LogTable::Coordinates - 1].clear();
        QTest::newRow("no place") << countryOnly << QString() << ConnectionKind::WiFi;
        LogRecord anycast = berlin;
        anycast.mark = Fixes::anycastMark();
        QTest::newRow("an anycast address") << anycast << QString() << ConnectionKind::WiFi;
        LogRecord bogon = surer;
        bogon.cells = {};
        bogon.mark = Fixes::bogonMark();
        QTest::newRow("a private address, a Wi-Fi fix")
            << bogon << QString() << ConnectionKind::WiFi;
    }
    void message()
    {
        QFETCH(LogRecord, record);
        QFETCH(ConnectionKind, connection);
        const QByteArray made = OwnMessage::location(
            record, {OwnMessage::trackerId(QStringLiteral("laptop-1")), connection}, 1'765'000'100);
        QTEST(QString::fromUtf8(made), "expected");
    }

    // The oldest log goes first, whatever queue it waits in; a server that is down is tried
    // again later and one that refuses stops everything until a test gets through; a message the
    // server would not take is set aside, kept in the history through a restart, and goes when
    // sent again, but three in a row stop everything: each message is taken once, none is lost.
    void sending_data()
    {
        QTest::addColumn<QString>("script"); // a leading F: the history's disk is full
        QTest::addColumn<int>("stoppedWith"); // messages waiting when it stops; -1 never
        QTest::addColumn<bool>("networkBack");
        QTest::addColumn<int>("setAside");
        QTest::addColumn<QByteArray>("arrived"); // the bodies in the order the server took them

        QTest::newRow("all taken") << "" << -1 << false << 0 << QByteArray("abc");
        QTest::newRow("down twice") << "RR" << -1 << false << 0 << QByteArray("abc");
        QTest::newRow("down, the network back") << "R" << -1 << true << 0 << QByteArray("abc");
        QTest::newRow("refused, then a test") << "DX" << 2 << false << 0 << QByteArray("atestbc");
        QTest::newRow("one set aside") << "J" << -1 << false << 1 << QByteArray("bca");
        QTest::newRow("two in a row, then taken") << "JJ" << -1 << false << 2 << QByteArray("cab");
        QTest::newRow("three in a row stop") << "JJJ" << 1 << false << 2 << QByteArray("testcab");
        QTest::newRow("made again while it goes") << "DH" << -1 << false << 0 << QByteArray("acbB");
        QTest::newRow("the history full: one refused, one made again")
            << "FDJJJ" << -1 << false << 0 << QByteArray("abcB");
    }
    void sending()
    {
        QFETCH(QString, script);
        QFETCH(int, stoppedWith);
        QFETCH(bool, networkBack);
        QFETCH(int, setAside);
        MemoryShareQueue memory;
        memory.add(LogId {3}, 30, "c");
        memory.add(LogId {1}, 10, "a");
        QTemporaryDir folder;
        HistoryStore store;
        store.open(folder.filePath(QStringLiteral("history.sqlite")));
        store.addToOutbox(LogId {2}, 20, "b");
        StoredShareQueue kept([&store] { return &store; });
        QList<qint64> taken;
        QList<QByteArray> bodies;
        Sharer sharer([&](const ShareSettings &) {
            return std::make_unique<ScriptedServer>(&script, &taken, &bodies);
        });
        sharer.setRetryBounds(networkBack ? 60'000 : 20, 60'000);
        QSignalSpy told(&sharer, &Sharer::refused);
        sharer.setQueues({&memory, &kept});
        ShareSettings http;
        http.mode = ShareSettings::Mode::Http;
        sharer.setSettings(http);
        const bool madeAgain = script.contains(u'H');
        TestEnv env;
        std::optional<FileSizeLimit> full;
        if (script.startsWith(u'F')) {
            script.remove(0, 1);
            full.emplace(0);
        }
        sharer.start();
        if (madeAgain)
            QVERIFY(sharer.replace(LogId {2}, "B"));
        if (networkBack) {
            QCOMPARE(sharer.waiting(), 3);
            sharer.networkCameBack();
        }
        if (stoppedWith >= 0) {
            QCOMPARE(told.size(), 1);
            QCOMPARE(sharer.waiting(), stoppedWith);
            sharer.queued(); // a new log does not start a refused queue again
            QCOMPARE(sharer.waiting(), stoppedWith);
            sharer.sendTest(http, "test");
        }
        QTRY_COMPARE(sharer.waiting(), 0);
        QCOMPARE(env.takeReportPlaces().size(), full ? 1 : 0);
        if (full) { // written again: b, taken but still in the file, made again
            full.reset();
            QVERIFY(sharer.replace(LogId {2}, "B"));
        }
        store.open(store.path()); // what is set aside in the history is there after a restart
        const QList<ShareQueue::SetAside> aside = sharer.setAside();
        QCOMPARE(aside.size(), setAside);
        for (const ShareQueue::SetAside &message : aside) {
            QCOMPARE(message.words, QStringLiteral("words"));
            QVERIFY(sharer.sendAgain(message.id));
        }
        QTRY_COMPARE(sharer.waiting(), 0);
        QVERIFY(sharer.setAside().isEmpty());
        QTEST(bodies.join(), "arrived");
        QCOMPARE(told.size(), stoppedWith >= 0 ? 1 : 0);
    }

    // The newest log's message waits while the location service's fix may still join its row,
    // and goes with the fix; one whose fix does not come, or that the service says it has no fix
    // for, goes as it was made.
    void waitsForTheWiFiFix_data()
    {
        QTest::addColumn<QString>("then"); // the fix joins, the service has none, or time passes
        QTest::addColumn<QByteArray>("accuracy");
        QTest::newRow("the fix joins") << "fix" << QByteArray(R"("acc":30,)");
        QTest::newRow("the fix joins before sending starts")
            << "fix, then the start" << QByteArray(R"("acc":30,)");
        QTest::newRow("the service has none") << "none" << QByteArray(R"("acc":50000,)");
        QTest::newRow("no fix in time") << "" << QByteArray(R"("acc":50000,)");
    }
    void waitsForTheWiFiFix()
    {
        QFETCH(QString, then);
        QFETCH(QByteArray, accuracy);
        QString script;
        QList<qint64> taken;
        QList<QByteArray> bodies;
        Sharer sharer([&](const ShareSettings &) {
            return std::make_unique<ScriptedServer>(&script, &taken, &bodies);
        });
        MemoryShareQueue memory;
        sharer.setQueues({&memory});
        ShareSettings http;
        http.mode = ShareSettings::Mode::Http;
        sharer.setSettings(http);
        if (then != "fix, then the start")
            sharer.start();
        const auto laptop = [] {
            return OwnMessage::Sender {QStringLiteral("LA"), {}};
        };
        SharingTable table({&sharer, &memory, laptop});
        LogRecord berlin = berlinRow();
        berlin.id = LogId {1};
        table.mayJoin(berlin.id, then.isEmpty() ? 200 : 60'000);
        table.added(berlin, table.messageFor(berlin).value(), false);
        QTest::qWait(50);
        QVERIFY(bodies.isEmpty());
        LogRecord joined = berlin;
        joined.wifi = Fix {52.5163, 13.3777, 30, Fix::Source::WiFi};
        if (then.startsWith("fix"))
            table.waitOver(berlin.id, joined);
        else if (then == "none")
            table.waitOver(berlin.id, std::nullopt);
        if (then == "fix, then the start")
            sharer.start();
        QTRY_COMPARE(bodies.size(), 1);
        QVERIFY2(bodies[0].contains(accuracy), bodies[0].constData());
    }

    // One post each: what reaches the server, how its answer is told, and that the password
    // never shows in any process's command line while curl runs.
    void http_data()
    {
        const DataTable<QString, int, bool, int, QByteArray, QString, bool> table(
            {"url", "auth", "topic", "status", "answer", "told", "requests"});
        // told: "" delivered; "retry: words", "refused: words" (us) or "rejected: words" (this
        // message alone), the words' start
        const int basic = int(ShareSettings::Auth::Basic), token = int(ShareSettings::Auth::Token);
        table.row("taken, password", "", basic, false, 200, "", "", false);
        table.row("taken, token, topic asked", "", token, true, 201, "", "", false);
        table.row("taken, no login", "", 0, false, 204, "", "", false);
        table.row("wrong password", "", basic, false, 401, R"({"error":"bad credentials"})",
                  "refused: The server refused the user name or password. The server said: "
                  "bad credentials",
                  false);
        table.row("no such address", "", token, false, 404, "Not Found\n",
                  "refused: There is no such address on the server (HTTP 404)", false);
        table.row("server down", "", basic, false, 500, "", "retry: The server could not take",
                  false);
        table.row("too many", "", basic, false, 429, "", "retry: The server could not take", false);
        table.row("took too long", "", basic, false, 408, "", "retry: The server could not take",
                  false);
        table.row("malformed", "", basic, false, 400, R"({"error":"lat missing"})",
                  "rejected: The server would not take this log: it is not a message the "
                  "server reads (HTTP 400). The server said: lat missing",
                  false);
        table.row("too large", "", basic, false, 413, "", "rejected: The server would not take",
                  false);
        // requests: the server's requests are read; one request in the answer is told
        const QByteArray asks
            = R"([{"_type":"location","lat":1},{"_type":"cmd","action":"reportLocation"}])";
        table.row("a request in the answer", "", 0, false, 200, asks, "", true);
        table.row("a request in the answer, requests off", "", 0, false, 200, asks, "", false);
        table.row("dead port", "http://127.0.0.1:1/pub", basic, false, 0, "",
                  "retry: Could not connect: 127.0.0.1 refused the connection.", false);
        table.row("plain http elsewhere", "http://example.org/pub", basic, false, 0, "",
                  "refused: The server address must start with https://", false);
        table.row("plain http to a name like this computer's", "http://127.example.org/pub", basic,
                  false, 0, "", "refused: The server address must start with https://", false);
    }
    void http()
    {
        QFETCH(QString, url);
        QFETCH(int, auth);
        QFETCH(bool, topic);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        QFETCH(QString, told);
        QFETCH(bool, requests);
        LoopbackServer server;
        QVERIFY(server.listen());
        server.setMode(LoopbackServer::Mode::Slow); // long enough to look at the processes
        server.setDelayMs(100);
        server.setResponse({status, answer, "text/plain"});
        bool sawCurl = false, sawSecret = false;
        connect(&server, &LoopbackServer::requestReceived, this, [&] {
            for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
                const QByteArray line = file.open(QIODevice::ReadOnly) ? file.readAll() : "";
                sawCurl = sawCurl || line.contains("%{stderr}%{http_code}");
                sawSecret = sawSecret || line.contains("s3cret") || line.contains("/hook-7q3");
            }
        });
        ShareSettings settings;
        settings.mode = ShareSettings::Mode::Http;
        settings.url = url.isEmpty() ? server.baseUrl() + "/hook-7q3" : url;
        settings.auth = ShareSettings::Auth(auth);
        settings.user = QStringLiteral("alice");
        settings.device = QStringLiteral("laptop");
        settings.topicInBody = topic;
        settings.secret = QStringLiteral("s3cret:pw");
        settings.commands = requests;
        HttpTransport transport(settings);
        QSignalSpy asked(&transport, &ShareTransport::requestReceived);
        QSignalSpy delivered(&transport, &ShareTransport::delivered);
        QSignalSpy failed(&transport, &ShareTransport::failed);
        const QByteArray body = R"({"_type":"location","lat":1.5,"tst":7})";
        transport.send({42, body});
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size() + failed.size(), 1, 20'000);
        QCOMPARE(asked.value(0).value(0).toByteArray(),
                 requests ? QByteArray(R"({"_type":"cmd","action":"reportLocation"})")
                          : QByteArray());
        if (told.isEmpty()) {
            QCOMPARE(delivered.value(0).value(0).toLongLong(), 42);
        } else {
            const auto failure = failed.value(0).value(1).value<ShareFailure>();
            const QString kind = failure.kind == ShareFailure::Kind::Retry ? "retry: "
                : failure.kind == ShareFailure::Kind::Refused              ? "refused: "
                                                                           : "rejected: ";
            QCOMPARE((kind + failure.words).left(told.size()), told);
        }
        if (status == 0) {
            QCOMPARE(server.requestCount(), 0);
            return;
        }
        QVERIFY(sawCurl);
        QVERIFY(!sawSecret);
        const QByteArray request = server.requests().value(0);
        const qsizetype headEnd = request.indexOf("\r\n\r\n");
        const QByteArray head = request.left(headEnd).toLower();
        QVERIFY(head.startsWith("post /hook-7q3 "));
        QVERIFY(head.contains(
            "\r\ncontent-type: application/json\r\nx-limit-u: alice\r\nx-limit-d: laptop\r\n"));
        const QByteArray login = settings.auth == ShareSettings::Auth::Basic
            ? "basic " + QByteArray("alice:s3cret:pw").toBase64()
            : settings.auth == ShareSettings::Auth::Token ? QByteArray("bearer s3cret:pw")
                                                          : "";
        QCOMPARE(head.contains("\r\nauthorization: " + login.toLower()), !login.isEmpty());
        QCOMPARE(head.contains("\r\nauthorization:"), !login.isEmpty());
        QCOMPARE(request.mid(headEnd + 4),
                 topic ? OwnMessage::withTopic(body, "owntracks/alice/laptop") : body);
    }

    // Killed with messages waiting in the kept history, one of them on its way: after the
    // restart the rest go, oldest first, and only the one never answered goes again.
    void httpQueueSurvivesARestart()
    {
        LoopbackServer server;
        QVERIFY(server.listen());
        QTemporaryDir folder;
        ShareSettings settings;
        settings.mode = ShareSettings::Mode::Http;
        settings.url = server.baseUrl() + "/pub";
        for (const int round : {1, 2}) {
            HistoryStore store;
            store.open(folder.filePath(QStringLiteral("history.sqlite")));
            if (round == 1) {
                for (const qint64 tst : {3, 1, 5, 2, 4})
                    store.addToOutbox(LogId {quint64(tst)}, tst,
                                      R"({"tst":)" + QByteArray::number(tst) + "}");
            }
            StoredShareQueue queue([&store] { return &store; });
            Sharer sharer(
                [](const ShareSettings &s) { return std::make_unique<HttpTransport>(s); });
            // The first run dies with its third message unanswered.
            connect(&sharer, &Sharer::waitingChanged, &server, [&](qint64 count) {
                if (round == 1 && count == 3)
                    server.setMode(LoopbackServer::Mode::Hold);
            });
            sharer.setQueues({&queue});
            sharer.setSettings(settings);
            sharer.start();
            if (round == 1)
                QTRY_COMPARE(server.requestCount(), 3);
            else
                QTRY_COMPARE(sharer.waiting(), 0);
            server.setMode(LoopbackServer::Mode::Reply);
        }
        QList<qint64> arrived;
        for (const QByteArray &request : server.requests()) // ...{"tst":N}
            arrived << request.mid(request.lastIndexOf(':') + 1).chopped(1).toLongLong();
        QCOMPARE(arrived, (QList<qint64> {1, 2, 3, 3, 4, 5}));
    }

    // Through the sender to a real broker: each message arrives as made, in order, the last one
    // retained, even after the broker was away; a test tells how the broker took it.
    void mqtt_data()
    {
        const DataTable<bool, QString, QString, bool, QString, QByteArray, QString> table(
            {"tls", "host", "password", "restart", "topic", "test", "told"});
        // host: "" the broker, "3.1.1" one of MQTT 3.1.1 only; topic: "" the default one; told: the
        // test's fate, "delivered: words", "refused: words"..., the words' start (%1 the port)
        table.row("in order, the last retained", false, "", "secret", false, "", "", "");
        table.row("the broker away and back", false, "", "secret", true, "", "", "");
        table.row("a wrong password", false, "", "wrong", false, "", "{}",
                  "refused: The broker localhost:%1 refused the user name or password");
        table.row("TLS with the CA file", true, "", "secret", false, "", "", "");
        table.row("TLS not trusted", true, "", "secret", false, "", "{}",
                  "retry: Could not connect to localhost:%1: its TLS certificate is not trusted.");
        table.row("another user's topic", false, "", "secret", false, "owntracks/alice/laptop",
                  "{}",
                  "refused: The broker localhost:%1 does not let the user \"laptop\" publish to");
        table.row("a message too large, the rest go", false, "", "secret", false, "",
                  QByteArray(MqttBroker::MessageSizeLimit + 1, ' '),
                  "rejected: The broker localhost:%1 did not take this message (packet too large");
        table.row("a broker of MQTT 3.1.1", false, "3.1.1", "secret", false, "", "{}",
                  "delivered: The broker localhost:%1 speaks only MQTT 3.1.1, which cannot say");
        table.row("a password in clear elsewhere", false, "192.0.2.1", "secret", false, "", "{}",
                  "refused: Turn TLS on: the password would cross the network to 192.0.2.1:%1");
    }
    void mqtt()
    {
        QFETCH(bool, tls);
        QFETCH(QString, host);
        QFETCH(QString, password);
        QFETCH(bool, restart);
        QFETCH(QString, topic);
        QFETCH(QByteArray, test);
        QFETCH(QString, told);
        MqttBroker broker(tls);
        QVERIFY(broker.start());
        // A reader whose session the broker keeps: it is given all that is published from now.
        const QString readTopic
            = topic.isEmpty() ? "owntracks/laptop/" + QSysInfo::machineHostName() : topic;
        const QStringList reader {"-c", "-i", "reader", "-q", "1", "-t", readTopic};
        broker.client("mosquitto_sub", reader + QStringList {"-E"});
        if (restart)
            broker.stop();
        MemoryShareQueue queue;
        QList<QByteArray> bodies;
        for (qint64 tst : {1'765'000'000, 1'765'000'600, 1'765'001'200}) {
            bodies.append(R"({"_type":"location","lat":52.52,"lon":13.4,"tst":)"
                          + QByteArray::number(tst) + '}');
            queue.add(LogId {quint64(tst)}, tst, bodies.last());
        }
        ShareSettings settings;
        settings.mode = ShareSettings::Mode::Mqtt;
        settings.host = host.isEmpty() || host == "3.1.1" ? QStringLiteral("localhost") : host;
        settings.port = host == "3.1.1" ? broker.v311Port() : broker.port();
        settings.tls = tls;
        settings.caFile = told.startsWith("retry") ? QString() : broker.caFile(); // or the system's
        settings.user = MqttBroker::User;
        settings.secret = password;
        settings.topic = topic;
        QString kind = "delivered"; // the test message's; it alone is numbered 0
        Sharer sharer([&](const ShareSettings &s) {
            auto transport = std::make_unique<MqttTransport>(s);
            connect(transport.get(), &ShareTransport::failed, this, [&](qint64 id, ShareFailure f) {
                kind = id ? kind : QStringList {"retry", "refused", "rejected"}[int(f.kind)];
            });
            return transport;
        });
        sharer.setRetryBounds(200, 400);
        QSignalSpy outcome(&sharer, &Sharer::testOutcome);
        sharer.setQueues({&queue});
        sharer.setSettings(settings);
        sharer.start();
        if (restart) {
            QTRY_VERIFY(sharer.retryInMs() > 0);
            QVERIFY(broker.start());
        }
        // A refusal or an untrusted broker loses nothing.
        const int left = told.startsWith("refused") || told.startsWith("retry") ? 3 : 0;
        QTRY_COMPARE_WITH_TIMEOUT(sharer.waiting(), left, 10000);
        if (!test.isEmpty()) {
            sharer.sendTest(settings, test);
            QTRY_COMPARE(outcome.size(), 1);
            told = told.arg(settings.port);
            QCOMPARE((kind + ": " + outcome[0][1].toString()).left(told.size()), told);
        }
        QCOMPARE(sharer.waiting(), left);
        if (left)
            return;
        QList<QByteArray> arrived; // each once, though QoS 1 may bring one twice
        for (const QByteArray &body :
             broker.client("mosquitto_sub", reader + QStringList {"-C", "3"}).split('\n')) {
            if (!body.isEmpty() && !arrived.contains(body))
                arrived.append(body);
        }
        QCOMPARE(arrived, bodies);
        QCOMPARE(broker.client("mosquitto_sub", {"-t", readTopic, "--retained-only", "-C", "1"}),
                 (told.startsWith("delivered") ? test : bodies.last()) + '\n');
    }

    // The server's requests through a real broker: a request for the position is answered
    // with a log (its message marked as the server's), at most once a minute, never when kept
    // by the broker for whoever comes; with a key, only when sealed with it, and the answer
    // goes sealed so that another reader with the key opens it.
    void requests_data()
    {
        const DataTable<bool, QString, QString, QByteArray, int, QString, int, QString> table(
            {"commands", "key", "sealedWith", "action", "count", "how", "answers", "told"});
        // how: "retained", "while stopped" (the laptop away), "expiring" (within 10 min), "turned
        // off" (while one waits for its minute), else as it comes; told: the last request line's
        // start ("" none), %1 the time of day
        table.row("answered", true, "", "", "reportLocation", 1, "", 1,
                  "reportLocation at %1, answered");
        table.row("sent while the laptop was away", true, "", "", "reportLocation", 1,
                  "while stopped", 1, "reportLocation at %1, answered");
        table.row("retained", true, "", "", "reportLocation", 1, "retained", 0,
                  "reportLocation at %1, not answered: it was retained");
        table.row("ten in a minute", true, "", "", "reportLocation", 10, "", 2,
                  "reportLocation at %1, answered");
        table.row("expired before its minute ended", true, "", "", "reportLocation", 2, "expiring",
                  1, "reportLocation at %1, not answered: it had expired");
        table.row("turned off while one waits", true, "", "", "reportLocation", 2, "turned off", 1,
                  "reportLocation at %1, not answered: answering requests was turned off");
        table.row("another action", true, "", "", "setConfiguration", 1, "", 0,
                  "setConfiguration at %1, ignored");
        table.row("requests off", false, "", "", "reportLocation", 1, "", 0, "");
        table.row("sealed with the key", true, "k3y", "k3y", "reportLocation", 1, "", 1,
                  "reportLocation at %1, answered");
        table.row("in clear with a key", true, "k3y", "", "reportLocation", 1, "", 0,
                  "reportLocation at %1, refused: it was not encrypted (1 refused so far)");
        table.row("a wrong key", true, "k3y", "other", "reportLocation", 1, "", 0,
                  "A request at %1, refused: it does not open with the key (1 refused so far)");
    }
    void requests()
    {
        QFETCH(bool, commands);
        QFETCH(QString, key);
        QFETCH(QString, sealedWith);
        QFETCH(QByteArray, action);
        QFETCH(int, count);
        QFETCH(QString, how);
        QFETCH(int, answers);
        QFETCH(QString, told);
        QVERIFY(SodiumLibrary::load().isEmpty());
        MqttBroker broker;
        QVERIFY(broker.start());
        const QString topic = "owntracks/laptop/" + QSysInfo::machineHostName();
        ShareSettings settings;
        settings.mode = ShareSettings::Mode::Mqtt;
        settings.host = QStringLiteral("localhost");
        settings.port = broker.port();
        settings.user = MqttBroker::User;
        settings.secret = MqttBroker::Password;
        settings.commands = commands;
        settings.encryptionKey = key;
        MemoryShareQueue queue;
        // Its delivery tells that the session has subscribed: the broker takes what a client
        // sends in order.
        queue.add(LogId {1}, 1, R"({"_type":"location","tst":1})");
        int asked = 0;
        std::unique_ptr<Sharer> sharer;
        const auto start = [&] {
            sharer = std::make_unique<Sharer>(
                [](const ShareSettings &s) { return std::make_unique<MqttTransport>(s); });
            sharer->requests()->setMinuteMs(1500);
            // An hour on at each reading: a request that waits for its minute has expired.
            sharer->requests()->setSteadyClock(
                [t = qint64(0)]() mutable { return t += 3'600'000; });
            connect(sharer->requests(), &CommandRequests::positionAsked, this, [&] {
                ++asked;
                LogRecord answer = berlinRow();
                answer.askedBy = Asker::Server;
                queue.add(LogId {quint64(asked + 1)}, asked + 1,
                          OwnMessage::location(answer, {"LA", ConnectionKind::WiFi}, 7));
                sharer->queued();
            });
            sharer->setQueues({&queue});
            sharer->setSettings(settings);
            sharer->start();
        };
        start();
        QTRY_COMPARE_WITH_TIMEOUT(sharer->waiting(), 0, 10000);
        if (how == "while stopped")
            sharer.reset();
        const auto publish = [&](const QByteArray &what, int times, const QStringList &more) {
            QByteArray request = "{\"_type\":\"cmd\",\"action\":\"" + what + "\"}";
            QByteArray lines;
            for (int i = 0; i < times; ++i)
                lines += (sealedWith.isEmpty() ? request : SealedMessage::seal(sealedWith, request))
                    + '\n';
            QCOMPARE(broker.client("mosquitto_pub",
                                   QStringList {"-q", "1", "-t", topic + "/cmd", "-l"} + more,
                                   lines),
                     QByteArray());
        };
        publish(action, count,
                how == "retained" ? QStringList {"-r"}
                    : how == "expiring"
                    ? QStringList {"-V", "5", "-D", "publish", "message-expiry-interval", "600"}
                    : QStringList {});
        if (!sharer)
            start();
        if (how == "turned off") {
            QTRY_VERIFY(sharer->requests()->lastRequest().endsWith("within a minute"));
            settings.commands = false;
            sharer->setSettings(settings);
        }
        const QString at = QTime::currentTime().toString("HH:mm");
        told = told.isEmpty() ? told : told.arg(at);
        QTRY_COMPARE_WITH_TIMEOUT(sharer->requests()->lastRequest().left(told.size()), told, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(asked, answers, 10000);
        QCOMPARE(broker.log().contains(" 1 " + topic.toUtf8() + "/cmd"), commands); // subscribed
        if (settings.commands && sealedWith == key) {
            // Every request before this one was seen once it is.
            publish("setConfiguration", 1, {});
            QTRY_VERIFY(sharer->requests()->lastRequest().startsWith("setConfiguration"));
            QCOMPARE(asked, answers);
        }
        if (!answers)
            return;
        QTRY_COMPARE(sharer->waiting(), 0);
        QByteArray answer
            = broker.client("mosquitto_sub", {"-t", topic, "--retained-only", "-C", "1"}).trimmed();
        if (!key.isEmpty()) {
            // A second reader, as location apps are written: Debian's python3-nacl.
            QProcess nacl;
            nacl.start("/usr/bin/python3",
                       {"-c",
                        "import base64,json,sys,nacl.secret as s;d=base64.b64decode(json.load("
                        "sys.stdin)['data']);k=sys.argv[1].encode().ljust(32,b'\\0')[:32];"
                        "sys.stdout.write(s.SecretBox(k).decrypt(d[24:],d[:24]).decode())",
                        key});
            nacl.write(answer);
            nacl.closeWriteChannel();
            QVERIFY(nacl.waitForFinished(30000));
            answer = SealedMessage::open(key, answer).value_or("(does not open)");
            QCOMPARE(nacl.readAll(), answer);
        }
        QVERIFY2(answer.contains(R"("t":"r")"), answer.constData());
    }

    void memoryQueueKeepsTheNewest()
    {
        MemoryShareQueue queue;
        for (qint64 tst = 1; tst <= MemoryShareQueue::Capacity + 2; ++tst)
            queue.add(LogId {quint64(tst)}, tst, QByteArray::number(tst));
        queue.add(LogId {4}, 4, "late clock");
        QCOMPARE(queue.count(), MemoryShareQueue::Capacity);
        QCOMPARE(queue.dropped(), 3);
        const QList<ShareQueue::Entry> first = queue.first(2);
        QCOMPARE(first[0].body, QByteArray("4"));
        QCOMPARE(first[1].body, QByteArray("late clock"));
        // A removed row's messages wait no more.
        queue.withdraw(LogId {4});
        QCOMPARE(queue.count(), MemoryShareQueue::Capacity - 2);
        QCOMPARE(queue.first(1)[0].body, QByteArray("5"));
    }

    // The server's secret goes to the desktop's secret store; without one, into the settings
    // file (the user's alone) only when the user agrees. A store that holds it but does not give
    // it is told apart from one that holds none.
    void mosquittoLibrary_data()
    {
        const DataTable<QByteArray, QString> table({"fileName", "why"}); // why: its start
        table.row("the system's", MosquittoLibrary::DefaultFileName, "");
        table.row("not installed", "libmosquitto.so.0-none",
                  "Sharing over MQTT needs the library libmosquitto.so.0-none (Debian's");
        // The one that seals the messages: without it nothing goes, and the user is told why.
        table.row("libsodium, the system's", SodiumLibrary::DefaultFileName, "");
        table.row("libsodium not installed", "libsodium.so.0-none",
                  "Encrypting the messages needs the library libsodium.so.0-none (Debian's");
    }
    void mosquittoLibrary()
    {
        QFETCH(QByteArray, fileName);
        QFETCH(QString, why);
        QString told;
        if (fileName.startsWith("libsodium")) {
            const std::optional<SodiumLibrary> sodium = SodiumLibrary::open(fileName, &told);
            QCOMPARE(told.left(why.size()), why);
            QCOMPARE(sodium && sodium->crypto_secretbox_easy, why.isEmpty());
            return;
        }
        const std::optional<MosquittoLibrary> library
            = MosquittoLibrary::open(fileName.constData(), &told);
        QCOMPARE(told.left(why.size()), why);
        QCOMPARE(library && library->mosquitto_publish_v5, why.isEmpty());
    }

    void secretKept_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<bool>("inFile");
        // Before the read: "lock" locks the keyring; "newer" puts a newer copy in the file, as
        // when the user agreed while the store did not answer.
        QTest::addColumn<QString>("then");
        QTest::newRow("secret service") << true << QList<bool> {} << true << false << "";
        QTest::newRow("a newer copy in the file")
            << true << QList<bool> {} << true << false << "newer";
        QTest::newRow("locked, its prompt dismissed")
            << true << QList<bool> {} << true << false << "lock";
        QTest::newRow("no store, agreed") << false << QList<bool> {true} << true << true << "";
        QTest::newRow("no store, refused") << false << QList<bool> {false} << false << false << "";
    }
    void secretKept()
    {
        QFETCH(bool, store);
        QFETCH(QList<bool>, answers);
        QFETCH(bool, inFile);
        QFETCH(QString, then);
        // The keychain library keeps its session with the store for good: the store is started
        // once, and stopped for good.
        const QString name = QStringLiteral("org.freedesktop.secrets");
        if (!store)
            m_bus->stopSecretService();
        else if (!QDBusConnection::sessionBus().interface()->isServiceRegistered(name))
            QVERIFY2(m_bus->startSecretService("unlock me"), qPrintable(m_bus->problem()));
        TestEnv env;
        ScriptedDialogs dialogs;
        dialogs.yesNoAnswers = answers;
        Settings::Store settings;
        SecretStore secrets(&dialogs, settings);
        const QString secret = QStringLiteral("s3cret %1").arg(QTest::currentDataTag());
        std::optional<bool> written;
        secrets.write(secret, [&](bool kept) { written = kept; });
        QTRY_VERIFY_WITH_TIMEOUT(written.has_value(), 20000);
        QTEST(*written, "kept");
        QCOMPARE(dialogs.questions.size(), answers.size());
        QCOMPARE(FileBytes(env.storeFile()).contains(secret.toUtf8()), inFile);
        if (inFile)
            QCOMPARE(FileMode(env.storeFile()), 0600);
        std::optional<QString> expected = *written ? secret : QString();
        if (then == u"newer") {
            expected = secret + QStringLiteral(" newer");
            settings.save(SettingKeys::ShareSecret, *expected);
        } else if (then == u"lock") {
            QDBusMessage lock = QDBusMessage::createMethodCall(
                name, "/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "Lock");
            lock << QVariant::fromValue(QList<QDBusObjectPath> {
                QDBusObjectPath("/org/freedesktop/secrets/collection/login")});
            QCOMPARE(QDBusConnection::sessionBus().call(lock).type(), QDBusMessage::ReplyMessage);
            expected.reset(); // not known, rather than none
        }
        std::optional<std::optional<QString>> read;
        secrets.read([&](const std::optional<QString> &kept) { read = kept; });
        QTRY_VERIFY_WITH_TIMEOUT(read.has_value(), 20000);
        QCOMPARE(*read, expected);
    }

private:
    std::unique_ptr<PrivateSessionBus> m_bus;
};

QTEST_GUILESS_MAIN(TestShare)
#include "tst_share.moc"
