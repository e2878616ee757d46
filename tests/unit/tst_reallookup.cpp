#include "lookup/curlfunctions.h"
#include "lookup/curlrunner.h"
#include "lookup/failuretext.h"
#include "results/resultslist.h"
#include "support/datatable.h"
#include "support/loopbackserver.h"
#include "support/testenv.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(Fix)

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

// The key every broken service's log is made with: characters that the request encodes.
const QString BrokenServiceKey = QStringLiteral("s3cr3t/k3y+1");

const QString Hint = QStringLiteral("Move | line to right and out of window to reveal full names.");

// What the table tells a user and a screen reader about the row: its Time cell's and its
// Coordinates cell's tooltip, accessible description and whether it shows an icon, and the
// tooltip of the other cells.
void verifyRowTells(const ResultsList &results, int row, const QString &failure,
                    const QString &mark = {})
{
    QCOMPARE(results.failure(row), failure);
    QCOMPARE(results.mark(row), mark);
    for (int column = ResultsList::Time; column <= ResultsList::Timezone; ++column) {
        const QModelIndex cell = results.index(row, column);
        const QString told = column == ResultsList::Time ? failure
            : column == ResultsList::Coordinates         ? mark
                                                         : QString();
        QCOMPARE(results.data(cell, Qt::ToolTipRole).toString(), told.isEmpty() ? Hint : told);
        QCOMPARE(results.data(cell, Qt::AccessibleDescriptionRole).toString(), told);
        QCOMPARE(results.data(cell, Qt::DecorationRole).isNull(), told.isEmpty());
    }
}

// A message of the service just over the length shown, ending in letters outside the basic
// plane, each two UTF-16 units: the cut must fall between two of them.
QByteArray longMessageBody()
{
    return "{\"error\":{\"message\":\"" + QByteArray(FailureText::MaxMessageLength - 2, 'x')
        + "\xf0\x9f\x98\x80\xf0\x9f\x98\x80\xf0\x9f\x98\x80\"}}";
}

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
    void wiFiFixJoinsRow_data();
    void wiFiFixJoinsRow();
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
    // Failed rows show a warning icon, as in the window, where the desktop's theme has none.
    m_results->setFallbackWarningIcon([] { return QIcon(QPixmap(16, 16)); });
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
    QTest::addColumn<double>("accuracy"); // the address fix's, in metres; 0: no fix
    QTest::addColumn<QString>("mark");

    const QStringList berlin {QStringLiteral("DE"),
                              QStringLiteral("Berlin"),
                              QStringLiteral("Berlin"),
                              QStringLiteral("10115"),
                              QStringLiteral("52.5244, 13.4105"),
                              QStringLiteral("Europe/Berlin")};
    const double estimate = Fixes::AddressEstimateMetres;
    // Flattened, the pretty answer keeps the blank after each colon; it stays in the values.
    QTest::newRow("pretty answer") << LoopbackServer::prettyAnswer()
                                   << QStringList {QStringLiteral(" BR"),
                                                   QStringLiteral(u" São Paulo"),
                                                   QStringLiteral(u" São Paulo"),
                                                   QStringLiteral(" 01000-000"),
                                                   QStringLiteral(" -23.5475, -46.6361"),
                                                   QStringLiteral(" America/Sao_Paulo")}
                                   << estimate << QString();
    QTest::newRow("single-line answer")
        << LoopbackServer::singleLineAnswer() << berlin << estimate << QString();
    QByteArray withRadius = LoopbackServer::singleLineAnswer();
    withRadius.insert(1, "\"radius\": 20,");
    QTest::newRow("a radius in km") << withRadius << berlin << 20000.0 << QString();
    QByteArray anycast = LoopbackServer::singleLineAnswer();
    anycast.insert(anycast.size() - 1, ",\"anycast\":true");
    QTest::newRow("anycast") << anycast << berlin << estimate << Fixes::anycastMark();
    QTest::newRow("anycast false")
        << LoopbackServer::singleLineAnswer().replace("}", ",\"anycast\": false}") << berlin
        << estimate << QString();
    QTest::newRow("bogon") << QByteArray("{\n  \"ip\": \"10.1.2.3\",\n  \"bogon\": true\n}")
                           << EmptyCells << 0.0 << Fixes::bogonMark();
    QTest::newRow("country only")
        << QByteArray("{\"ip\":\"192.0.2.9\",\"asn\":\"AS64500\",\"as_name\":\"Example\","
                      "\"country_code\":\"US\",\"country\":\"United States\","
                      "\"continent_code\":\"NA\",\"continent\":\"North America\"}")
        << QStringList {QStringLiteral("United States"), {}, {}, {}, {}, {}} << 0.0
        << Fixes::countryOnlyMark();
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
    QFETCH(double, accuracy);
    QFETCH(QString, mark);
    const std::optional<Fix> fix = m_results->addressFix(0);
    QCOMPARE(fix ? fix->accuracyMetres : 0.0, accuracy);
    verifyRowTells(*m_results, 0, QString(), mark);
    QVERIFY(!QFileInfo::exists(m_functions->MessagePath()));
}

void TestRealLookup::brokenServiceGivesEmptyRow_data()
{
    QTest::addColumn<LoopbackServer::Mode>("mode");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body"); // of a redirect: the Location it names
    QTest::addColumn<int>("expectedRuns");
    QTest::addColumn<QString>("failure"); // what the row tells the user

    const auto reply = LoopbackServer::Mode::Reply;
    const QString answered = QStringLiteral("The service answered HTTP ");
    const QString noService = QStringLiteral("Could not connect to the location service.");

    // An error answer is a complete transfer: it is taken (once) and has no location.
    QTest::newRow("rate limited") << reply << 429 << LoopbackServer::rateLimitAnswer() << 1
                                  << answered + "429: Upgrade to increase your usage limits.";
    QTest::newRow("connection closed at once") << LoopbackServer::Mode::CloseAtOnce << 200
                                               << LoopbackServer::prettyAnswer() << 6 << noService;
    QTest::newRow("transfer cut halfway") << LoopbackServer::Mode::CutTransfer << 200
                                          << LoopbackServer::prettyAnswer() << 6 << noService;
    QTest::newRow("wrong key, title only")
        << reply << 401 << QByteArray("{\"error\":{\"title\":\"Wrong token\"}}") << 1
        << answered + "401: Wrong token";
    QTest::newRow("forbidden, top-level error text")
        << reply << 403 << QByteArray("{\"error\": \"Key\\u0007 not\\n allowed \"}") << 1
        << answered + "403: Key not allowed";
    QTest::newRow("error body holding a location")
        << reply << 429 << LoopbackServer::prettyAnswer() << 1 << answered + "429.";
    QTest::newRow("plain text, first line")
        << reply << 404 << QByteArray("\r\n  \t\r\nNo such\tpage \r\nsecond line\n") << 1
        << answered + "404: No such page";
    QTest::newRow("empty body") << reply << 503 << QByteArray() << 1 << answered + "503.";
    QTest::newRow("HTML page, its title")
        << reply << 500
        << QByteArray("<!DOCTYPE html>\n<html><head><title>500 Internal Server Error</title>"
                      "</head><body><h1>Internal Server Error</h1></body></html>\n")
        << 1 << answered + "500: 500 Internal Server Error";
    QTest::newRow("HTML page without a title, its first text")
        << reply << 502
        << QByteArray("<html><head><style>p{}</style></head><body><script>var a = 1;</script>\n"
                      "<h1>Bad &amp; broken gateway</h1><p>More</p></body></html>")
        << 1 << answered + "502: Bad & broken gateway";
    QTest::newRow("bytes that are no text")
        << reply << 500 << QByteArrayLiteral("\xff\xfe\x00\x01garbage\x80\xc0") << 1
        << answered + "500.";
    QTest::newRow("long message, cut between characters")
        << reply << 429 << longMessageBody() << 1
        << answered + "429: " + QString(FailureText::MaxMessageLength - 2, QLatin1Char('x'))
            + QStringLiteral(u"\U0001F600\u2026");
    // A redirect is not followed, not even to the same server.
    QTest::newRow("redirect") << reply << 301 << QByteArray("https://elsewhere.example/geo") << 1
                              << answered + "301: https://elsewhere.example/geo";
    QTest::newRow("redirect, long Location")
        << reply << 307 << "/" + QByteArray(300, 'a') << 1
        << answered + "307: /" + QString(FailureText::MaxMessageLength - 2, u'a') + u'\u2026';
    // The service's key, sent back in the Location, never reaches a tooltip or the history.
    QTest::newRow("redirect naming the key")
        << reply << 301 << QByteArray("https://elsewhere.example/geo?TOKEN=sekrit&x=1") << 1
        << answered + "301: https://elsewhere.example/geo?TOKEN=…&x=1";
    QTest::newRow("redirect naming the key otherwise, encoded")
        << reply << 301 << QByteArray("https://elsewhere.example/geo?key=s3cr3t%2fk3y%2B1&x=1") << 1
        << answered + "301: https://elsewhere.example/geo?key=…&x=1";
    QTest::newRow("redirect with the key in its path")
        << reply << 308 << QByteArray("https://elsewhere.example/s3cr3t/k3y+1/geo") << 1
        << answered + "308: https://elsewhere.example/…/geo";
    QTest::newRow("error message naming the key")
        << reply << 401 << QByteArray("{\"error\":{\"message\":\"Key s3cr3t/k3y+1 is wrong\"}}")
        << 1 << answered + "401: Key … is wrong";
    QTest::newRow("redirect without a Location")
        << reply << 302 << QByteArray() << 1 << answered + "302: Moved";
    // Only the status the client saw decides: an error-like body with a good status is no failure.
    QTest::newRow("error text with a good status")
        << reply << 200 << LoopbackServer::rateLimitAnswer() << 1 << QString();
}

void TestRealLookup::brokenServiceGivesEmptyRow()
{
    QFETCH(LoopbackServer::Mode, mode);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, expectedRuns);
    QFETCH(QString, failure);

    m_server->setMode(mode);
    LoopbackServer::Response response;
    response.status = status;
    response.body = body;
    if (status / 100 == 3)
        std::tie(response.location, response.body) = std::pair(body, "<title>Moved</title>");
    m_server->setResponse(response);
    m_functions->runner().setKeySource([] { return BrokenServiceKey; });

    QSignalSpy runs(&m_functions->runner(), &CurlRunner::runStarted);
    QSignalSpy answers(&m_functions->runner(), &CurlRunner::finished);
    QSignalSpy outcomes(m_functions.get(), &CurlFunctions::lookupOutcome);
    QCOMPARE(logOnce(), 0);
    QCOMPARE(runs.size(), expectedRuns);
    // A closed connection is dropped before the request is read, so only the others count it.
    if (mode != LoopbackServer::Mode::CloseAtOnce)
        QCOMPARE(m_server->requestCount(), expectedRuns);
    if (expectedRuns > 1)
        QCOMPARE(answers.at(0).at(0).toString(), CurlRunner::CouldNotConnect);
    QCOMPARE(m_results->rows(), 1);
    QCOMPARE(rowCells(*m_results, 0), EmptyCells);
    verifyRowTells(*m_results, 0, failure);
    QCOMPARE(outcomes.size(), 1);
    QCOMPARE(outcomes.at(0).at(0).toString(), failure);
    QVERIFY(!m_results->record(0).answer.contains(BrokenServiceKey.toUtf8()));
    QVERIFY(!QFileInfo::exists(m_functions->MessagePath()));
}

void TestRealLookup::wiFiFixJoinsRow_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("early"); // the fix comes before the answer, else just after it
    QTest::addColumn<int>("deadlineMs");
    QTest::addColumn<Fix>("fix");
    QTest::addColumn<bool>("joins");
    QTest::addColumn<QString>("mark");

    const Fix near {52.52, 13.405, 40, Fix::Source::WiFi};
    const Fix paris {48.8566, 2.3522, 30, Fix::Source::WiFi};
    const QString farText = QStringLiteral(
        "The public address is placed 878 km from the laptop's Wi-Fi position (a VPN, a proxy or "
        "a mobile network).");
    QTest::newRow("before the answer") << 200 << true << 15000 << near << true << QString();
    QTest::newRow("after the answer") << 200 << false << 15000 << near << true << QString();
    QTest::newRow("far, after") << 200 << false << 15000 << paris << true << farText;
    QTest::newRow("after the deadline") << 200 << false << 0 << paris << false << QString();
    QTest::newRow("failed lookup, before") << 500 << true << 15000 << near << false << QString();
    QTest::newRow("failed lookup, after") << 500 << false << 15000 << near << false << QString();
}

void TestRealLookup::wiFiFixJoinsRow()
{
    QFETCH(int, status);
    QFETCH(bool, early);
    QFETCH(int, deadlineMs);
    QFETCH(Fix, fix);
    QFETCH(bool, joins);
    QFETCH(QString, mark);

    LoopbackServer::Response response;
    response.status = status;
    response.body = LoopbackServer::singleLineAnswer();
    m_server->setResponse(response);
    CurlFunctions::FixFound found;
    int asked = 0;
    m_functions->setWiFiSource([&](CurlFunctions::FixFound callback) {
        ++asked;
        found = std::move(callback);
        if (early)
            found(fix);
    });
    m_functions->setWiFiDeadline(deadlineMs);
    QCOMPARE(logOnce(), 0);
    if (!early) {
        QTest::qWait(5); // past a deadline of none
        found(fix);
    }
    found(Fix {0, 0, 1, Fix::Source::WiFi}); // a second call is not the log's fix

    QCOMPARE(asked, 1);
    QCOMPARE(m_results->rows(), 1);
    const std::optional<Fix> joined = m_results->wiFiFix(0);
    QCOMPARE(bool(joined), joins);
    if (joined)
        QCOMPARE(joined->latitude, fix.latitude);
    QCOMPARE(m_results->mark(0), mark);
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
    m_functions->runner().setKeySource([key] { return key; });
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
    const DataTable<QString, QString> table({"key", "expectedPath"});

    table.row("key", "k3y-123", "/geo?token=k3y-123");
    table.row("empty key", "", "/");
    table.row("blank key", "   ", "/");
    table.row("blank key with a tab and a line break", " \t\n ", "/");
    // Pasted keys bring blanks along; the service gets the key alone.
    table.row("blanks around the key", "  abc123  ", "/geo?token=abc123");
    table.row("characters that would change the query", "a b&c=d#e+f%g",
              "/geo?token=a%20b%26c%3Dd%23e%2Bf%25g");
    table.row("unreserved characters kept", "A-z_0.9~", "/geo?token=A-z_0.9~");
    table.row("non-ASCII letters", QStringLiteral(u" clé-ünï "),
              "/geo?token=cl%C3%A9-%C3%BCn%C3%AF");
}

void TestRealLookup::requestPath()
{
    QFETCH(QString, key);
    QFETCH(QString, expectedPath);

    m_functions->runner().setKeySource([key] { return key; });
    QCOMPARE(logOnce(), 0);
    QCOMPARE(m_server->requestPaths(), QStringList {expectedPath});
    QCOMPARE(m_results->cell(0, ResultsList::Country), QStringLiteral(" BR"));
}

// A graphical application, as in the program: a failed row's icon can only be made in one.
QTEST_MAIN(TestRealLookup)
#include "tst_reallookup.moc"
