// The spreadsheet export of 100,000 ticked rows (gather the cells in slices of the event loop,
// write the .xlsx on a worker thread) against a bare libxlsxwriter loop writing the same cells,
// already in UTF-8, with the same constant-memory setting. Prints the medians, the ratio
// ours / baseline and the longest the event loop was held up by ours.
// Usage: bench_xlsx [ROUNDS [ROWS]]

#include "results/resultslist.h"
#include "results/spreadsheetexport.h"

#include "benchmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Cells like those a day of logging brings: a few places over and over, times counting up.
void fillTable(ResultsList &list, int rows)
{
    struct Place
    {
        const char *country, *region, *city, *postal, *coordinates, *timezone;
    };
    const Place places[] = {
        {"DE", "Berlin", "Berlin", "10115", "52.5200, 13.4050", "Europe/Berlin"},
        {"CH", "Zürich", "Zürich", "8001", "47.3769, 8.5417", "Europe/Zurich"},
        {"JP", "東京都", "東京", "100-0001", "35.6895, 139.6917", "Asia/Tokyo"},
        {"US", "Texas", "Austin", "73301", "30.2672, -97.7431", "America/Chicago"},
        {"GB", "England", "London", "EC1A", "51.5074, -0.1278", "Europe/London"},
        {"XX", "A=B", "=Somewhere", "=123", "0.0000, 0.0000", "Etc/UTC"},
    };
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 15, 2));
    for (int row = 0; row < rows; ++row) {
        const Place &place = places[row % std::size(places)];
        LogRecord record;
        record.timeText = start.addSecs(row * 5).toString(u"M/d/yyyy h:mm:ss AP");
        record.cells = {QString::fromUtf8(place.country),     QString::fromUtf8(place.region),
                        QString::fromUtf8(place.city),        QString::fromUtf8(place.postal),
                        QString::fromUtf8(place.coordinates), QString::fromUtf8(place.timezone)};
        list.appendRecord(record);
        list.setData(list.index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }
}

double runOurs(const ResultsList &list, const QString &path, bool watchStalls = false,
               double *longestStall = nullptr)
{
    SpreadsheetExport exporter(&list, path);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&exporter, &SpreadsheetExport::finished,
                     [&](bool success, const QString &, const QString &error) {
                         ok = success;
                         if (!success)
                             std::fprintf(stderr, "%s\n", qPrintable(error));
                         loop.quit();
                     });

    // How long the event loop goes without turning. The watch keeps the window's thread busy,
    // so it runs only in rounds that are not timed.
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        *longestStall = std::max(*longestStall, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });

    QElapsedTimer timer;
    timer.start();
    exporter.start();
    if (watchStalls) {
        sinceTick.start();
        ticker.start();
    }
    loop.exec();
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!ok)
        std::exit(1);
    return ms;
}

double runBaseline(const std::vector<QByteArray> &cells, const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray tempFolder = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tempFolder.data();
    lxw_workbook *book = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
    for (size_t i = 0; i < cells.size(); ++i) {
        worksheet_write_string(sheet, lxw_row_t(i / ResultsList::ColumnCount),
                               lxw_col_t(i % ResultsList::ColumnCount), cells[i].constData(),
                               nullptr);
    }
    if (workbook_close(book) != LXW_NO_ERROR)
        std::exit(1);
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = Bench::Count(argc, argv, 1, 7);
    const int rows = Bench::Count(argc, argv, 2, 100000);

    ResultsList list;
    fillTable(list, rows);

    // The baseline gets its cells ready-made: the header, then the cells as the sheet shows
    // them, already in UTF-8.
    std::vector<QByteArray> cells;
    cells.reserve(size_t(rows + 1) * ResultsList::ColumnCount);
    for (int column = 0; column < ResultsList::ColumnCount; ++column)
        cells.push_back(ResultsList::caption(column).toUtf8());
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < ResultsList::ColumnCount; ++column)
            cells.push_back(Spreadsheet::SheetText(column, list.cellView(row, column)).toUtf8());
    }

    QTemporaryDir scratch;
    const QString oursPath = scratch.filePath(QStringLiteral("ours.xlsx"));
    const QString barePath = scratch.filePath(QStringLiteral("bare.xlsx"));

    // One unmeasured round of each, so that both start with warm caches; ours watches the
    // event loop meanwhile.
    double longestStall = 0;
    runOurs(list, oursPath, true, &longestStall);
    runBaseline(cells, barePath);

    std::vector<double> ours, bare;
    for (int round = 0; round < rounds; ++round) {
        ours.push_back(runOurs(list, oursPath));
        bare.push_back(runBaseline(cells, barePath));
    }

    const double oursMs = Bench::Median(ours);
    const double bareMs = Bench::Median(bare);
    std::printf("rows: %d, rounds: %d, constant_memory on both sides\n", rows, rounds);
    std::printf("ours:     %8.1f ms (median; start() to finished)\n", oursMs);
    std::printf("baseline: %8.1f ms (median; bare libxlsxwriter loop)\n", bareMs);
    std::printf("ratio ours / baseline: %.2f (target <= 1.30)\n", oursMs / bareMs);
    std::printf("longest event-loop stall during ours: %.1f ms (untimed round)\n", longestStall);
    std::printf("file sizes: ours %lld bytes, baseline %lld bytes\n", QFileInfo(oursPath).size(),
                QFileInfo(barePath).size());
    return 0;
}
