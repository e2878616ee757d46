#include "core/failure.h"
#include "lookup/curlfunctions.h"
#include "lookup/curlrunner.h"
#include "results/resultslist.h"
#include "support/fixtures.h"
#include "support/testenv.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// A stand-in for the transfer client. It keeps its records next to itself: how often it ran
// (count), when each run began and ended (starts, ends, in ns), its arguments and what came on
// its standard input (args, config, of the last run). The line of "behaviour" for run n says
// what run n does; the last line goes on for later runs.
const char FakeClientScript[] = R"(#!/bin/sh
here=$(dirname "$0")
out=
prev=
for arg in "$@"; do
    if [ "$prev" = "--output" ]; then out=$arg; fi
    prev=$arg
done
n=$(( $(cat "$here/count" 2>/dev/null || echo 0) + 1 ))
echo "$n" > "$here/count"
date +%s%N >> "$here/starts"
printf '%s\n' "$@" > "$here/args"
cat > "$here/config"
what=$(sed -n "${n}p" "$here/behaviour")
if [ -z "$what" ]; then what=$(tail -n 1 "$here/behaviour"); fi
ended() { date +%s%N >> "$here/ends"; }
case "$what" in
answer) cat "$here/answer" > "$out" ;;
slow) sleep 0.35; cat "$here/answer" > "$out" ;;
hang) exec sleep 1000 ;;
partial) head -c 12 "$here/answer" > "$out"; ended; exit 18 ;;
crash) cat "$here/answer" > "$out"; ended; kill -9 $$ ;;
empty) : > "$out" ;;
oversize) head -c 1001 /dev/zero | tr '\0' x > "$out" ;;
atlimit) head -c 1000 /dev/zero | tr '\0' x > "$out" ;;
none) ;;
esac
ended
exit 0
)";

constexpr qint64 AnswerLimit = 1000; // the oversize and atlimit runs are built around it

// The answer of the fake service: a line break and a tab for the flattening to remove, and
// a non-ASCII letter that must come through as UTF-8.
const QByteArray FakeAnswer = "{\"ip\":\"192.0.2.1\",\"city\":\"S\xc3\xa3o Paulo\",\n\t"
                              "\"region\":\"Sao Paulo\",\"country\":\"BR\",\"loc\":\"-23.5,-46.6\","
                              "\"postal\":\"01000-000\",\"timezone\":\"America/Sao_Paulo\"}";
// The same flattened, worked out by hand: {" and "} go, the line break becomes a blank, the
// tab goes, ": and :" lose their quote.
const QString FakeAnswerFlat = QStringLiteral(
    u"ip:192.0.2.1\",\"city:São Paulo\", \"region:Sao Paulo\",\"country:BR\",\"loc:-23.5,-46.6\","
    u"\"postal:01000-000\",\"timezone:America/Sao_Paulo");

class FakeClient
{
public:
    explicit FakeClient(const QString &folder) : m_folder(folder)
    {
        QDir().mkpath(folder);
        QFile script(path());
        if (script.open(QIODevice::WriteOnly))
            script.write(FakeClientScript);
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setAnswer(FakeAnswer);
        setBehaviour(QStringLiteral("answer"));
    }

    QString folder() const { return m_folder; }
    QString path() const { return m_folder + QStringLiteral("/curl"); }

    // One word per run, separated by blanks.
    void setBehaviour(const QString &words)
    {
        write(QStringLiteral("behaviour"),
              words.split(QLatin1Char(' '), Qt::SkipEmptyParts).join(QLatin1Char('\n')).toUtf8()
                  + '\n');
    }
    void setAnswer(const QByteArray &answer) { write(QStringLiteral("answer"), answer); }

    int runs() const { return read(QStringLiteral("count")).trimmed().toInt(); }
    QByteArray config() const { return read(QStringLiteral("config")); }
    QStringList arguments() const
    {
        return QString::fromUtf8(read(QStringLiteral("args")))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // Wall-clock times in ms, one per run.
    QList<qint64> starts() const { return times(QStringLiteral("starts")); }
    QList<qint64> ends() const { return times(QStringLiteral("ends")); }

private:
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_folder + QLatin1Char('/') + name);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(bytes);
    }
    QByteArray read(const QString &name) const
    {
        QFile file(m_folder + QLatin1Char('/') + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QList<qint64> times(const QString &name) const
    {
        QList<qint64> result;
        for (const QByteArray &line : read(name).split('\n')) {
            if (!line.trimmed().isEmpty())
                result.append(line.trimmed().toLongLong() / 1000000);
        }
        return result;
    }

    QString m_folder;
};

CurlRunnerConfig quickConfig()
{
    CurlRunnerConfig config;
    config.pauseMs = 50;
    config.pollMs = 100;
    config.maxTimeSeconds = 1;
    config.watchdogGraceMs = 300;
    config.maxAnswerBytes = AnswerLimit;
    return config;
}

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}

// Children of this test process, zombies included: a run that ended must leave none.
QStringList childProcesses()
{
    QStringList children;
    const QString self = QString::number(::getpid());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // pid (comm) state ppid ...; comm may hold blanks, so read after its last ')'.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1) == self.toLatin1())
            children << QString::fromLatin1(text.left(text.lastIndexOf(')') + 1));
    }
    return children;
}

// The first run starts within start() itself, so its signal may already be in the spy.
bool waitForFirst(QSignalSpy &spy, int timeoutMs = 5000)
{
    return !spy.isEmpty() || spy.wait(timeoutMs);
}

// Gaps between runs are timed by a coarse timer, which may fire up to 5% early.
qint64 lowestPause(int pauseMs)
{
    return pauseMs - pauseMs / 20 - 1;
}

} // namespace

class TestCurlRunner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void lookupOutcome_data();
    void lookupOutcome();
    void pausesObserved();
    void progressTexts();
    void abortInFlight_data();
    void abortInFlight();
    void requestOnStandardInput_data();
    void requestOnStandardInput();
    void serviceBaseFromEnvironment();
    void keySourceFails();
    void missingClient();
    void clientFoundOnPath();
    void noClientOnPath();

    void logAppendsOneRow();
    void failedLogGivesEmptyRow_data();
    void failedLogGivesEmptyRow();
    void logRefusedWhileBusy();
    void abortedLogAddsNoRow();
    void timeText_data();
    void timeText();

private:
    QString answerPath() const { return m_env->root() + QStringLiteral("/message.txt"); }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<FakeClient> m_fake;
};

void TestCurlRunner::init()
{
    m_env = std::make_unique<TestEnv>();
    m_fake = std::make_unique<FakeClient>(m_env->root() + QStringLiteral("/bin"));
    QVERIFY(QFileInfo(m_fake->path()).isExecutable());
}

void TestCurlRunner::cleanup()
{
    if (m_env)
        QVERIFY2(m_env->reports().isEmpty(), qPrintable(m_env->reports().value(0).description));
    m_fake.reset();
    m_env.reset();
}

void TestCurlRunner::lookupOutcome_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<bool>("staleAnswer");
    QTest::addColumn<int>("maxRuns");
    QTest::addColumn<int>("expectedRuns");
    QTest::addColumn<QString>("expectedAnswer");

    const QString none = CurlRunner::CouldNotConnect;
    const QString limit = QString(AnswerLimit, QLatin1Char('x'));

    QTest::newRow("answer on run 1") << "answer" << false << 6 << 1 << FakeAnswerFlat;
    QTest::newRow("answer on run 3") << "none none answer" << false << 6 << 3 << FakeAnswerFlat;
    QTest::newRow("answer on the last run")
        << "none none none none none answer" << false << 6 << 6 << FakeAnswerFlat;
    QTest::newRow("answer one run too late")
        << "none none none none none none answer" << false << 6 << 6 << none;
    QTest::newRow("never an answer") << "none" << false << 6 << 6 << none;
    QTest::newRow("fewer runs allowed") << "none" << false << 2 << 2 << none;
    QTest::newRow("stale answer from before") << "none" << true << 6 << 6 << none;
    QTest::newRow("partial file, non-zero exit") << "partial" << false << 6 << 6 << none;
    QTest::newRow("partial file, then answer")
        << "partial answer" << false << 6 << 2 << FakeAnswerFlat;
    QTest::newRow("crash after writing") << "crash" << false << 6 << 6 << none;
    QTest::newRow("crash, then answer") << "crash answer" << false << 6 << 2 << FakeAnswerFlat;
    QTest::newRow("empty answer file") << "empty" << false << 6 << 1 << QString();
    QTest::newRow("answer over the size limit") << "oversize" << false << 6 << 6 << none;
    QTest::newRow("over the limit, then answer")
        << "oversize answer" << false << 6 << 2 << FakeAnswerFlat;
    QTest::newRow("answer at the size limit") << "atlimit" << false << 6 << 1 << limit;
    QTest::newRow("hang, killed, then answer")
        << "hang answer" << false << 6 << 2 << FakeAnswerFlat;
    QTest::newRow("hang every time") << "hang" << false << 2 << 2 << none;
}

void TestCurlRunner::lookupOutcome()
{
    QFETCH(QString, behaviour);
    QFETCH(bool, staleAnswer);
    QFETCH(int, maxRuns);
    QFETCH(int, expectedRuns);
    QFETCH(QString, expectedAnswer);

    m_fake->setBehaviour(behaviour);
    if (staleAnswer) {
        QFile stale(answerPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(FakeAnswer);
    }

    CurlRunner runner;
    CurlRunnerConfig config = quickConfig();
    config.maxRuns = maxRuns;
    runner.setConfig(config);
    runner.setClient(m_fake->path());
    runner.setAnswerPath(answerPath());
    runner.setServiceBase(QStringLiteral("http://127.0.0.1:9"));

    QSignalSpy finished(&runner, &CurlRunner::finished);
    QSignalSpy started(&runner, &CurlRunner::runStarted);
    runner.start();
    QVERIFY(runner.isRunning());
    QVERIFY(finished.wait(15000));
    QVERIFY(!runner.isRunning());

    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toString(), expectedAnswer);
    QCOMPARE(m_fake->runs(), expectedRuns);
    QCOMPARE(started.size(), expectedRuns);
    for (int run = 0; run < started.size(); ++run)
        QCOMPARE(started.at(run).at(0).toInt(), run + 1);
    QVERIFY2(!QFileInfo::exists(answerPath()), "the answer file outlived the lookup");

    // Nothing trails the end of the lookup.
    QTest::qWait(config.pauseMs * 3);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(m_fake->runs(), expectedRuns);
    QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 2000);
}

void TestCurlRunner::pausesObserved()
{
    constexpr int PauseMs = 300;
    constexpr int Runs = 3;
    m_fake->setBehaviour(QStringLiteral("none"));

    CurlRunner runner;
    CurlRunnerConfig config = quickConfig();
    config.pauseMs = PauseMs;
    config.maxRuns = Runs;
    runner.setConfig(config);
    runner.setClient(m_fake->path());
    runner.setAnswerPath(answerPath());

    QSignalSpy finished(&runner, &CurlRunner::finished);
    runner.start();
    QVERIFY(finished.wait(10000));
    const qint64 finishedAt = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(finished.at(0).at(0).toString(), CurlRunner::CouldNotConnect);

    const QList<qint64> starts = m_fake->starts();
    const QList<qint64> ends = m_fake->ends();
    QCOMPARE(starts.size(), Runs);
    QCOMPARE(ends.size(), Runs);
    for (int run = 1; run < Runs; ++run) {
        const qint64 gap = starts.at(run) - ends.at(run - 1);
        QVERIFY2(gap >= lowestPause(PauseMs),
                 qPrintable(QStringLiteral("run %1 began %2 ms after run %3 ended")
                                .arg(run + 1)
                                .arg(gap)
                                .arg(run)));
    }
    // The last run that left no answer is followed by its pause too, before giving up.
    const qint64 lastGap = finishedAt - ends.last();
    QVERIFY2(lastGap >= lowestPause(PauseMs),
             qPrintable(QStringLiteral("gave up %1 ms after the last run").arg(lastGap)));
}

void TestCurlRunner::progressTexts()
{
    // A quick run without an answer, then one that takes about 350 ms.
    m_fake->setBehaviour(QStringLiteral("none slow"));

    CurlRunner runner;
    runner.setConfig(quickConfig());
    runner.setClient(m_fake->path());
    runner.setAnswerPath(answerPath());

    QSignalSpy progress(&runner, &CurlRunner::progressText);
    QSignalSpy finished(&runner, &CurlRunner::finished);
    // The count shows at once, not a poll interval later.
    QStringList shownAtRunStart;
    connect(&runner, &CurlRunner::runStarted, this, [&] {
        shownAtRunStart << (progress.isEmpty() ? QString() : progress.last().at(0).toString());
    });

    runner.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toString(), FakeAnswerFlat);
    QCOMPARE(shownAtRunStart,
             QStringList({QStringLiteral("Please wait.. 1"), QStringLiteral("Please wait.. 1")}));

    // Each run counts from 1 up without a gap and ends with the idle text.
    QList<int> highestPerRun;
    int expectedNext = 1;
    for (const QList<QVariant> &signal : std::as_const(progress)) {
        const QString text = signal.at(0).toString();
        if (text == QLatin1String("Progress Bar")) {
            QVERIFY2(expectedNext > 1, "the idle text came without a count before it");
            highestPerRun << expectedNext - 1;
            expectedNext = 1;
            continue;
        }
        QCOMPARE(text, QStringLiteral("Please wait.. ") + QString::number(expectedNext));
        ++expectedNext;
    }
    QCOMPARE(expectedNext, 1); // the last text is the idle one
    QCOMPARE(highestPerRun.size(), 2);
    // 350 ms at one text per 100 ms: the first text and at least two more.
    QVERIFY2(highestPerRun.at(1) >= 3, qPrintable(QString::number(highestPerRun.at(1))));
    QVERIFY2(highestPerRun.at(1) <= 10, qPrintable(QString::number(highestPerRun.at(1))));
}

void TestCurlRunner::abortInFlight_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<bool>("duringPause");

    QTest::newRow("during a hanging run") << "hang" << false;
    QTest::newRow("during the pause after a run") << "none" << true;
}

void TestCurlRunner::abortInFlight()
{
    QFETCH(QString, behaviour);
    QFETCH(bool, duringPause);

    m_fake->setBehaviour(behaviour);
    CurlRunner runner;
    CurlRunnerConfig config = quickConfig();
    config.pauseMs = 400;
    runner.setConfig(config);
    runner.setClient(m_fake->path());
    runner.setAnswerPath(answerPath());

    QSignalSpy finished(&runner, &CurlRunner::finished);
    QSignalSpy started(&runner, &CurlRunner::runStarted);
    QSignalSpy progress(&runner, &CurlRunner::progressText);
    runner.start();
    QVERIFY(waitForFirst(started));
    const qint64 pid = started.at(0).at(1).toLongLong();
    QVERIFY(pid > 0);
    if (duringPause)
        QTRY_COMPARE_WITH_TIMEOUT(progress.last().at(0).toString(), QStringLiteral("Progress Bar"),
                                  2000);
    else
        QTRY_COMPARE_WITH_TIMEOUT(m_fake->runs(), 1, 2000); // the script is under way

    runner.abort();
    QVERIFY(!runner.isRunning());
    QVERIFY(!processAlive(pid));
    QVERIFY2(childProcesses().isEmpty(), qPrintable(childProcesses().join(QLatin1Char(' '))));
    QCOMPARE(progress.last().at(0).toString(), QStringLiteral("Progress Bar"));

    // Past the watchdog and the pause: no answer and no further run.
    QTest::qWait(config.maxTimeSeconds * 1000 + config.watchdogGraceMs + 200);
    QCOMPARE(finished.size(), 0);
    QCOMPARE(started.size(), 1);
    QCOMPARE(m_fake->runs(), 1);
    QVERIFY(!QFileInfo::exists(answerPath()));

    // The runner takes the next lookup as if nothing had happened.
    m_fake->setBehaviour(QStringLiteral("answer"));
    runner.start();
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toString(), FakeAnswerFlat);
    QCOMPARE(m_fake->runs(), 2);
}

void TestCurlRunner::requestOnStandardInput_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("expectedConfig");

    const QString svc = QStringLiteral("http://127.0.0.1:9/svc");
    const QByteArray base = svc.toUtf8();
    QTest::newRow("no key ever stored") << svc << false << QString() << "url = \"" + base + "\"\n";
    QTest::newRow("empty key") << svc << true << QString() << "url = \"" + base + "\"\n";
    QTest::newRow("blank key") << svc << true << QStringLiteral("   ")
                               << "url = \"" + base + "\"\n";
    QTest::newRow("key") << svc << true << QStringLiteral("k3y-123")
                         << "url = \"" + base + "/geo?token=k3y-123\"\n";
    // The stored key stays as typed; the request carries it without the blanks.
    QTest::newRow("key with blanks around, sent without them")
        << svc << true << QStringLiteral(" k3y ") << "url = \"" + base + "/geo?token=k3y\"\n";
    QTest::newRow("quote and backslash in the key encoded")
        << svc << true << QStringLiteral("a\"b\\c")
        << "url = \"" + base + "/geo?token=a%22b%5Cc\"\n";
    QTest::newRow("quote and backslash in the address escaped")
        << QStringLiteral("http://127.0.0.1:9/s\"v\\c") << true << QStringLiteral("k3y")
        << QByteArray("url = \"http://127.0.0.1:9/s\\\"v\\\\c/geo?token=k3y\"\n");
}

void TestCurlRunner::requestOnStandardInput()
{
    QFETCH(QString, base);
    QFETCH(bool, stored);
    QFETCH(QString, key);
    QFETCH(QByteArray, expectedConfig);

    CurlRunner runner;
    if (stored)
        runner.setKeySource([key] { return key; });
    runner.setConfig(quickConfig());
    runner.setClient(m_fake->path());
    runner.setAnswerPath(answerPath());
    runner.setServiceBase(base);

    QSignalSpy finished(&runner, &CurlRunner::finished);
    runner.start();
    QVERIFY(finished.wait(5000));
    QCOMPARE(m_fake->config(), expectedConfig);

    // The process list shows the arguments to every user: neither the key nor the address may
    // be among them.
    const QStringList args = m_fake->arguments();
    QVERIFY(!args.isEmpty());
    QCOMPARE(args.first(), QStringLiteral("-q")); // no ~/.curlrc may add to the request
    QCOMPARE(args.mid(args.indexOf(QStringLiteral("--output")) + 1, 1), QStringList {answerPath()});
    for (const QString &arg : args) {
        QVERIFY2(!arg.contains(QLatin1String("token")), qPrintable(arg));
        QVERIFY2(!arg.contains(QLatin1String("127.0.0.1:9")), qPrintable(arg));
        if (!key.trimmed().isEmpty())
            QVERIFY2(!arg.contains(key.trimmed()), qPrintable(arg));
    }
}

void TestCurlRunner::serviceBaseFromEnvironment()
{
    {
        EnvOverride base("TROVANEL_SERVICE_URL", QByteArray("http://127.0.0.1:9/mirror"));
        CurlRunner runner;
        runner.setKeySource([] { return QStringLiteral("k3y"); });
        runner.setConfig(quickConfig());
        runner.setClient(m_fake->path());
        runner.setAnswerPath(answerPath());
        QSignalSpy finished(&runner, &CurlRunner::finished);
        runner.start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_fake->config(),
                 QByteArray("url = \"http://127.0.0.1:9/mirror/geo?token=k3y\"\n"));
    }
    EnvOverride unset("TROVANEL_SERVICE_URL", std::nullopt);
    QCOMPARE(CurlRunner().serviceBase(), CurlRunner::DefaultServiceBase);
}

// A store that cannot be read is reported, and the lookup asks with the key it had.
void TestCurlRunner::keySourceFails()
{
    CurlRunner runner;
    runner.setConfig(quickConfig());
    runner.setClient(m_fake->path());
    runner.setAnswerPath(answerPath());
    runner.setServiceBase(QStringLiteral("http://127.0.0.1:9"));
    std::optional<QString> key = QStringLiteral("k3y");
    runner.setKeySource([&key] {
        return key ? *key : throw Failure(QStringLiteral("The settings file cannot be read."));
    });
    QSignalSpy finished(&runner, &CurlRunner::finished);
    for (const bool readable : {true, false}) {
        if (!readable)
            key.reset();
        runner.start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_fake->config(), QByteArray("url = \"http://127.0.0.1:9/geo?token=k3y\"\n"));
    }
    QCOMPARE(m_env->takeReportPlaces(), QStringList {"CurlFunctions/ReadCurl:102"});
}

void TestCurlRunner::missingClient()
{
    CurlRunner runner;
    CurlRunnerConfig config = quickConfig();
    config.pauseMs = 100;
    runner.setConfig(config);
    runner.setClient(m_env->root() + QStringLiteral("/no-such-dir/curl"));
    runner.setAnswerPath(answerPath());

    QSignalSpy finished(&runner, &CurlRunner::finished);
    QElapsedTimer clock;
    clock.start();
    runner.start();
    QVERIFY(finished.wait(10000));
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toString(), CurlRunner::CouldNotConnect);
    // Every one of the six runs failed to start and was followed by its pause.
    QVERIFY2(elapsed >= config.maxRuns * lowestPause(config.pauseMs),
             qPrintable(QStringLiteral("gave up after %1 ms").arg(elapsed)));
    QVERIFY(!runner.isRunning());
}

void TestCurlRunner::clientFoundOnPath()
{
    EnvOverride path("PATH", QFile::encodeName(m_fake->folder()) + ':' + qgetenv("PATH"));
    ResultsList results;
    CurlFunctions functions(&results);
    functions.ExtractWorkingFiles();

    QCOMPARE(functions.CurlPath(), QLatin1Char('"') + m_fake->path() + QLatin1Char('"'));
    QCOMPARE(functions.runner().client(), m_fake->path());
    const QString folder = m_env->runtimeDir() + QStringLiteral("/trovanel");
    QCOMPARE(functions.MessagePath(), folder + QStringLiteral("/message.txt"));

    CurlRunnerConfig config = quickConfig();
    functions.runner().setConfig(config);
    QSignalSpy logged(&functions, &CurlFunctions::logFinished);
    QVERIFY(functions.GetLog());
    QVERIFY(logged.wait(5000));
    QCOMPARE(m_fake->runs(), 1);
    QCOMPARE(m_fake->arguments().last(), folder + QStringLiteral("/message.txt"));
    QCOMPARE(results.cell(0, ResultsList::Country), QStringLiteral("BR"));

    functions.DeleteWorkingFiles();
    QVERIFY(!QFileInfo::exists(folder));
}

void TestCurlRunner::noClientOnPath()
{
    const QString empty = m_env->root() + QStringLiteral("/empty-bin");
    QVERIFY(QDir().mkpath(empty));
    EnvOverride path("PATH", QFile::encodeName(empty));
    ResultsList results;
    CurlFunctions functions(&results);

    QString missing;
    try {
        functions.ExtractWorkingFiles();
        QFAIL("a missing client went unnoticed");
    } catch (const Failure &failure) {
        missing = failure.description();
        QVERIFY2(missing.contains(QLatin1String("curl")), qPrintable(missing));
    }
    QVERIFY(functions.CurlPath().isEmpty());
    // The folder is fine, so only the client is missing; the log still ends with its row.
    QVERIFY(!functions.MessagePath().isEmpty());

    CurlRunnerConfig config = quickConfig();
    config.pauseMs = 10;
    functions.runner().setConfig(config);
    QSignalSpy logged(&functions, &CurlFunctions::logFinished);
    QVERIFY(functions.GetLog());
    QVERIFY(logged.wait(5000));
    QCOMPARE(results.rows(), 1);
    QCOMPARE(results.failure(0), missing);
    for (int column = ResultsList::Country; column <= ResultsList::Timezone; ++column)
        QCOMPARE(results.cell(0, column), QString());
}

void TestCurlRunner::logAppendsOneRow()
{
    ResultsList results;
    CurlFunctions functions(&results);
    functions.runner().setConfig(quickConfig());
    functions.runner().setClient(m_fake->path());
    functions.runner().setAnswerPath(answerPath());

    QDateTime now(QDate(2024, 3, 5), QTime(14, 7, 9));
    functions.setClock([&now] { return now; });
    QSignalSpy logged(&functions, &CurlFunctions::logFinished);

    for (int log = 0; log < 2; ++log) {
        const QDateTime noted = now;
        QVERIFY(functions.GetLog());
        // The row shows when the log began, not when its answer came.
        now = now.addSecs(3600);
        QVERIFY(logged.wait(5000));
        QCOMPARE(logged.size(), log + 1);
        QCOMPARE(logged.last().at(0).toInt(), log);
        QCOMPARE(results.rows(), log + 1);

        const QStringList expected
            = {CurlFunctions::TimeText(noted),     QStringLiteral("BR"),
               QStringLiteral("Sao Paulo"),        QStringLiteral(u"São Paulo"),
               QStringLiteral("01000-000"),        QStringLiteral("-23.5, -46.6"),
               QStringLiteral("America/Sao_Paulo")};
        QStringList row;
        for (int column = 0; column < ResultsList::ColumnCount; ++column)
            row << results.cell(log, column);
        QCOMPARE(row, expected);
        QVERIFY(!results.isChecked(log));
    }
}

void TestCurlRunner::timeText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");

    // The locales' short time formats leave the seconds out; the log puts them back after the
    // minutes, with the locale's own separator. A two-digit year is written in full.
    QTest::newRow("German") << "de_DE"
                            << "05.03.2024 14:07:09";
    QTest::newRow("US") << "en_US"
                        << "3/5/2024 2:07:09 PM";
    QTest::newRow("Korean, year first") << "ko_KR"
                                        << "2024. 3. 5. \uC624\uD6C4 2:07:09";
    QTest::newRow("British") << "en_GB"
                             << "05/03/2024 14:07:09";
    QTest::newRow("Finnish, dots") << "fi_FI"
                                   << "5.3.2024 14.07.09";
}

void TestCurlRunner::timeText()
{
    QFETCH(QString, locale);
    QFETCH(QString, expected);

    const QDateTime time(QDate(2024, 3, 5), QTime(14, 7, 9));
    QCOMPARE(CurlFunctions::TimeText(time, QLocale(locale)), expected);
}

void TestCurlRunner::failedLogGivesEmptyRow_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("no answer") << "none" << FakeAnswer;
    QTest::newRow("empty answer") << "empty" << FakeAnswer;
    QTest::newRow("answer without location")
        << "answer" << QByteArray("{\n  \"error\": \"wrong token\"\n}");
}

void TestCurlRunner::failedLogGivesEmptyRow()
{
    QFETCH(QString, behaviour);
    QFETCH(QByteArray, answer);

    m_fake->setBehaviour(behaviour);
    m_fake->setAnswer(answer);

    ResultsList results;
    CurlFunctions functions(&results);
    CurlRunnerConfig config = quickConfig();
    config.maxRuns = 2;
    functions.runner().setConfig(config);
    functions.runner().setClient(m_fake->path());
    functions.runner().setAnswerPath(answerPath());
    const QDateTime noted(QDate(2023, 12, 31), QTime(23, 59, 58));
    functions.setClock([noted] { return noted; });

    QSignalSpy logged(&functions, &CurlFunctions::logFinished);
    QVERIFY(functions.GetLog());
    QVERIFY(logged.wait(5000));
    QCOMPARE(results.rows(), 1);
    QCOMPARE(results.cell(0, ResultsList::Time), CurlFunctions::TimeText(noted));
    for (int column = ResultsList::Country; column <= ResultsList::Timezone; ++column)
        QCOMPARE(results.cell(0, column), QString());
}

void TestCurlRunner::logRefusedWhileBusy()
{
    m_fake->setBehaviour(QStringLiteral("slow"));
    ResultsList results;
    CurlFunctions functions(&results);
    functions.runner().setConfig(quickConfig());
    functions.runner().setClient(m_fake->path());
    functions.runner().setAnswerPath(answerPath());

    QSignalSpy logged(&functions, &CurlFunctions::logFinished);
    QVERIFY(!functions.isBusy());
    QVERIFY(functions.GetLog());
    QVERIFY(functions.isBusy());
    QVERIFY(!functions.GetLog());
    QTest::qWait(100);
    QVERIFY(!functions.GetLog());

    QVERIFY(logged.wait(5000));
    QTest::qWait(200);
    QCOMPARE(logged.size(), 1);
    QCOMPARE(results.rows(), 1);
    QCOMPARE(m_fake->runs(), 1);
    QVERIFY(!functions.isBusy());
    QVERIFY(functions.GetLog()); // free again once the row is in
    QVERIFY(logged.wait(5000));
    QCOMPARE(results.rows(), 2);
}

void TestCurlRunner::abortedLogAddsNoRow()
{
    m_fake->setBehaviour(QStringLiteral("hang"));
    ResultsList results;
    CurlFunctions functions(&results);
    functions.runner().setConfig(quickConfig());
    functions.runner().setClient(m_fake->path());
    functions.runner().setAnswerPath(answerPath());

    QSignalSpy logged(&functions, &CurlFunctions::logFinished);
    QSignalSpy started(&functions.runner(), &CurlRunner::runStarted);
    QVERIFY(functions.GetLog());
    QVERIFY(waitForFirst(started));
    functions.abort();
    QVERIFY(!functions.isBusy());

    const CurlRunnerConfig &config = functions.runner().config();
    QTest::qWait(config.maxTimeSeconds * 1000 + config.watchdogGraceMs + 200);
    QCOMPARE(logged.size(), 0);
    QCOMPARE(results.rows(), 0);
    QVERIFY(childProcesses().isEmpty());
}

QTEST_GUILESS_MAIN(TestCurlRunner)
#include "tst_curlrunner.moc"
