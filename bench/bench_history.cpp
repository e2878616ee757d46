// The kept history against the sqlite3 command-line program on the same schema:
//   (a) committing one row as a log does (through the window's results layer), against
//       `sqlite3 DB "INSERT ..."` of the same row into a file made the same way; medians;
//   (b) bringing ROWS kept rows back into the window's results list and view, against
//       `sqlite3 -batch DB 'select * from rows' > /dev/null`, and the longest time the event
//       loop went without a turn meanwhile.
// Prints the times, the ratios ours / baseline (targets: (a) <= 1.0, (b) <= 2.0) and the stall
// (target < 50 ms).
// Usage: bench_history [ROWS [COMMITS]]

#include "app/resultsview.h"
#include "core/failure.h"
#include "results/historystore.h"
#include "results/keptresults.h"
#include "results/resultslist.h"

#include "benchmain.h"
#include "freshhistory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QString sqlText(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

double seconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

void fail(const char *what)
{
    std::fprintf(stderr, "bench_history: %s\n", what);
    std::exit(1);
}

void commitOneRow(const QString &folder, int commits)
{
    Bench::NoDialogs dialogs;
    ResultsList table;
    KeptResults kept(&table, &dialogs);
    kept.setStorePath(folder + QStringLiteral("/ours.sqlite"));
    {
        QEventLoop loop;
        QObject::connect(&kept, &KeptResults::loaded, &loop, &QEventLoop::quit);
        kept.start(true);
        loop.exec();
    }
    HistoryStore baselineFile; // the same schema, journal and settings, made the same way
    try {
        baselineFile.open(folder + QStringLiteral("/baseline.sqlite"));
    } catch (const Failure &failure) {
        fail(failure.what());
    }
    baselineFile.close();

    const LogRecord record = Bench::LoggedRow(1);
    QStringList values {sqlText(record.instant.toUTC().toString(Qt::ISODateWithMs)),
                        QString::number(record.instant.offsetFromUtc()), sqlText(record.timeText)};
    for (const QString &cell : record.cells)
        values << sqlText(cell);
    values << sqlText(QString()) << QString::number(record.httpStatus)
           << QStringLiteral("CAST(%1 AS BLOB)").arg(sqlText(QString::fromUtf8(record.answer)))
           << QStringLiteral("0")
           // each row names its log, as ours does
           << QStringLiteral("(SELECT ifnull(max(log), 0) + 1 FROM rows)");
    const QString insert
        = QStringLiteral("INSERT INTO rows (instant_utc, utc_offset, time_text, country, region, "
                         "city, postal_code, coordinates, timezone, failure, http_status, answer, "
                         "ticked, log) VALUES (%1)")
              .arg(values.join(u','));

    std::vector<double> ours, baseline;
    for (int i = 0; i < commits; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (kept.appendRecord(record).row < 0)
            fail("a row did not show");
        ours.push_back(seconds(clock));

        clock.start();
        const int exit = QProcess::execute(QStringLiteral("sqlite3"),
                                           {folder + QStringLiteral("/baseline.sqlite"), insert});
        baseline.push_back(seconds(clock));
        if (exit != 0)
            fail("sqlite3 failed to insert");
    }
    if (kept.store().count() != commits)
        fail("not every row was kept");
    const double a = Bench::Median(ours), b = Bench::Median(baseline);
    std::printf("commit one row: ours %.3f ms, baseline sqlite3 insert %.3f ms, ratio %.3f "
                "(target <= 1.0)\n",
                a * 1e3, b * 1e3, a / b);
}

void loadRows(const QString &folder, int rows)
{
    const QString path = folder + QStringLiteral("/large.sqlite");
    {
        HistoryStore store;
        try {
            store.open(path);
            for (int done = 0; done < rows;) {
                QList<LogRecord> batch;
                for (int i = 0; i < 20000 && done < rows; ++i, ++done)
                    batch.append(Bench::LoggedRow(done));
                QList<bool> ticked(batch.size());
                for (qsizetype i = 0; i < ticked.size(); i += 2)
                    ticked[i] = true;
                store.addAll(batch, ticked);
            }
        } catch (const Failure &failure) {
            fail(failure.what());
        }
    }
    // Both read a file the system has cached already.
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            while (!file.read(1 << 20).isEmpty()) { }
    }

    QProcess sqlite;
    sqlite.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    sqlite.start(QStringLiteral("sqlite3"),
                 {QStringLiteral("-batch"), path, QStringLiteral("select * from rows")});
    if (!sqlite.waitForFinished(600'000) || sqlite.exitCode() != 0)
        fail("sqlite3 failed to read");
    const double baseline = seconds(clock);

    Bench::NoDialogs dialogs;
    ResultsList table;
    ResultsView view(&table);
    view.resize(800, 400);
    view.show();
    // The window is on screen and drawn before its rows come back, as at start-up.
    for (QElapsedTimer shown; !shown.isValid() || shown.elapsed() < 300;) {
        if (!shown.isValid())
            shown.start();
        QApplication::processEvents();
    }
    KeptResults kept(&table, &dialogs);
    kept.setStorePath(path);
    QEventLoop loop;
    QObject::connect(&kept, &KeptResults::loaded, &loop, &QEventLoop::quit);
    QTimer watch;
    QElapsedTimer sinceTurn;
    qint64 longest = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTurn.nsecsElapsed());
        sinceTurn.start();
    });
    clock.start();
    sinceTurn.start();
    watch.start(0);
    kept.start(true);
    loop.exec();
    const double ours = seconds(clock);
    longest = std::max(longest, sinceTurn.nsecsElapsed());
    if (table.rows() != rows || !table.isChecked(0) || table.isChecked(1))
        fail("the rows did not come back as kept");
    std::printf("load %d rows: ours %.3f s, baseline sqlite3 select %.3f s, ratio %.3f "
                "(target <= 2.0); longest stall %.1f ms (target < 50)\n",
                rows, ours, baseline, ours / baseline, double(longest) / 1e6);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen").toUtf8());
    QApplication app(argc, argv);
    const int rows = Bench::Count(argc, argv, 1, 1'000'000);
    const int commits = Bench::Count(argc, argv, 2, 31);
    if (rows < 2 || commits < 1)
        fail("usage: bench_history [ROWS [COMMITS]]");
    QTemporaryDir folder;
    if (!folder.isValid())
        fail("no temporary folder");
    std::printf("files in %s\n", qPrintable(folder.path()));
    std::fflush(stdout);
    commitOneRow(folder.path(), commits);
    loadRows(folder.path(), rows);
    return 0;
}
