// Reading a GPX track of a million points into points against GDAL's ogr2ogr converting the same
// file:
//   (a) ours: openPointFile() and read() a slice at a time, as the import does a turn of the
//       event loop at a time, each slice taken away; the longest single read() too, and its
//       processor time;
//   (b) the baseline: `ogr2ogr -f GPKG` of the file's track points;
//   (c) the whole import, as Import… runs it: the points read, made rows, told from the record's
//       own and committed to a kept history, with the longest time the event loop waited.
// Prints the times (medians), the ratios ours / baseline and the longest slice and stall.
// Usage: bench_importread [POINTS [ROUNDS [SLICE]]]

#include "app/importjob.h"
#include "importing/pointfile.h"
#include "results/keptresults.h"
#include "share/restoreclient.h"

#include "benchmain.h"
#include "freshhistory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

// A track as a phone logs it: a point a second, wandering a little, with a height; written a
// block at a time, never held whole.
void writeTrack(const QString &path, int points)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
               "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><name>walk</name><trkseg>\n");
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC);
    QByteArray block;
    for (int i = 0; i < points; ++i) {
        block += "<trkpt lat=\"" + QByteArray::number(47.3 + (i % 10007) * 1e-5, 'f', 6)
            + "\" lon=\"" + QByteArray::number(8.5 + (i % 9973) * 1e-5, 'f', 6) + "\"><ele>"
            + QByteArray::number(400 + i % 50) + "</ele><time>"
            + start.addSecs(i).toString(Qt::ISODate).toLatin1() + "</time></trkpt>\n";
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block + "</trkseg></trk>\n</gpx>\n");
}

// This thread's processor time: a slice that other programs' use of the processors stretched
// shows here at its own length.
qint64 threadNanoseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct ReadResult
{
    double ms = 0;
    double longestSlice = 0;
    double longestBusy = 0;
    qint64 points = 0;
};

ReadResult runOurs(const QString &path, int slice)
{
    ReadResult result;
    QElapsedTimer clock, call;
    clock.start();
    const std::unique_ptr<PointReader> reader = openPointFile(path);
    QList<ImportedPoint> points;
    for (bool more = true; more;) {
        call.start();
        const qint64 busy = threadNanoseconds();
        more = reader->read(points, slice);
        result.longestSlice = std::max(result.longestSlice, call.nsecsElapsed() / 1e6);
        result.longestBusy = std::max(result.longestBusy, (threadNanoseconds() - busy) / 1e6);
        result.points += points.size();
        points.clear();
    }
    result.ms = clock.nsecsElapsed() / 1e6;
    return result;
}

// The whole import into a kept history of its own; its time, and the longest stall.
std::pair<double, double> runImport(const QString &gpx, const QString &history)
{
    Bench::FreshHistory fresh(history);
    ResultsList &table = fresh.table;
    KeptResults &kept = fresh.kept;
    RestoreClient client;
    ImportJob job(&table, &kept, &client);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&job, &ImportJob::finished, &loop, [&](bool done, const QString &text) {
        ok = done;
        if (!done)
            std::fprintf(stderr, "the import failed: %s\n", qPrintable(text));
        loop.quit();
    });
    QTimer watch;
    QElapsedTimer clock, sinceTurn;
    qint64 longest = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTurn.nsecsElapsed());
        sinceTurn.start();
    });
    clock.start();
    sinceTurn.start();
    watch.start(0);
    job.importFiles({gpx});
    loop.exec();
    const double ms = clock.nsecsElapsed() / 1e6;
    longest = std::max(longest, sinceTurn.nsecsElapsed());
    if (!ok || kept.store().count() != table.rows())
        std::exit(1);
    return {ms, longest / 1e6};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int points = Bench::Count(argc, argv, 1, 1'000'000);
    const int rounds = Bench::Count(argc, argv, 2, 3);
    const int slice = Bench::Count(argc, argv, 3, 2000);
    const QString ogr2ogr = Bench::Tool("ogr2ogr", "gdal-bin");
    QTemporaryDir scratch;
    const QString gpx = scratch.filePath(QStringLiteral("track.gpx"));
    const QString gpkg = scratch.filePath(QStringLiteral("track.gpkg"));

    QElapsedTimer writing;
    writing.start();
    writeTrack(gpx, points);
    std::printf("track: %d points, %lld bytes (written in %.0f ms); %d rounds, medians\n", points,
                static_cast<long long>(QFileInfo(gpx).size()), writing.nsecsElapsed() / 1e6,
                rounds);

    std::vector<double> ourMs, ogrMs, importMs;
    double longestSlice = 0, longestBusy = 0, longestStall = 0;
    qint64 read = 0;
    for (int round = 0; round < rounds; ++round) {
        const ReadResult ours = runOurs(gpx, slice);
        ourMs.push_back(ours.ms);
        longestSlice = std::max(longestSlice, ours.longestSlice);
        longestBusy = std::max(longestBusy, ours.longestBusy);
        read = ours.points;
        ogrMs.push_back(Bench::RunTool(ogr2ogr, {"-f", "GPKG", gpkg, gpx, "track_points"}, gpkg));
        const auto [ms, stall] = runImport(gpx, scratch.filePath(QStringLiteral("kept.sqlite")));
        importMs.push_back(ms);
        longestStall = std::max(longestStall, stall);
    }
    if (read != points) {
        std::fprintf(stderr, "read %lld points of %d\n", static_cast<long long>(read), points);
        return 1;
    }
    const double ours = Bench::Median(ourMs), base = Bench::Median(ogrMs);
    std::printf("(a) GPX read into points:  %9.1f ms\n", ours);
    std::printf("    longest slice:         %9.1f ms  (%d points a slice; target < 50 ms)\n",
                longestSlice, slice);
    std::printf("    its processor time:    %9.1f ms  (a longer slice is the machine making it "
                "wait)\n",
                longestBusy);
    std::printf("(b) ogr2ogr GPX -> GPKG    %9.1f ms\n", base);
    std::printf("    ratio ours/baseline    %9.3f\n", ours / base);
    const double imported = Bench::Median(importMs);
    std::printf("(c) the whole import, kept %9.1f ms\n", imported);
    std::printf("    ratio to (b)           %9.3f  (target <= 1.0)\n", imported / base);
    std::printf("    longest stall:         %9.1f ms  (target < 50 ms)\n", longestStall);
    return 0;
}
