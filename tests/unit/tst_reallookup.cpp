#include "lookup/curlfunctions.h"
#include "lookup/curlrunner.h"
#include "results/resultslist.h"
#include "settings/settingsstore.h"
#include "support/loopbackserver.h"
#include "support/testenv.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(LoopbackServer::Mode)

namespace {

// Variables that could send the client elsewhere or change how it checks a server; the
// loopback service must be reached directly.
const char *const ClientVariables[] = {
    "CURL_CA_BUNDLE",
    "SSL_CERT_FILE",
    "SSL_CERT_DIR",
    "http_proxy",
    "HTTP_PROXY",
    "https_proxy",
    "HTTPS_PROXY",
    "all_proxy",
    "ALL_PROXY",
    "no_proxy",
    "NO_PROXY",
    "CURL_HOME",
    "TROVANEL_SERVICE_URL",
};

QStringList rowCells(const ResultsList &results, int row)
{
    QStringList cells;
    for (int column = ResultsList::Country; column <= ResultsList::Timezone; ++column)
        cells << results.cell(row, column);
    return cells;
}

const QStringList EmptyCells(6);

} // namespace

class TestRealLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void answerBecomesRow_data();
    void answerBecomesRow();
    void brokenServiceGivesEmptyRow_data();
    void brokenServiceGivesEmptyRow();
    void silentServiceIsBounded();
    void keyNeverInProcessList();
    void requestPath_data();
    void requestPath();

private:
    // Runs one log and waits for its row.
    int logOnce();

    QList<QPair<QByteArray, QByteArray>> m_savedVariables;
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<LoopbackServer> m_server;
    std::unique_ptr<ResultsList> m_results;
    std::unique_ptr<CurlFunctions> m_functions;
};

void TestRealLookup::initTestCase()
{
    for (const char *name : ClientVariables) {
        if (qEnvironmentVariableIsSet(name))
            m_savedVariables.append({name, qgetenv(name)});
        qunsetenv(name);
    }
    if (!QFileInfo(QStringLiteral("/usr/bin/curl")).isExecutable())
        QSKIP("the curl program is not installed");
}

void TestRealLookup::cleanupTestCase()
{
    for (const auto &[name, value] : std::as_const(m_savedVariables))
        qputenv(name.constData(), value);
}

void TestRealLookup::init()
{
    m_env = std::make_unique<TestEnv>();
    m_server = std::make_unique<LoopbackServer>();
    QVERIFY(m_server->listen());

    m_results = std::make_unique<ResultsList>();
    m_functions = std::make_unique<CurlFunctions>(m_results.get());
    m_functions->ExtractWorkingFiles();
    QCOMPARE(m_functions->MessagePath(),
             m_env->runtimeDir() + QStringLiteral("/trovanel/message.txt"));

    CurlRunnerConfig config;
    config.pauseMs = 100;
    config.connectTimeoutSeconds = 1;
    config.maxTimeSeconds = 1;
    config.watchdogGraceMs = 1000;
    m_functions->runner().setConfig(config);
    m_functions->runner().setServiceBase(m_server->baseUrl());
}

void TestRealLookup::cleanup()
{
    if (m_functions) {
        m_functions->abort();
        QVERIFY(!QFileInfo::exists(m_functions->MessagePath()));
        m_functions->DeleteWorkingFiles();
    }
    m_functions.reset();
    m_results.reset();
    m_server.reset();
    if (m_env)
        QVERIFY2(m_env->reports().isEmpty(), qPrintable(m_env->reports().value(0).description));
    m_env.reset();
}

int TestRealLookup::logOnce()
{
    QSignalSpy logged(m_functions.get(), &CurlFunctions::logFinished);
    if (!m_functions->GetLog())
        return -2;
    // Six runs of at most a second each and their pauses.
    if (!logged.wait(15000))
        return -3;
    return logged.at(0).at(0).toInt();
}

void TestRealLookup::answerBecomesRow_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("expected");

    // Flattened, the pretty answer keeps the blank after each colon; it stays in the values.
    QTest::newRow("pretty answer") << LoopbackServer::prettyAnswer()
                                   << QStringList {QStringLiteral(" BR"),
                                                   QStringLiteral(u" São Paulo"),
                                                   QStringLiteral(u" São Paulo"),
                                                   QStringLiteral(" 01000-000"),
                                                   QStringLiteral(" -23.5475, -46.6361"),
                                                   QStringLiteral(" America/Sao_Paulo")};
    QTest::newRow("single-line answer")
        << LoopbackServer::singleLineAnswer() << QStringList {QStringLiteral("DE"),
                                                              QStringLiteral("Berlin"),
                                                              QStringLiteral("Berlin"),
                                                              QStringLiteral("10115"),
                                                              QStringLiteral("52.5244, 13.4105"),
                                                              QStringLiteral("Europe/Berlin")};
}

void TestRealLookup::answerBecomesRow()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, expected);

    LoopbackServer::Response response;
    response.body = body;
    m_server->setResponse(response);
    const QDateTime noted(QDate(2024, 7, 1), QTime(8, 30, 15));
    m_functions->setClock([noted] { return noted; });

    QCOMPARE(logOnce(), 0);
    QCOMPARE(m_server->requestCount(), 1);
    QCOMPARE(m_results->rows(), 1);
    QCOMPARE(m_results->cell(0, ResultsList::Time), CurlFunctions::TimeText(noted));
    QCOMPARE(rowCells(*m_results, 0), expected);
    QVERIFY(!QFileInfo::exists(m_functions->MessagePath()));
}

void TestRealLookup::brokenServiceGivesEmptyRow_data()
{
    QTest::addColumn<LoopbackServer::Mode>("mode");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("expectedRuns");

    // The rate-limit answer is a complete transfer: it is taken (once) and has no location.
    QTest::newRow("rate limited") << LoopbackServer::Mode::Reply << 429
                                  << LoopbackServer::rateLimitAnswer() << 1;
    QTest::newRow("connection closed at once")
        << LoopbackServer::Mode::CloseAtOnce << 200 << LoopbackServer::prettyAnswer() << 6;
    QTest::newRow("transfer cut halfway")
        << LoopbackServer::Mode::CutTransfer << 200 << LoopbackServer::prettyAnswer() << 6;
}

void TestRealLookup::brokenServiceGivesEmptyRow()
{
    QFETCH(LoopbackServer::Mode, mode);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, expectedRuns);

    m_server->setMode(mode);
    LoopbackServer::Response response;
    response.status = status;
    response.body = body;
    m_server->setResponse(response);

    QSignalSpy runs(&m_functions->runner(), &CurlRunner::runStarted);
    QSignalSpy answers(&m_functions->runner(), &CurlRunner::finished);
    QCOMPARE(logOnce(), 0);
    QCOMPARE(runs.size(), expectedRuns);
    // A closed connection is dropped before the request is read, so only the others count it.
    if (mode != LoopbackServer::Mode::CloseAtOnce)
        QCOMPARE(m_server->requestCount(), expectedRuns);
    if (expectedRuns > 1)
        QCOMPARE(answers.at(0).at(0).toString(), CurlRunner::CouldNotConnect);
    QCOMPARE(m_results->rows(), 1);
    QCOMPARE(rowCells(*m_results, 0), EmptyCells);
    QVERIFY(!QFileInfo::exists(m_functions->MessagePath()));
}

void TestRealLookup::silentServiceIsBounded()
{
    m_server->setMode(LoopbackServer::Mode::Hold);
    QSignalSpy answers(&m_functions->runner(), &CurlRunner::finished);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(logOnce(), 0);
    // Six runs cut at a second each by the client, with a pause after each.
    QVERIFY2(clock.elapsed() < 12000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(answers.at(0).at(0).toString(), CurlRunner::CouldNotConnect);
    QCOMPARE(m_server->requestCount(), 6);
    QCOMPARE(rowCells(*m_results, 0), EmptyCells);

    // Logging goes on once the service answers again.
    m_server->setMode(LoopbackServer::Mode::Reply);
    QCOMPARE(logOnce(), 1);
    QCOMPARE(m_server->requestCount(), 7);
    QCOMPARE(m_results->cell(1, ResultsList::Country), QStringLiteral(" BR"));
}

void TestRealLookup::keyNeverInProcessList()
{
    const QString key = QStringLiteral("k3y-secret-77");
    Settings::save(QStringLiteral("APIKey"), key);
    m_server->setMode(LoopbackServer::Mode::Hold);

    QSignalSpy runs(&m_functions->runner(), &CurlRunner::runStarted);
    QSignalSpy requests(m_server.get(), &LoopbackServer::requestReceived);
    QSignalSpy logged(m_functions.get(), &CurlFunctions::logFinished);
    QVERIFY(m_functions->GetLog());
    // Once the request has come, the client is surely the process behind the pid.
    QVERIFY(requests.wait(5000));
    QCOMPARE(runs.size(), 1);
    const qint64 pid = runs.at(0).at(1).toLongLong();
    QCOMPARE(m_functions->runner().runningPid(), pid);

    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    QVERIFY(cmdline.open(QIODevice::ReadOnly));
    const QByteArray seen = cmdline.readAll();
    QVERIFY2(seen.contains("curl"), seen.constData());
    QVERIFY2(!seen.contains(key.toUtf8()), seen.constData());
    QVERIFY2(!seen.contains("token"), seen.constData());
    QVERIFY2(!seen.contains(m_server->baseUrl().toUtf8()), seen.constData());
    QCOMPARE(requests.at(0).at(0).toString(), QStringLiteral("/geo?token=") + key);

    m_functions->abort();
    QTest::qWait(300);
    QCOMPARE(logged.size(), 0);
    QCOMPARE(m_results->rows(), 0);
}

void TestRealLookup::requestPath_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expectedPath");

    QTest::newRow("key") << "k3y-123"
                         << "/geo?token=k3y-123";
    QTest::newRow("empty key") << ""
                               << "/";
    QTest::newRow("blank key") << "   "
                               << "/";
}

void TestRealLookup::requestPath()
{
    QFETCH(QString, key);
    QFETCH(QString, expectedPath);

    Settings::save(QStringLiteral("APIKey"), key);
    QCOMPARE(logOnce(), 0);
    QCOMPARE(m_server->requestPaths(), QStringList {expectedPath});
    QCOMPARE(m_results->cell(0, ResultsList::Country), QStringLiteral(" BR"));
}

QTEST_GUILESS_MAIN(TestRealLookup)
#include "tst_reallookup.moc"
