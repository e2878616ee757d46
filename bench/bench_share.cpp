// One complete log with sharing on (the message made and queued for a location server that is
// stopped: a dead loopback port) against the same log with sharing off, from the same loopback
// lookup service, rounds taken in turn. Prints the time until the row appears and the ratio
// on / off. Then the next message taken from the kept history's outbox and the messages counted,
// with 100,000 waiting against 10 waiting, in turn: the ratio must stay flat. Usage: bench_share
// [ROUNDS]

#include "app/sharing.h"
#include "lookup/curlfunctions.h"
#include "results/historystore.h"
#include "results/resultslist.h"
#include "share/sharer.h"
#include "share/sharingtable.h"
#include "share/storedsharequeue.h"

#include "benchmain.h"
#include "serverthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

const QByteArray Body = R"({"_type":"location","acc":50000,"addr":"Berlin, Berlin, DE","cc":"DE",)"
                        R"("conn":"w","created_at":1765000100,"lat":52.5244,"lon":13.4105,)"
                        R"("t":"p","tid":"LA","tst":1765000000})";

// A kept history at path with `count` messages waiting, written in one transaction.
void fillOutbox(const QString &path, int count)
{
    HistoryStore made;
    made.open(path);
    made.close();
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        db.open();
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO outbox (tst, body) VALUES (?, ?)"));
        for (int i = 0; i < count; ++i) {
            insert.addBindValue(1'765'000'000 + i);
            insert.addBindValue(Body);
            insert.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

// One step of the sender's: the oldest message taken and the rest counted (timed); then it is
// gone and a newer one waits in its place, so that as many wait at every step.
double takeNextUs(HistoryStore &store, StoredShareQueue &queue, qint64 &newest)
{
    QElapsedTimer timer;
    timer.start();
    const QList<ShareQueue::Entry> next = queue.first(1);
    const qint64 waiting = queue.count();
    const double us = double(timer.nsecsElapsed()) / 1000.0;
    if (next.isEmpty() || waiting <= 0)
        return -1;
    queue.remove(next[0].id);
    ++newest;
    store.addToOutbox(LogId {quint64(newest)}, newest, Body);
    return us;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = Bench::Count(argc, argv, 1, 40);

    const Bench::PrivateRuntime scratch;

    // The lookup service answers from a thread of its own, whatever the event loop is doing.
    const Bench::ServerThread server;

    ShareSettings settings;
    settings.mode = ShareSettings::Mode::Http;
    settings.url = QStringLiteral("http://127.0.0.1:9/");
    Sharer sharer(&MakeShareTransport);
    MemoryShareQueue memory;
    sharer.setSettings(settings);
    sharer.setQueues({&memory});

    ResultsList offRows, onRows;
    SharingTable sharing({.sharer = &sharer, .memory = &memory, .sender = [] {
                              return OwnMessage::Sender {QStringLiteral("TR"), {}};
                          }});
    // Rows as the kept results take them with nothing kept: each good row's message is made as
    // it goes in, and waits in memory.
    struct SharedRows : LogTable
    {
        ResultsList *rows;
        SharingTable *sharing;
        SharedRows(ResultsList *r, SharingTable *s) : rows(r), sharing(s) { }
        AppendedRow appendRecord(const LogRecord &record) override
        {
            const std::optional<QByteArray> message = sharing->messageFor(record);
            const AppendedRow row = rows->appendRecord(record);
            if (message)
                sharing->added(record, *message, false);
            return row;
        }
        bool joinWiFiFix(LogId log, const Fix &fix) override { return rows->joinWiFiFix(log, fix); }
    } shared(&onRows, &sharing);
    CurlFunctions off(&offRows), on(&shared);
    for (CurlFunctions *lookup : {&off, &on}) {
        lookup->ExtractWorkingFiles();
        lookup->runner().setServiceBase(server.baseUrl());
    }

    const auto log = &Bench::TimeOneLog;

    // One of each first, so that caches and the dynamic loader count for neither.
    log(off);
    log(on);
    std::vector<double> offMs, onMs;
    for (int i = 0; i < rounds; ++i) {
        offMs.push_back(log(off));
        onMs.push_back(log(on));
    }
    for (CurlFunctions *lookup : {&off, &on})
        lookup->DeleteWorkingFiles();

    const bool queued = memory.count() == rounds + 1 && onRows.rows() == rounds + 1;
    const double offMedian = Bench::Median(offMs);
    const double onMedian = Bench::Median(onMs);
    std::printf("one complete log, %d rounds, location server stopped\n", rounds);
    std::printf("  sharing on (GetLog to row):  median %.2f ms\n", onMedian);
    std::printf("  sharing off (GetLog to row): median %.2f ms\n", offMedian);
    std::printf("  ratio on/off: %.3f (target <= 1.05)%s\n", onMedian / offMedian,
                queued ? "" : "  [messages not queued as expected]");

    // The outbox: 10 waiting against 100,000, blocks of steps in turn.
    constexpr int Few = 10, Many = 100'000, Block = 50;
    QTemporaryDir folder;
    HistoryStore few, many;
    fillOutbox(folder.filePath(QStringLiteral("few.sqlite")), Few);
    fillOutbox(folder.filePath(QStringLiteral("many.sqlite")), Many);
    few.open(folder.filePath(QStringLiteral("few.sqlite")));
    many.open(folder.filePath(QStringLiteral("many.sqlite")));
    StoredShareQueue fewQueue([&few] { return &few; }), manyQueue([&many] { return &many; });
    qint64 fewNewest = 2'000'000'000, manyNewest = 2'000'000'000;
    std::vector<double> fewUs, manyUs;
    bool taken = true;
    for (int block = 0; block < rounds * 2 + 1; ++block) {
        for (int i = 0; i < Block; ++i) {
            fewUs.push_back(takeNextUs(few, fewQueue, fewNewest));
            manyUs.push_back(takeNextUs(many, manyQueue, manyNewest));
            taken = taken && fewUs.back() >= 0 && manyUs.back() >= 0;
        }
    }
    const bool counted = fewQueue.count() == Few && manyQueue.count() == Many;
    const double fewMedian = Bench::Median(fewUs), manyMedian = Bench::Median(manyUs);
    std::printf("the next message taken from the kept history and the rest counted, %zu steps\n",
                fewUs.size());
    std::printf("  %d waiting: median %.1f us\n", Many, manyMedian);
    std::printf("  %d waiting:      median %.1f us\n", Few, fewMedian);
    std::printf("  ratio %d/%d: %.3f (target <= 1.5)%s\n", Many, Few, manyMedian / fewMedian,
                taken && counted ? "" : "  [messages not taken or counted as expected]");
    return queued && taken && counted ? 0 : 1;
}
