// The GeoJSON export of a million ticked rows against GDAL's ogr2ogr making GeoJSON of the same
// rows from a CSV:
//   (a) ours: the job "Save Results As…" runs, into a file put in place only when complete,
//       and the longest time the event loop went without a turn while it ran;
//   (b) the baseline: `ogr2ogr -f GeoJSON` from a CSV of the same rows (time, latitude,
//       longitude, country, region, city, postal, timezone).
// Prints the times (medians), the ratio ours / baseline (target <= 0.5) and the stall.
// Usage: bench_geojson [ROWS [ROUNDS]]

#include "map/geoexport.h"
#include "map/geosave.h"
#include "results/resultslist.h"

#include "benchmain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

struct Place
{
    const char *country, *region, *city, *timezone;
    double latitude, longitude;
    int offsetMinutes;
};

const Place Places[] = {
    {"DE", "Berlin", "Berlin", "Europe/Berlin", 52.52, 13.405, 60},
    {"US", "California", "San Francisco", "America/Los_Angeles", 37.7749, -122.4194, -480},
    {"FR", "Île-de-France", "Paris", "Europe/Paris", 48.8566, 2.3522, 60},
    {"JP", "Tokyo", "東京", "Asia/Tokyo", 35.6938, 139.7034, 540},
    {"BR", "São Paulo", "São Paulo", "America/Sao_Paulo", -23.5505, -46.6333, -180},
    {"CH", "Zürich", "Zürich", "Europe/Zurich", 47.3667, 8.55, 60},
    {"IN", "Maharashtra", "Mumbai", "Asia/Kolkata", 19.076, 72.8777, 330},
    {"AU", "New South Wales", "Sydney", "Australia/Sydney", -33.8688, 151.2093, 660},
};

// Rows as the program logs them: one every few seconds, the place changing now and then, the
// coordinates wandering a little; all ticked.
void fillTable(ResultsList &list, int rows)
{
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    QList<LogRecord> records;
    records.reserve(rows);
    qint64 ms = QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC).toMSecsSinceEpoch();
    int place = 0;
    for (int row = 0; row < rows; ++row) {
        ms += 1000 * (1 + next() % 30);
        if (next() % 16 == 0)
            place = int(next() % std::size(Places));
        const Place &at = Places[place];
        const double drift = (int(next() % 2001) - 1000) / 100000.0;
        LogRecord record;
        record.instant
            = QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, at.offsetMinutes * 60);
        record.timeText = record.instant.toString(u"M/d/yyyy h:mm:ss AP");
        record.cells = {QString::fromUtf8(at.country),
                        QString::fromUtf8(at.region),
                        QString::fromUtf8(at.city),
                        QString::number(10000 + next() % 90000),
                        QString::asprintf("%.4f, %.4f", at.latitude + drift, at.longitude - drift),
                        QString::fromUtf8(at.timezone)};
        records << record;
    }
    list.appendRecords(records, QList<bool>(rows, true));
}

// This thread's processor time: a gap between turns that other programs' use of the processors
// stretched shows here at its own length.
qint64 threadNanoseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct SaveResult
{
    double ms = 0;
    double longestStall = 0;
    double longestBusy = 0;
    qint64 bytes = 0;
};

// The button's way: a file written beside the target, the sliced job, which puts it in place.
SaveResult runSave(const ResultsList &list, GeoExport::Format format, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    GeoSave save(&list, &file, format);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&save, &GeoSave::finished, &loop, [&](bool done, const QString &, int) {
        ok = done;
        loop.quit();
    });

    // A zero-time timer gets a turn on every pass of the event loop; the longest gap between
    // its turns is the longest the window would have been frozen.
    QElapsedTimer clock;
    qint64 lastTurn = 0, longestGap = 0;
    qint64 lastBusy = threadNanoseconds(), longestBusy = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTurn);
        lastTurn = now;
        const qint64 busy = threadNanoseconds();
        longestBusy = std::max(longestBusy, busy - lastBusy);
        lastBusy = busy;
    });
    clock.start();
    ticker.start();
    save.start();
    loop.exec();
    ticker.stop();
    // The job has put the file in place.
    if (!ok) {
        std::fprintf(stderr, "save failed: %s\n", qPrintable(file.errorString()));
        std::exit(1);
    }
    SaveResult result;
    result.ms = clock.nsecsElapsed() / 1e6;
    result.longestStall = std::max(longestGap, clock.nsecsElapsed() - lastTurn) / 1e6;
    result.longestBusy = longestBusy / 1e6;
    result.bytes = QFileInfo(path).size();
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = Bench::Count(argc, argv, 1, 1'000'000);
    const int rounds = Bench::Count(argc, argv, 2, 3);
    const QString ogr2ogr = Bench::Tool("ogr2ogr", "gdal-bin");
    QTemporaryDir scratch;
    const QString ours = scratch.filePath(QStringLiteral("results.geojson"));
    const QString csv = scratch.filePath(QStringLiteral("results.csv"));
    const QString theirs = scratch.filePath(QStringLiteral("ogr2ogr.geojson"));

    QElapsedTimer building;
    building.start();
    ResultsList list;
    fillTable(list, rows);
    // The baseline's input: the same rows as the CSV export writes them.
    runSave(list, GeoExport::Format::Csv, csv);
    std::printf("table: %d rows, all ticked (built in %.0f ms); %d rounds, medians\n", rows,
                building.nsecsElapsed() / 1e6, rounds);

    std::vector<double> saveMs, ogrMs;
    double longestStall = 0, longestBusy = 0;
    qint64 bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        const SaveResult save = runSave(list, GeoExport::Format::GeoJson, ours);
        saveMs.push_back(save.ms);
        longestStall = std::max(longestStall, save.longestStall);
        longestBusy = std::max(longestBusy, save.longestBusy);
        bytes = save.bytes;
        ogrMs.push_back(
            Bench::RunTool(ogr2ogr,
                           {"-f", "GeoJSON", theirs, csv, "-oo", "X_POSSIBLE_NAMES=longitude",
                            "-oo", "Y_POSSIBLE_NAMES=latitude", "-oo", "KEEP_GEOM_COLUMNS=NO"},
                           theirs));
    }
    const double save = Bench::Median(saveMs), base = Bench::Median(ogrMs);
    std::printf("(a) GeoJSON export:        %9.1f ms  (%lld bytes)\n", save,
                static_cast<long long>(bytes));
    std::printf("    longest stall:         %9.1f ms  (target < 50 ms)\n", longestStall);
    std::printf("    longest turn's work:   %9.1f ms  (this thread's processor time between two "
                "turns;\n                                         a longer stall is the machine "
                "making it wait)\n",
                longestBusy);
    std::printf("(b) ogr2ogr CSV -> GeoJSON %9.1f ms  (%lld bytes)\n", base,
                static_cast<long long>(QFileInfo(theirs).size()));
    std::printf("    ratio ours/baseline    %9.3f     (target <= 0.5)\n", save / base);
    return 0;
}
