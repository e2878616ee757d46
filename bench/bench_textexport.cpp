// The two text exports against `column -t -s TAB` formatting the same rows:
//   (a) the spaced text file of a million-row table, half of it ticked, and the longest time
//       the event loop went without a turn while the save ran;
//   (b) the baseline: `column` on the header and the ticked rows as tab-separated lines;
//   (c) the clipboard text of 100,000 rows (half ticked) against `column` on the ticked ones.
// Prints the times, the ratios ours / baseline (target <= 1.0) and the stall (target < 50 ms).
// Usage: bench_textexport [ROWS [ROUNDS]]

#include "results/clipboardtext.h"
#include "results/textexport.h"

#include "benchmain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Place
{
    const char *country;
    const char *region;
    const char *city;
    int postalBase;
    double latitude;
    double longitude;
    const char *timezone;
};

const Place Places[] = {
    {"Germany", "Berlin", "Berlin", 10115, 52.5200, 13.4050, "Europe/Berlin"},
    {"United States", "California", "San Francisco", 94102, 37.7749, -122.4194,
     "America/Los_Angeles"},
    {"France", "Île-de-France", "Paris", 75001, 48.8566, 2.3522, "Europe/Paris"},
    {"Japan", "Tokyo", "Shinjuku", 1600022, 35.6938, 139.7034, "Asia/Tokyo"},
    {"Brazil", "São Paulo", "São Paulo", 1000000, -23.5505, -46.6333, "America/Sao_Paulo"},
    {"United Kingdom", "England", "Manchester", 0, 53.4808, -2.2426, "Europe/London"},
    {"Australia", "New South Wales", "Sydney", 2000, -33.8688, 151.2093, "Australia/Sydney"},
    {"Canada", "British Columbia", "Vancouver", 0, 49.2827, -123.1207, "America/Vancouver"},
    {"Italy", "Lombardy", "Milan", 20121, 45.4642, 9.1900, "Europe/Rome"},
    {"South Africa", "Western Cape", "Cape Town", 8001, -33.9249, 18.4241, "Africa/Johannesburg"},
    {"Argentina", "Buenos Aires", "Mar del Plata", 7600, -38.0055, -57.5426,
     "America/Argentina/Buenos_Aires"},
    {"Switzerland", "Zürich", "Winterthur", 8400, 47.4988, 8.7237, "Europe/Zurich"},
    {"India", "Maharashtra", "Mumbai", 400001, 19.0760, 72.8777, "Asia/Kolkata"},
    {"Norway", "Vestland", "Bergen", 5003, 60.3913, 5.3221, "Europe/Oslo"},
};
constexpr int PlaceCount = int(std::size(Places));

// Rows as the program logs them: one every few seconds, the place changing now and then, the
// coordinates wandering a little. Every other row is ticked.
void fillTable(ResultsList &list, int rows)
{
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    qint64 seconds = 0;
    int place = 0;
    for (int row = 0; row < rows; ++row) {
        seconds += 1 + next() % 30;
        if (next() % 16 == 0)
            place = int(next() % PlaceCount);
        const Place &at = Places[place];
        const qint64 daySeconds = 10 * 3600 + seconds;
        const QString time = QString::asprintf(
            "%02d/12/2026 %02d:%02d:%02d", int(7 + daySeconds / 86400 % 20),
            int(daySeconds / 3600 % 24), int(daySeconds / 60 % 60), int(daySeconds % 60));
        LogRecord record;
        record.timeText = time;
        const double drift = (int(next() % 2001) - 1000) / 100000.0;
        record.cells = {
            QString::fromUtf8(at.country),
            QString::fromUtf8(at.region),
            QString::fromUtf8(at.city),
            at.postalBase == 0 ? QString() : QString::number(at.postalBase + int(next() % 40)),
            QString::asprintf("%.4f, %.4f", at.latitude + drift, at.longitude - drift),
            QString::fromUtf8(at.timezone),
        };
        const int added = list.appendRecord(record).row;
        if (row % 2 == 0)
            list.setData(list.index(added, 0), Qt::Checked, Qt::CheckStateRole);
    }
}

// What `column` gets: the ticked rows, cells joined by tabs, after the captions when the
// output has them.
bool writeTabSeparated(const ResultsList &list, bool captions, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QString text;
    auto addLine = [&text](const TextExport::Cells &cells) {
        for (int column = 0; column < ResultsList::ColumnCount; ++column) {
            if (column > 0)
                text.append(u'\t');
            text.append(cells[column]);
        }
        text.append(u'\n');
    };
    if (captions)
        addLine(TextExport::CaptionCells());
    for (int row = 0; row < list.rows(); ++row) {
        if (list.isChecked(row))
            addLine(TextExport::RowCells(list, row));
    }
    return file.write(text.toUtf8()) >= 0;
}

double runColumn(const QString &column, const QString &input)
{
    QProcess process;
    process.setStandardInputFile(input);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(column, {QStringLiteral("-t"), QStringLiteral("-s"), QStringLiteral("\t")});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "column failed: %s\n", qPrintable(process.errorString()));
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e6;
}

struct SaveResult
{
    double ms = 0;
    double longestStall = 0;
    qint64 bytes = 0;
};

SaveResult runSave(const ResultsList &list, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    SpacedTextSave save(&list, &file, path);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&save, &SpacedTextSave::finished, &loop, [&](bool done, const QString &) {
        ok = done;
        loop.quit();
    });

    // A zero-time timer gets a turn on every pass of the event loop; the longest gap between
    // its turns is the longest the window would have been frozen.
    QElapsedTimer clock;
    qint64 lastTurn = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTurn);
        lastTurn = now;
    });

    clock.start();
    ticker.start();
    save.start();
    loop.exec();
    SaveResult result;
    result.ms = clock.nsecsElapsed() / 1e6;
    ticker.stop();
    longestGap = std::max(longestGap, clock.nsecsElapsed() - lastTurn);
    result.longestStall = longestGap / 1e6;
    file.close();
    result.bytes = QFileInfo(path).size();
    if (!ok) {
        std::fprintf(stderr, "save failed: %s\n", qPrintable(file.errorString()));
        std::exit(1);
    }
    return result;
}

double runCopy(const ResultsList &list, qsizetype *length)
{
    ClipboardText copy(&list);
    QEventLoop loop;
    QObject::connect(&copy, &ClipboardText::finished, &loop, [&](const QString &text) {
        *length = text.size();
        loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    copy.start();
    loop.exec();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = Bench::Count(argc, argv, 1, 1'000'000);
    const int rounds = Bench::Count(argc, argv, 2, 3);
    const int copyRows = std::min(rows, 100'000);

    const QString column = Bench::Tool("column", "bsdextrautils");
    QTemporaryDir scratch;
    const QString ours = scratch.filePath(QStringLiteral("results.txt"));
    const QString fileInput = scratch.filePath(QStringLiteral("file-input.tsv"));
    const QString copyInput = scratch.filePath(QStringLiteral("copy-input.tsv"));

    QElapsedTimer building;
    building.start();
    ResultsList list;
    fillTable(list, rows);
    ResultsList copyList;
    fillTable(copyList, copyRows);
    if (!writeTabSeparated(list, true, fileInput)
        || !writeTabSeparated(copyList, false, copyInput)) {
        std::fprintf(stderr, "cannot write the input of column\n");
        return 1;
    }
    std::printf("table: %d rows, half ticked (built in %.0f ms); %d rounds, medians\n", rows,
                building.nsecsElapsed() / 1e6, rounds);

    std::vector<double> saveMs, columnMs, copyMs, copyColumnMs;
    double longestStall = 0;
    qint64 fileBytes = 0;
    qsizetype copyLength = 0;
    for (int round = 0; round < rounds; ++round) {
        const SaveResult save = runSave(list, ours);
        saveMs.push_back(save.ms);
        longestStall = std::max(longestStall, save.longestStall);
        fileBytes = save.bytes;
        columnMs.push_back(runColumn(column, fileInput));
        copyMs.push_back(runCopy(copyList, &copyLength));
        copyColumnMs.push_back(runColumn(column, copyInput));
    }

    const double save = Bench::Median(saveMs), saveBase = Bench::Median(columnMs);
    const double copy = Bench::Median(copyMs), copyBase = Bench::Median(copyColumnMs);
    std::printf("(a) spaced text file:    %9.1f ms  (%lld bytes)\n", save,
                static_cast<long long>(fileBytes));
    std::printf("    longest stall:       %9.1f ms  (target < 50 ms)\n", longestStall);
    std::printf("(b) column -t, same rows %9.1f ms\n", saveBase);
    std::printf("    ratio ours/baseline  %9.3f     (target <= 1.0)\n", save / saveBase);
    std::printf("(c) clipboard text, %d rows: %7.1f ms  (%lld characters)\n", copyRows, copy,
                static_cast<long long>(copyLength));
    std::printf("    column -t, same rows %9.1f ms\n", copyBase);
    std::printf("    ratio ours/baseline  %9.3f     (target <= 1.0)\n", copy / copyBase);
    return 0;
}
