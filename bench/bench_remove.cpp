// Removing rows the user selected from a large kept history, against the sqlite3 command-line
// program deleting the same rows by key from a copy of the same file, in one transaction:
// ours takes them out of the results list and its view too, and holds them aside so that the
// removal can be undone. Prints the medians, the ratio ours / baseline (target <= 2.0) and the
// longest time the event loop went without a turn while ours ran (target < 50 ms).
// Usage: bench_remove [ROWS [SELECTED [ROUNDS]]]

#include "app/resultsview.h"
#include "core/failure.h"
#include "results/historystore.h"
#include "results/keptresults.h"
#include "results/resultslist.h"
#include "results/rowcorrections.h"

#include "benchmain.h"
#include "freshhistory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench_remove: %s\n", what);
    std::exit(1);
}

double seconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

void makeHistory(const QString &path, int rows)
{
    HistoryStore store;
    try {
        store.open(path);
        for (int done = 0; done < rows;) {
            QList<LogRecord> batch;
            for (int i = 0; i < 20000 && done < rows; ++i, ++done)
                batch.append(Bench::LoggedRow(done));
            store.addAll(batch, {});
        }
    } catch (const Failure &failure) {
        fail(failure.what());
    }
}

// The baseline: one sqlite3 run deleting the rows of these keys in one transaction, with the
// same journal and the same care for the disk as ours.
double sqliteDelete(const QString &path, const QList<int> &keys)
{
    QStringList list;
    for (const int key : keys)
        list << QString::number(key);
    const QByteArray script = QStringLiteral("PRAGMA synchronous=FULL; BEGIN; DELETE FROM rows "
                                             "WHERE id IN (%1); COMMIT;\n")
                                  .arg(list.join(u','))
                                  .toUtf8();
    QProcess sqlite;
    QElapsedTimer clock;
    clock.start();
    sqlite.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), path});
    sqlite.write(script);
    sqlite.closeWriteChannel();
    if (!sqlite.waitForFinished(600'000) || sqlite.exitCode() != 0)
        fail("sqlite3 failed to delete");
    return seconds(clock);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen").toUtf8());
    QApplication app(argc, argv);
    const int rows = Bench::Count(argc, argv, 1, 1'000'000);
    const int selected = Bench::Count(argc, argv, 2, 10'000);
    const int rounds = Bench::Count(argc, argv, 3, 5);
    if (selected > rows)
        fail("usage: bench_remove [ROWS [SELECTED [ROUNDS]]]");
    Bench::Tool("sqlite3", "sqlite3");
    QTemporaryDir folder;
    if (!folder.isValid())
        fail("no temporary folder");
    const QString path = folder.filePath(QStringLiteral("history.sqlite"));
    const QString pristine = folder.filePath(QStringLiteral("pristine.sqlite"));
    const QString copy = folder.filePath(QStringLiteral("baseline.sqlite"));
    makeHistory(path, rows);
    if (!QFile::copy(path, pristine))
        fail("the history cannot be copied");

    // The rows selected, spread over the whole table; the keys of a history made at once are
    // the rows' numbers from 1.
    QList<int> picked, keys;
    for (int i = 0; i < selected; ++i) {
        picked.append(int(qint64(i) * rows / selected));
        keys.append(picked.last() + 1);
    }

    Bench::NoDialogs dialogs(true);
    ResultsList table;
    ResultsView view(&table);
    view.resize(800, 400);
    view.show();
    KeptResults kept(&table, &dialogs);
    kept.setStorePath(path);
    {
        QEventLoop loop;
        QObject::connect(&kept, &KeptResults::loaded, &loop, &QEventLoop::quit);
        kept.start(true);
        loop.exec();
    }
    if (table.rows() != rows)
        fail("the rows did not come back");
    RowCorrections corrections(&table, &kept);

    std::vector<double> ours, baseline;
    qint64 longest = 0;
    for (int round = 0; round < rounds; ++round) {
        QFile::remove(copy);
        QFile::remove(copy + QStringLiteral("-wal"));
        if (!QFile::copy(pristine, copy))
            fail("the history cannot be copied");
        baseline.push_back(sqliteDelete(copy, keys));

        // The longest the event loop goes without a turn, the view drawn again included.
        QTimer watch;
        QElapsedTimer sinceTurn, clock;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTurn.nsecsElapsed());
            sinceTurn.start();
        });
        sinceTurn.start();
        watch.start(0);
        QTimer::singleShot(0, [&] {
            clock.start();
            if (!corrections.remove(picked))
                fail("the rows were not removed");
            ours.push_back(seconds(clock));
        });
        for (QElapsedTimer settle; !settle.isValid() || settle.elapsed() < 200;) {
            if (!settle.isValid() && !ours.empty() && int(ours.size()) == round + 1)
                settle.start();
            QApplication::processEvents();
        }
        watch.stop();
        if (table.rows() != rows - selected || kept.store().count() != rows - selected)
            fail("not every row was removed");
        if (!corrections.undoRemove() || table.rows() != rows)
            fail("the rows did not come back");
    }
    // The history's part alone: one transaction, its commit made durable before it returns.
    QList<LogId> logs;
    for (const int row : std::as_const(picked))
        logs.append(table.id(row));
    std::vector<double> transaction;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        kept.store().remove(logs);
        transaction.push_back(seconds(clock));
        kept.store().putBack();
    }
    const double a = Bench::Median(ours), b = Bench::Median(baseline);
    std::printf("of which the history's one transaction %.1f ms\n",
                Bench::Median(transaction) * 1e3);
    std::printf("remove %d of %d kept rows: ours %.1f ms, baseline sqlite3 delete by key %.1f ms, "
                "ratio %.3f (target <= 2.0); longest stall %.1f ms (target < 50)\n",
                selected, rows, a * 1e3, b * 1e3, a / b, double(longest) / 1e6);
    return 0;
}
