// Several minutes of the real window logging once a second against a service that misbehaves
// at random, while a user ticks rows, copies, saves and clears. The tick, the client and the
// pauses are all real; only the service is played by this test.

#include "app/form1.h"
#include "lookup/curlfunctions.h"
#include "lookup/curlrunner.h"
#include "results/resultslist.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/scheduler.h"
#include "support/form1fixture.h"
#include "support/loopbackserver.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QHostAddress>
#include <QMap>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <array>
#include <cstdint>
#include <dirent.h>
#include <memory>
#include <random>
#include <unistd.h>

namespace {

constexpr int TargetLogs = 300;
constexpr int BaselineLogs = 50; // memory and descriptors are measured from here on
constexpr int ProgressEvery = 50;
// Every log waits a full tick of one second before it starts, so 300 logs take 300 s before
// any fault adds its pause; about 335 s is usual. The rest is room for a busy machine running
// other tests beside this one.
constexpr qint64 DeadlineMs = 420'000;
constexpr qint64 LongestGapMs = 30'000; // without a finished log
constexpr qint64 ResidentGrowthKiB = 10 * 1024;
// Descriptors that may come and go without leaking: the server's side of a connection the
// client has already left (it closes on the next pass of the event loop), a save being put
// in place, and one that Qt opens on first use.
constexpr int DescriptorSlack = 3;
constexpr qint64 SettleMs = 200; // after a log, before the next tick can start one
constexpr qint64 ExportWaitMs = 10'000;

constexpr std::uint32_t ServiceSeed = 0x7a61'1e0d;
constexpr std::uint32_t UserSeed = 0x05ee'd2c4;

const QString Key = QStringLiteral("soak-key-0123");

// How the service answers one connection.
enum class Fault { Good, RateLimited, ServerError, Slow, BadBytes, Closed, Cut, Junk };
constexpr int FaultCount = 8;
const char *const FaultNames[FaultCount]
    = {"good", "429", "500", "slow", "non-UTF-8", "closed", "cut", "junk"};
// Out of 40 connections: three need another run (each costs a second's pause), two are slow.
constexpr int FaultWeights[FaultCount] = {29, 2, 2, 2, 2, 1, 1, 1};

// The client gets nothing it keeps, and the lookup tries again after a pause.
bool leavesNoAnswer(Fault fault)
{
    return fault == Fault::Closed || fault == Fault::Cut || fault == Fault::Junk;
}

constexpr qint64 JunkBytes = 2 * 1024 * 1024;
constexpr qsizetype JunkChunk = 64 * 1024;

// The same answer with the city in Latin-1 and bytes that are no UTF-8 at all.
QByteArray badBytesAnswer()
{
    QByteArray body = LoopbackServer::prettyAnswer();
    body.replace("S\xc3\xa3o", "S\xe3o");
    body.replace("AS64500 Example Networks", "AS64500 \xff\xfe\x80\xc0\xaf");
    return body;
}

QByteArray serverErrorPage()
{
    return "<!DOCTYPE html>\n<html><head><title>500 Internal Server Error</title></head>\n"
           "<body><h1>Internal Server Error</h1><p>Something went wrong.</p></body></html>\n";
}

const QStringList GoodCells = {QStringLiteral(" BR"),
                               QStringLiteral(u" São Paulo"),
                               QStringLiteral(u" São Paulo"),
                               QStringLiteral(" 01000-000"),
                               QStringLiteral(" -23.5475, -46.6361"),
                               QStringLiteral(" America/Sao_Paulo")};
// The undecodable byte becomes one replacement character.
const QStringList BadBytesCells = {QStringLiteral(" BR"),
                                   QStringLiteral(u" S\uFFFDo Paulo"),
                                   QStringLiteral(u" S\uFFFDo Paulo"),
                                   QStringLiteral(" 01000-000"),
                                   QStringLiteral(" -23.5475, -46.6361"),
                                   QStringLiteral(" America/Sao_Paulo")};
const QStringList EmptyCells(6);

QStringList expectedCells(Fault lastFault)
{
    switch (lastFault) {
    case Fault::Good:
    case Fault::Slow:
        return GoodCells;
    case Fault::BadBytes:
        return BadBytesCells;
    default:
        return EmptyCells;
    }
}

QStringList locationCells(const ResultsList &results, int row)
{
    QStringList cells;
    for (int column = ResultsList::Country; column <= ResultsList::Timezone; ++column)
        cells << results.cell(row, column);
    return cells;
}

// VmRSS of this process, or -1.
qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Open file descriptors of this process, or -1.
int openDescriptors()
{
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count - 1; // the listing's own
}

// This process's children, alive or not yet reaped: pid to "(name) state".
QMap<qint64, QByteArray> childProcesses()
{
    QMap<qint64, QByteArray> children;
    const qint64 self = getpid();
    DIR *dir = opendir("/proc");
    if (!dir)
        return children;
    while (const dirent *entry = readdir(dir)) {
        bool numeric = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue; // gone meanwhile
        const QByteArray text = stat.readAll();
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const qsizetype nameEnd = text.lastIndexOf(')');
        if (nameEnd < 0)
            continue;
        const QList<QByteArray> fields = text.mid(nameEnd + 2).split(' ');
        if (fields.size() >= 2 && fields.at(1).toLongLong() == self)
            children.insert(pid,
                            text.mid(text.indexOf('('), nameEnd - text.indexOf('(') + 1) + ' '
                                + fields.at(0));
    }
    closedir(dir);
    return children;
}

QString describe(const QMap<qint64, QByteArray> &processes)
{
    QStringList parts;
    for (auto it = processes.cbegin(); it != processes.cend(); ++it)
        parts << QStringLiteral("%1 %2").arg(it.key()).arg(QString::fromLocal8Bit(it.value()));
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
}

// Plays the geolocation service on 127.0.0.1, choosing for every connection, from a fixed
// seed, how to answer it.
class FaultyServer : public QObject
{
public:
    FaultyServer(std::uint32_t seed, const QString &expectedPath)
        : m_random(seed),
          m_pick(std::begin(FaultWeights), std::end(FaultWeights)),
          m_delay(300, 800),
          m_requestLine("GET " + expectedPath.toUtf8() + " HTTP/1.1")
    {
        m_junk.resize(JunkChunk);
        for (char &c : m_junk)
            c = char(m_random() & 0xff);
        connect(&m_server, &QTcpServer::newConnection, this, &FaultyServer::onNewConnection);
    }

    ~FaultyServer() override
    {
        m_server.close();
        for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>()) {
            socket->disconnect(this);
            socket->abort();
        }
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString baseUrl() const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }

    int connections() const { return m_connections; }
    int openNow() const { return m_open; }
    int mostOpenAtOnce() const { return m_mostOpen; }
    Fault lastFault() const { return m_last; }
    int count(Fault fault) const { return m_counts[size_t(fault)]; }
    int slowestMs() const { return m_slowest; }
    // Request lines that were not the lookup the program should send.
    const QList<QByteArray> &strayRequests() const { return m_stray; }

private:
    void onNewConnection()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            ++m_connections;
            m_mostOpen = std::max(m_mostOpen, ++m_open);
            const auto fault = Fault(m_pick(m_random));
            ++m_counts[size_t(fault)];
            m_last = fault;

            connect(socket, &QObject::destroyed, this, [this] { --m_open; });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            // No client keeps a connection here for long, whatever it does.
            QTimer::singleShot(15000, socket, [socket] {
                socket->abort();
                socket->deleteLater();
            });
            if (fault == Fault::Closed) {
                socket->close();
                socket->deleteLater();
                continue;
            }
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket, fault] { onReadyRead(socket, fault); });
        }
    }

    void onReadyRead(QTcpSocket *socket, Fault fault)
    {
        const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        const QByteArray line = request.left(request.indexOf("\r\n"));
        if (line != m_requestLine)
            m_stray << line;

        switch (fault) {
        case Fault::Good:
            reply(socket, 200, "application/json; charset=utf-8", LoopbackServer::prettyAnswer());
            return;
        case Fault::RateLimited:
            reply(socket, 429, "application/json; charset=utf-8",
                  LoopbackServer::rateLimitAnswer());
            return;
        case Fault::ServerError:
            reply(socket, 500, "text/html", serverErrorPage());
            return;
        case Fault::BadBytes:
            reply(socket, 200, "application/json; charset=utf-8", badBytesAnswer());
            return;
        case Fault::Slow: {
            const int delay = m_delay(m_random);
            m_slowest = std::max(m_slowest, delay);
            QTimer::singleShot(delay, socket, [this, socket] {
                reply(socket, 200, "application/json; charset=utf-8",
                      LoopbackServer::prettyAnswer());
            });
            return;
        }
        case Fault::Cut: {
            const QByteArray body = LoopbackServer::prettyAnswer();
            socket->write(head(200, "application/json; charset=utf-8", body.size()));
            socket->write(body.left(body.size() / 2));
            socket->flush();
            socket->abort();
            socket->deleteLater();
            return;
        }
        case Fault::Junk:
            // Half the time announced, so the client can refuse it at once; otherwise it only
            // learns the size by reading.
            sendJunk(socket, (m_random() & 1) != 0);
            return;
        case Fault::Closed:
            return;
        }
    }

    static QByteArray head(int status, const QByteArray &type, qint64 length)
    {
        QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + " Soak\r\n";
        text += "Content-Type: " + type + "\r\n";
        if (length >= 0)
            text += "Content-Length: " + QByteArray::number(length) + "\r\n";
        return text + "Connection: close\r\n\r\n";
    }

    static void reply(QTcpSocket *socket, int status, const QByteArray &type,
                      const QByteArray &body)
    {
        socket->write(head(status, type, body.size()) + body);
        socket->disconnectFromHost();
    }

    void sendJunk(QTcpSocket *socket, bool announced)
    {
        socket->write(head(200, "application/octet-stream", announced ? JunkBytes : -1));
        // Fed as the client reads, so the junk never sits here in one piece.
        auto left = std::make_shared<qint64>(JunkBytes);
        auto feed = [this, socket, left] {
            while (*left > 0 && socket->bytesToWrite() < 2 * JunkChunk) {
                const qint64 piece = std::min<qint64>(*left, JunkChunk);
                socket->write(m_junk.constData(), piece);
                *left -= piece;
            }
            if (*left == 0) {
                *left = -1;
                socket->disconnectFromHost();
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, feed);
        feed();
    }

    std::mt19937 m_random;
    std::discrete_distribution<int> m_pick;
    std::uniform_int_distribution<int> m_delay;
    QByteArray m_requestLine;
    QByteArray m_junk;
    int m_connections = 0;
    int m_open = 0;
    int m_mostOpen = 0;
    int m_slowest = 0;
    Fault m_last = Fault::Good;
    std::array<int, FaultCount> m_counts {};
    QList<QByteArray> m_stray;
    QTcpServer m_server; // last: its connections go before the counts they update
};

// Variables that could send the client elsewhere; the loopback service is reached directly.
const char *const ClientVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                       "all_proxy",  "ALL_PROXY",  "CURL_HOME"};

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void logsForMinutesUnderFaults();

private:
    // Records the first thing that went wrong and ends the run.
    void fail(const QString &what);

    void onRunStarted(int run, qint64 pid);
    void onLogFinished(int row);
    void watch();
    void actLikeUser();
    bool exportSettled();
    int tickedRows() const;
    void sample(qint64 &resident, int &descriptors);

    std::unique_ptr<FaultyServer> m_server;
    // The window, its private world and its dialogs; it goes before the server it talks to.
    std::unique_ptr<Form1Fixture> m_window;
    QEventLoop *m_loop = nullptr;
    QString m_failure;
    bool m_stopping = false;

    QElapsedTimer m_elapsed;
    QElapsedTimer m_sinceLog;
    qint64 m_longestGapMs = 0;
    int m_runs = 0;
    int m_logsStarted = 0;
    int m_logsFinished = 0;
    int m_rowsInserted = 0;
    int m_runsThisLog = 0;
    int m_mostRunsInOneLog = 0;
    int m_retries = 0;
    int m_gaveUp = 0;

    qint64 m_baselineResident = -1;
    int m_baselineDescriptors = -1;
    qint64 m_endResident = -1;
    int m_endDescriptors = -1;

    // The user.
    std::mt19937 m_user {UserSeed};
    QTimer m_userTimer;
    enum class Export { None, Copy, Save };
    Export m_export = Export::None;
    int m_exportTicked = 0;
    qsizetype m_noticesBefore = 0;
    QString m_savePath;
    QElapsedTimer m_exportSince;
    int m_ticks = 0, m_copies = 0, m_saves = 0, m_clears = 0;
};

void TestSoak::initTestCase()
{
    for (const char *name : ClientVariables)
        qunsetenv(name);
    qputenv("NO_PROXY", "127.0.0.1");
    qputenv("no_proxy", "127.0.0.1");
    // Nothing may reach the public service, whatever happens to the base set below.
    qputenv("TROVANEL_SERVICE_URL", "http://127.0.0.1:9");
    if (QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty())
        QSKIP("the curl program is not on the PATH");
}

void TestSoak::fail(const QString &what)
{
    if (m_failure.isEmpty())
        m_failure = QStringLiteral("after %1 logs, %2 s: %3")
                        .arg(m_logsFinished)
                        .arg(m_elapsed.elapsed() / 1000.0, 0, 'f', 1)
                        .arg(what);
    if (m_loop)
        m_loop->quit();
}

void TestSoak::onRunStarted(int run, qint64 pid)
{
    // Every earlier run reached the service exactly once before it ended.
    if (m_server->connections() != m_runs)
        fail(
            QStringLiteral("%1 runs made %2 connections").arg(m_runs).arg(m_server->connections()));
    ++m_runs;
    if (run == 1) {
        if (m_logsStarted != m_logsFinished)
            fail(QStringLiteral("a lookup started while another was in flight"));
        ++m_logsStarted;
        m_runsThisLog = 0;
    } else {
        if (m_logsStarted != m_logsFinished + 1)
            fail(QStringLiteral("run %1 started outside a lookup").arg(run));
        if (!leavesNoAnswer(m_server->lastFault()))
            fail(QStringLiteral("run %1 started although the run before had an answer (%2)")
                     .arg(run)
                     .arg(QString::fromLatin1(FaultNames[int(m_server->lastFault())])));
        ++m_retries;
    }
    ++m_runsThisLog;
    m_mostRunsInOneLog = std::max(m_mostRunsInOneLog, m_runsThisLog);

    // The client just started is the only one: the last one is gone and reaped.
    const QMap<qint64, QByteArray> children = childProcesses();
    if (children.size() != 1 || !children.contains(pid))
        fail(QStringLiteral("run %1 (pid %2) started beside other processes: %3")
                 .arg(run)
                 .arg(pid)
                 .arg(describe(children)));
}

void TestSoak::onLogFinished(int row)
{
    ++m_logsFinished;
    m_longestGapMs = std::max(m_longestGapMs, m_sinceLog.restart());

    if (m_logsFinished != m_logsStarted)
        fail(QStringLiteral("%1 logs finished but %2 started")
                 .arg(m_logsFinished)
                 .arg(m_logsStarted));
    if (m_rowsInserted != m_logsFinished)
        fail(QStringLiteral("%1 rows added for %2 logs").arg(m_rowsInserted).arg(m_logsFinished));
    if (m_window->form->parts().lookup->isBusy())
        fail(QStringLiteral("the lookup is still busy after its log finished"));

    const ResultsList *results = m_window->form->parts().results;
    if (row < 0 || row != results->rows() - 1) {
        fail(QStringLiteral("the log reported row %1 of %2").arg(row).arg(results->rows()));
    } else {
        const Fault last = m_server->lastFault();
        if (leavesNoAnswer(last)) {
            ++m_gaveUp;
            if (m_runsThisLog != m_window->form->parts().lookup->runner().config().maxRuns)
                fail(QStringLiteral("the lookup gave up after %1 runs").arg(m_runsThisLog));
        }
        const QStringList cells = locationCells(*results, row);
        if (cells != expectedCells(last))
            fail(
                QStringLiteral("a %1 answer became the row [%2]")
                    .arg(QString::fromLatin1(FaultNames[int(last)]), cells.join(QLatin1Char('|'))));
        if (results->cell(row, ResultsList::Time).isEmpty())
            fail(QStringLiteral("a row without its time"));
    }

    // The tick goes on after every log while logging is on, and only then.
    const bool ticking = m_window->form->parts().scheduler->timer().isActive();
    if (ticking == m_stopping)
        fail(m_stopping ? QStringLiteral("the tick came back after logging was switched off")
                        : QStringLiteral("the tick did not come back after a log"));

    if (m_logsFinished % ProgressEvery == 0)
        qInfo("soak: %d logs in %.1f s (%d runs, %d connections, RSS %lld KiB, %d fds)",
              m_logsFinished, m_elapsed.elapsed() / 1000.0, m_runs, m_server->connections(),
              residentKiB(), openDescriptors());

    if (m_logsFinished == BaselineLogs)
        QTimer::singleShot(SettleMs, this,
                           [this] { sample(m_baselineResident, m_baselineDescriptors); });
    if (m_logsFinished == TargetLogs) {
        QTimer::singleShot(SettleMs, this, [this] {
            sample(m_endResident, m_endDescriptors);
            if (m_loop)
                m_loop->quit();
        });
    }
}

void TestSoak::sample(qint64 &resident, int &descriptors)
{
    resident = residentKiB();
    descriptors = openDescriptors();
    if (resident <= 0 || descriptors <= 0)
        fail(QStringLiteral("/proc/self cannot be read"));
}

void TestSoak::watch()
{
    if (m_sinceLog.elapsed() > LongestGapMs)
        fail(QStringLiteral("no log finished for %1 s").arg(m_sinceLog.elapsed() / 1000));
    if (m_elapsed.elapsed() > DeadlineMs)
        fail(QStringLiteral("only %1 of %2 logs in %3 s")
                 .arg(m_logsFinished)
                 .arg(TargetLogs)
                 .arg(DeadlineMs / 1000));
    if (m_server->mostOpenAtOnce() > 1)
        fail(QStringLiteral("%1 connections were open at once").arg(m_server->mostOpenAtOnce()));
    if (!m_server->strayRequests().isEmpty())
        fail(QStringLiteral("the service was asked \"%1\"")
                 .arg(QString::fromLatin1(m_server->strayRequests().constFirst())));
    if (!m_window->env.reports().isEmpty())
        fail(QStringLiteral("an error was reported: %1 %2 line %3: %4")
                 .arg(m_window->env.reports().constFirst().module,
                      m_window->env.reports().constFirst().procedure)
                 .arg(m_window->env.reports().constFirst().line)
                 .arg(m_window->env.reports().constFirst().description));
}

int TestSoak::tickedRows() const
{
    int ticked = 0;
    for (int row = 0; row < m_window->form->parts().results->rows(); ++row)
        ticked += m_window->form->parts().results->isChecked(row) ? 1 : 0;
    return ticked;
}

// True once the copy or save started last has finished, and checks what it produced.
bool TestSoak::exportSettled()
{
    if (m_export == Export::None)
        return true;
    bool done = false;
    if (m_export == Export::Copy && m_window->dialogs.notices.size() > m_noticesBefore) {
        done = true;
        if (!m_window->dialogs.notices.constLast().startsWith(
                QStringLiteral("Results have been copied")))
            fail(QStringLiteral("after a copy the user was told \"%1\"")
                     .arg(m_window->dialogs.notices.constLast()));
        const QString text = QGuiApplication::clipboard()->text();
        if (m_exportTicked > 0 && text.count(QStringLiteral("\r\n")) != m_exportTicked)
            fail(QStringLiteral("%1 ticked rows became %2 lines on the clipboard")
                     .arg(m_exportTicked)
                     .arg(text.count(QStringLiteral("\r\n"))));
    } else if (m_export == Export::Save && QFile::exists(m_savePath)) {
        done = true;
        QFile file(m_savePath);
        const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (!text.startsWith("Time") || text.count("\r\n") != m_exportTicked + 1)
            fail(QStringLiteral("%1 ticked rows were saved as %2 lines")
                     .arg(m_exportTicked)
                     .arg(text.count("\r\n")));
        file.close();
        QFile::remove(m_savePath);
    }
    if (done) {
        m_export = Export::None;
        return true;
    }
    if (m_exportSince.elapsed() > ExportWaitMs)
        fail(QStringLiteral("a %1 never finished")
                 .arg(m_export == Export::Copy ? QStringLiteral("copy") : QStringLiteral("save")));
    return false;
}

void TestSoak::actLikeUser()
{
    m_userTimer.start(std::uniform_int_distribution<int>(1000, 3000)(m_user));
    if (!exportSettled())
        return;

    ResultsList *results = m_window->form->parts().results;
    const int choice = std::uniform_int_distribution<int>(0, 99)(m_user);
    if (choice < 50) {
        if (results->rows() == 0)
            return;
        const int count = std::uniform_int_distribution<int>(1, 3)(m_user);
        for (int i = 0; i < count; ++i) {
            const int row = std::uniform_int_distribution<int>(0, results->rows() - 1)(m_user);
            const bool tick = std::uniform_int_distribution<int>(0, 4)(m_user) != 0;
            if (!results->setData(results->index(row, 0), tick ? Qt::Checked : Qt::Unchecked,
                                  Qt::CheckStateRole)
                || results->isChecked(row) != tick)
                fail(QStringLiteral("row %1 would not take its tick").arg(row));
            ++m_ticks;
        }
    } else if (choice < 65) {
        m_export = Export::Copy;
        m_exportTicked = tickedRows();
        m_noticesBefore = m_window->dialogs.notices.size();
        m_exportSince.start();
        ++m_copies;
        m_window->click("PushButton5");
    } else if (choice < 80) {
        m_export = Export::Save;
        m_exportTicked = tickedRows();
        m_savePath = m_window->env.root() + QStringLiteral("/saved-%1.txt").arg(m_saves);
        m_window->dialogs.saveAnswers << m_savePath;
        m_exportSince.start();
        ++m_saves;
        m_window->click("PushButton4");
        if (!m_window->dialogs.saveAnswers.isEmpty())
            fail(QStringLiteral("the save did not ask where to save"));
    } else if (choice < 88) {
        ++m_clears;
        m_window->click("PushButton1");
        if (results->rows() != 0)
            fail(QStringLiteral("%1 rows left after Clear Results").arg(results->rows()));
    }
}

void TestSoak::logsForMinutesUnderFaults()
{
    // The real clock, tick and tray; the window is made once the service is up.
    m_window = std::make_unique<Form1Fixture>(
        Form1Fixture::Options {.presets = {"APIKey=" + Key, "Text1=0", "Text2=0", "Text3=0",
                                           "Option3=True", "StartStopState=On"},
                               .loopback = false,
                               .muteTick = false,
                               .tray = std::nullopt,
                               .open = false});

    m_server = std::make_unique<FaultyServer>(ServiceSeed, QStringLiteral("/geo?token=") + Key);
    QVERIFY(m_server->listen());
    m_window->make();

    CurlRunner &runner = m_window->form->parts().lookup->runner();
    CurlRunnerConfig config = runner.config();
    // Nothing here hangs, but should it, the run ends well before the gap check fires.
    config.connectTimeoutSeconds = 5;
    config.maxTimeSeconds = 5;
    runner.setConfig(config);
    runner.setServiceBase(m_server->baseUrl());

    connect(&runner, &CurlRunner::runStarted, this, &TestSoak::onRunStarted);
    connect(m_window->form->parts().lookup, &CurlFunctions::logFinished, this,
            &TestSoak::onLogFinished);
    connect(
        m_window->form->parts().results, &QAbstractItemModel::rowsInserted, this,
        [this](const QModelIndex &, int first, int last) { m_rowsInserted += last - first + 1; });

    m_elapsed.start();
    m_sinceLog.start();
    m_window->load();
    m_window->form->show();
    QVERIFY(m_window->form->parts().schedule->isOn());
    QVERIFY(m_window->form->parts().scheduler->timer().isActive());
    QVERIFY2(m_window->env.reports().isEmpty(),
             qPrintable(m_window->env.reports().value(0).description));
    QCOMPARE(m_window->dialogs.questions.size(), 0); // the key is there: no offer

    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, this, &TestSoak::watch);
    watchdog.start(1000);
    m_userTimer.setSingleShot(true);
    connect(&m_userTimer, &QTimer::timeout, this, &TestSoak::actLikeUser);
    m_userTimer.start(1500);

    QEventLoop loop;
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    watchdog.stop();
    m_userTimer.stop();
    QVERIFY2(m_failure.isEmpty(), qPrintable(m_failure));
    const qint64 elapsedMs = m_elapsed.elapsed();

    // Logging off: a log in flight may finish, and then nothing more starts.
    m_stopping = true;
    m_window->click("PushButton2");
    QVERIFY(!m_window->form->parts().schedule->isOn());
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->form->parts().lookup->isBusy(), 60'000);
    const int runsAtStop = m_runs;
    QTest::qWait(1500);
    QCOMPARE(m_runs, runsAtStop);
    QVERIFY2(m_failure.isEmpty(), qPrintable(m_failure));
    QVERIFY(!m_window->form->parts().scheduler->timer().isActive());
    exportSettled();
    QVERIFY2(m_failure.isEmpty(), qPrintable(m_failure));

    qInfo("soak: %d logs in %.1f s; %d runs (%d repeated, %d lookups gave up, at most %d in one "
          "log); longest gap %.1f s",
          m_logsFinished, elapsedMs / 1000.0, m_runs, m_retries, m_gaveUp, m_mostRunsInOneLog,
          m_longestGapMs / 1000.0);
    QStringList faults;
    for (int f = 0; f < FaultCount; ++f)
        faults << QStringLiteral("%1 %2")
                      .arg(QString::fromLatin1(FaultNames[f]))
                      .arg(m_server->count(Fault(f)));
    qInfo("soak: answers: %s; slowest %d ms; most connections open at once %d",
          qPrintable(faults.join(QStringLiteral(", "))), m_server->slowestMs(),
          m_server->mostOpenAtOnce());
    qInfo("soak: user: %d ticks, %d copies, %d saves, %d clears", m_ticks, m_copies, m_saves,
          m_clears);
    qInfo("soak: RSS %lld KiB after %d logs, %lld KiB after %d; descriptors %d and %d",
          m_baselineResident, BaselineLogs, m_endResident, TargetLogs, m_baselineDescriptors,
          m_endDescriptors);

    QVERIFY(m_logsFinished >= TargetLogs);
    QCOMPARE(m_logsStarted, m_logsFinished);
    QCOMPARE(m_rowsInserted, m_logsFinished);
    QCOMPARE(m_server->connections(), m_runs);
    QVERIFY(m_server->mostOpenAtOnce() <= 1);
    // Every kind of answer came up, or the soak did not test what it claims.
    for (int f = 0; f < FaultCount; ++f)
        QVERIFY2(m_server->count(Fault(f)) > 0, FaultNames[f]);
    QVERIFY(m_copies > 0 && m_saves > 0 && m_clears > 0 && m_ticks > 0);
    QVERIFY2(m_window->env.reports().isEmpty(),
             qPrintable(m_window->env.reports().value(0).description));

    QVERIFY(m_baselineResident > 0 && m_endResident > 0);
    QVERIFY2(m_endResident - m_baselineResident <= ResidentGrowthKiB,
             qPrintable(QStringLiteral("RSS grew from %1 KiB to %2 KiB")
                            .arg(m_baselineResident)
                            .arg(m_endResident)));
    QVERIFY(m_baselineDescriptors > 0 && m_endDescriptors > 0);
    QVERIFY2(m_endDescriptors - m_baselineDescriptors <= DescriptorSlack,
             qPrintable(QStringLiteral("%1 descriptors open after %2 logs, %3 after %4")
                            .arg(m_baselineDescriptors)
                            .arg(BaselineLogs)
                            .arg(m_endDescriptors)
                            .arg(TargetLogs)));

    // No client left behind, running or unreaped; nor once the window is gone.
    QTest::qWait(500);
    QMap<qint64, QByteArray> children = childProcesses();
    QVERIFY2(children.isEmpty(), qPrintable(describe(children)));
    m_window->form.reset();
    QTest::qWait(200);
    children = childProcesses();
    QVERIFY2(children.isEmpty(), qPrintable(describe(children)));
    QVERIFY2(m_window->env.reports().isEmpty(),
             qPrintable(m_window->env.reports().value(0).description));
    m_server.reset();
    m_window.reset();
}

int main(int argc, char *argv[])
{
    // The soak runs longer than QtTest's five minutes per test function; its own deadline
    // ends it well before this.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "570000");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestSoak test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soak.moc"
