// Bringing back 100,000 points from a loopback server, as an OwnTracks recorder (a month an
// answer) and as a dawarich server (1,000 points a page), into a kept history as the program's
// restore does (the client, the import's rows, the commit), against curl fetching the same pages
// alone, one after another, in the same run. Prints the times, the ratio ours / baseline for
// each kind, and the longest the event loop waited while the points came.
// Usage: bench_restore [POINTS [ROUNDS]]

#include "app/importjob.h"
#include "results/keptresults.h"
#include "share/ownmessage.h"
#include "share/restoreclient.h"
#include "support/logrows.h"
#include "support/restoreserver.h"

#include "benchmain.h"
#include "freshhistory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

// A point every five minutes from 1 January 2026, along a slow line to the north-east.
QList<QByteArray> messages(int count)
{
    QList<QByteArray> made;
    made.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString place = QStringLiteral("%1, %2").arg(48 + i * 1e-5).arg(2 + i * 1e-5);
        LogRecord log = RecordOfCells({"t", "FR", "Paris", "Ile-de-France", "75001", place});
        log.instant = QDateTime::fromSecsSinceEpoch(1'767'225'600 + i * 300LL);
        made << OwnMessage::location(log, {QStringLiteral("BE")}, 1);
    }
    return made;
}

struct Run
{
    double ms = 0;
    double stallMs = 0; // the longest the event loop waited
    qint64 points = 0;
};

// One whole restore into a kept history of its own, and the longest gap between two turns of
// the event loop meanwhile.
Run restoreAll(RestoreClient &client, const RestoreAddress &address, const QString &history)
{
    Bench::FreshHistory fresh(history);
    ResultsList &table = fresh.table;
    KeptResults &kept = fresh.kept;
    ImportJob job(&table, &kept, &client);
    Run run;
    QEventLoop loop;
    QObject::connect(&job, &ImportJob::finished, &loop, [&loop](bool ok, const QString &text) {
        if (!ok)
            std::fprintf(stderr, "failed: %s\n", qPrintable(text));
        loop.quit();
    });
    QElapsedTimer turn, timer;
    QTimer beat;
    beat.setInterval(1);
    QObject::connect(&beat, &QTimer::timeout, &loop, [&] {
        run.stallMs = std::max(run.stallMs, turn.nsecsElapsed() / 1e6);
        turn.restart();
    });
    timer.start();
    turn.start();
    beat.start();
    job.restore(address);
    loop.exec();
    run.ms = timer.nsecsElapsed() / 1e6;
    run.stallMs = std::max(run.stallMs, turn.nsecsElapsed() / 1e6);
    run.points = kept.store().count() == table.rows() ? table.rows() : -1;
    return run;
}

// curl alone asking for each of paths in turn, its answers thrown away.
double bareCurl(const QString &curl, const QString &base, const QStringList &paths)
{
    QElapsedTimer timer;
    timer.start();
    for (const QString &path : paths) {
        QProcess process;
        process.start(curl,
                      {QStringLiteral("-q"), QStringLiteral("--silent"), QStringLiteral("--output"),
                       QStringLiteral("/dev/null"), base + path.mid(1)});
        process.waitForFinished(-1);
    }
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int count = Bench::Count(argc, argv, 1, 100'000);
    const int rounds = Bench::Count(argc, argv, 2, 3);
    const QString curl = Bench::Tool("curl", "curl");
    const QList<QByteArray> record = messages(count);
    bool whole = true;

    for (const RestoreServer::Kind kind :
         {RestoreServer::Kind::Recorder, RestoreServer::Kind::Dawarich}) {
        // The server on a thread of its own, so that it answers whatever the measured event
        // loop is doing.
        auto *server = new RestoreServer(kind);
        server->user = QStringLiteral("bench");
        server->device = QStringLiteral("laptop");
        server->key = QStringLiteral("k3y");
        for (const QByteArray &message : record)
            server->store(message);
        server->listen();
        const QString base = server->baseUrl();
        QThread thread;
        server->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, server, &QObject::deleteLater);
        thread.start();

        RestoreAddress address;
        address.base = base;
        address.user = server->user;
        address.device = server->device;
        address.apiKey = server->key;
        RestoreClient client;
        client.setAddress(address);
        QTemporaryDir scratch;
        QEventLoop probing;
        QObject::connect(&client, &RestoreClient::probed, &probing, &QEventLoop::quit);
        client.probe();
        probing.exec();

        // What the server was asked so far, read on its own thread.
        const auto asked = [server] {
            QStringList paths;
            QMetaObject::invokeMethod(
                server, [&] { paths = server->http().requestPaths(); },
                Qt::BlockingQueuedConnection);
            return paths;
        };
        std::vector<double> ours, bare;
        double longestStall = 0;
        for (int round = 0; round < rounds; ++round) {
            const qsizetype before = asked().size();
            const Run run
                = restoreAll(client, address, scratch.filePath(QStringLiteral("kept.sqlite")));
            whole = whole && run.points == count;
            ours.push_back(run.ms);
            longestStall = std::max(longestStall, run.stallMs);
            bare.push_back(bareCurl(curl, base, asked().mid(before)));
        }
        const double oursMs = Bench::Median(ours);
        const double bareMs = Bench::Median(bare);
        std::printf("%d points read back from a loopback %s, %d rounds\n", count,
                    kind == RestoreServer::Kind::Recorder ? "recorder (a month an answer)"
                                                          : "dawarich server (1,000 a page)",
                    rounds);
        std::printf("  ours (restored and kept):     median %.0f ms, longest stall %.1f ms\n",
                    oursMs, longestStall);
        std::printf("  baseline (curl, same pages):  median %.0f ms\n", bareMs);
        std::printf("  ratio ours/baseline: %.3f (target <= 2.0)%s\n", oursMs / bareMs,
                    whole ? "" : "  [not every point came]");
        thread.quit();
        thread.wait();
    }
    return whole ? 0 : 1;
}
