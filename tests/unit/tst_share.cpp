// Sharing each log: the message a row makes, the queue it waits in, and the sender's order,
// tries and stops. The server here answers as a script says; the transports themselves are
// tested against real servers.

#include "share/ownmessage.h"
#include "share/secretstore.h"
#include "share/sharequeue.h"
#include "share/sharer.h"
#include "support/logrows.h"
#include "support/privatebus.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(LogRecord)

namespace {

// Answers each message with the next letter of its script: D delivered, R try again later,
// X refused; past the script's end, delivered.
class ScriptedServer : public ShareTransport
{
public:
    ScriptedServer(QString *script, QList<qint64> *taken) : m_script(script), m_taken(taken) { }
    int window() const override { return 2; }
    void send(const OutgoingMessage &message) override
    {
        const QChar answer = m_script->isEmpty() ? u'D' : m_script->front();
        if (!m_script->isEmpty())
            m_script->remove(0, 1);
        if (answer == u'D') {
            m_taken->append(message.id);
            Q_EMIT delivered(message.id);
        } else {
            Q_EMIT failed(message.id,
                          {answer == u'X' ? ShareFailure::Kind::Refused : ShareFailure::Kind::Retry,
                           QStringLiteral("words")});
        }
    }
    void stop() override { }

private:
    QString *m_script;
    QList<qint64> *m_taken;
};

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

        LogRecord berlin = RecordOfCells(
            {"t", " DE", "Berlin", " Berlin", "10115", "52.5244, 13.4105", "Europe/Berlin"});
        berlin.instant = QDateTime::fromSecsSinceEpoch(1'765'000'000, Qt::UTC);
        QTest::newRow("the address's place, the estimate")
            << berlin
            << R"({"_type":"location","acc":50000,"addr":"Berlin, Berlin, DE","cc":"DE",)"
               R"("conn":"w","created_at":1765000100,"lat":52.5244,"lon":13.4105,"t":"p",)"
               R"("tid":"LA","tst":1765000000})";
        LogRecord surer = berlin;
        surer.wifi = Fix {52.5163, 13.3777, 0.4, Fix::Source::WiFi};
        surer.askedByUser = true;
        QTest::newRow("the Wi-Fi fix, surer, asked by the user")
            << surer
            << R"({"_type":"location","acc":1,"addr":"Berlin, Berlin, DE","cc":"DE",)"
               R"("conn":"w","created_at":1765000100,"lat":52.5163,"lon":13.3777,"t":"u",)"
               R"("tid":"LA","tst":1765000000})";
        LogRecord named = berlin;
        named.cells = {"United States", "", "", "", "37.751, -97.822", ""};
        named.addressAccuracyMetres = 1000 * 1000;
        QTest::newRow("a country named in full")
            << named
            << R"({"_type":"location","acc":1000000,"addr":"United States","conn":"w",)"
               R"("created_at":1765000100,"lat":37.751,"lon":-97.822,"t":"p","tid":"LA",)"
               R"("tst":1765000000})";
        LogRecord failed = berlin;
        failed.failure = QStringLiteral("The service answered HTTP 500.");
        QTest::newRow("a failed log") << failed << QString();
        LogRecord countryOnly = named;
        countryOnly.cells[LogTable::Coordinates - 1].clear();
        QTest::newRow("no place") << countryOnly << QString();
    }
    void message()
    {
        QFETCH(LogRecord, record);
        const QByteArray made = OwnMessage::location(
            record, {OwnMessage::trackerId(QStringLiteral("laptop-1")), QStringLiteral("w")},
            1'765'000'100);
        QTEST(QString::fromUtf8(made), "expected");
    }

    // The oldest log goes first, whatever queue it waits in; a server that is down is tried
    // again later and one that refuses stops everything until a test gets through: each message
    // is taken once, none is lost.
    void sending_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("networkBack");

        QTest::newRow("all taken") << "" << false << false;
        QTest::newRow("down twice") << "RR" << false << false;
        QTest::newRow("down, the network back") << "R" << false << true;
        QTest::newRow("refused, then a test") << "DX" << true << false;
    }
    void sending()
    {
        QFETCH(QString, script);
        QFETCH(bool, refused);
        QFETCH(bool, networkBack);
        MemoryShareQueue memory, kept;
        memory.add(30, "c");
        memory.add(10, "a");
        kept.add(20, "b");
        QList<qint64> taken;
        Sharer sharer([&](const ShareSettings &) {
            return std::make_unique<ScriptedServer>(&script, &taken);
        });
        sharer.setRetryBounds(networkBack ? 60'000 : 20, 60'000);
        QSignalSpy told(&sharer, &Sharer::refused);
        sharer.setQueues({&memory, &kept});
        ShareSettings http;
        http.mode = ShareSettings::Mode::Http;
        sharer.setSettings(http);
        if (networkBack) {
            QCOMPARE(sharer.waiting(), 3);
            sharer.networkCameBack();
        }
        if (refused) {
            QCOMPARE(told.size(), 1);
            QCOMPARE(sharer.waiting(), 2);
            sharer.queued(); // a new log does not start a refused queue again
            QCOMPARE(sharer.waiting(), 2);
            sharer.sendTest(http, "test");
        }
        QTRY_COMPARE(sharer.waiting(), 0);
        const QList<qint64> order {-2, -1, -3}; // each queue numbers its own from -1
        QCOMPARE(taken.mid(refused ? 1 : 0, 1).value(0), refused ? 0 : order[0]);
        taken.removeAll(0);
        QCOMPARE(taken.size(), 3);
        QCOMPARE(told.size(), refused ? 1 : 0);
    }

    void memoryQueueKeepsTheNewest()
    {
        MemoryShareQueue queue;
        for (qint64 tst = 1; tst <= MemoryShareQueue::Capacity + 2; ++tst)
            queue.add(tst, QByteArray::number(tst));
        queue.add(4, "late clock");
        QCOMPARE(queue.count(), MemoryShareQueue::Capacity);
        QCOMPARE(queue.dropped(), 3);
        const QList<ShareQueue::Entry> first = queue.first(2);
        QCOMPARE(first[0].body, QByteArray("4"));
        QCOMPARE(first[1].body, QByteArray("late clock"));
    }

    // The server's secret goes to the desktop's secret store; without one, into the settings
    // file (the user's alone) only when the user agrees.
    void secretKept_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<bool>("inFile");
        QTest::newRow("secret service") << true << QList<bool> {} << true << false;
        QTest::newRow("no store, agreed") << false << QList<bool> {true} << true << true;
        QTest::newRow("no store, refused") << false << QList<bool> {false} << false << false;
    }
    void secretKept()
    {
        QFETCH(bool, store);
        QFETCH(QList<bool>, answers);
        QFETCH(bool, inFile);
        if (store)
            QVERIFY2(m_bus->startSecretService("unlock me"), qPrintable(m_bus->problem()));
        else
            m_bus->stopSecretService();
        TestEnv env;
        ScriptedDialogs dialogs;
        dialogs.yesNoAnswers = answers;
        SecretStore secrets(&dialogs);
        const QString secret = QStringLiteral("s3cret %1").arg(QTest::currentDataTag());
        std::optional<bool> written;
        secrets.write(secret, [&](bool kept) { written = kept; });
        QTRY_VERIFY_WITH_TIMEOUT(written.has_value(), 20000);
        QTEST(*written, "kept");
        QCOMPARE(dialogs.questions.size(), answers.size());
        QCOMPARE(FileBytes(env.storeFile()).contains(secret.toUtf8()), inFile);
        if (inFile)
            QCOMPARE(FileMode(env.storeFile()), 0600);
        std::optional<QString> read;
        secrets.read([&](const QString &kept) { read = kept; });
        QTRY_VERIFY_WITH_TIMEOUT(read.has_value(), 20000);
        QCOMPARE(*read, *written ? secret : QString());
    }

private:
    std::unique_ptr<PrivateSessionBus> m_bus;
};

QTEST_GUILESS_MAIN(TestShare)
#include "tst_share.moc"
