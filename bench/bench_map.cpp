// The map against a bare QPainter on the same image:
//   (a) drawing the whole map (countries, track, POINTS points, every tenth ticked, the newest
//       ringed) through the renderer the view paints with, from nothing, against
//       QPainter::drawPoints of the same points onto a bare QImage of the same size; medians;
//   (b) the longest single paint of the view while it is panned PANS times (target < 50 ms);
//   (c) a million rows arriving in slices of a thousand, with the map following, against the
//       same rows without it.
// Prints the times and the ratios ours / baseline (target for (a): <= 2.0).
// Usage: bench_map [POINTS [PANS]]

#include "map/mappoints.h"
#include "map/maprenderer.h"
#include "map/mapview.h"
#include "results/resultslist.h"

#include "benchmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QSize ImageSize(1200, 600);

// A laptop's history as the service places it: it stays in one city (the service's place for a
// network) for tens to hundreds of logs, then travels to another of a few thousand cities round
// the world. Scattered: every log somewhere else, the worst case for the track.
std::vector<LogRecord> places(int count, bool scattered = false)
{
    QRandomGenerator random(20261207);
    std::vector<std::pair<double, double>> cities(3000);
    for (auto &[latitude, longitude] : cities) {
        latitude = random.bounded(140.0) - 60;
        longitude = random.bounded(360.0) - 180;
    }
    std::vector<LogRecord> records;
    records.reserve(size_t(count));
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
    size_t city = 0;
    int stay = 0;
    for (int i = 0; i < count; ++i) {
        if (scattered || stay-- <= 0) {
            city = random.bounded(quint32(cities.size()));
            stay = 20 + int(random.bounded(400));
        }
        LogRecord record;
        record.instant = start.addSecs(qint64(i) * 600);
        record.timeText = record.instant.toString(Qt::ISODate);
        const double latitude = scattered ? random.bounded(170.0) - 85 : cities[city].first;
        const double longitude = scattered ? random.bounded(360.0) - 180 : cities[city].second;
        record.cells = {QStringLiteral("DE"),
                        QStringLiteral("Berlin"),
                        QStringLiteral("Berlin"),
                        QStringLiteral("10115"),
                        QStringLiteral("%1, %2").arg(latitude, 0, 'f', 4).arg(longitude, 0, 'f', 4),
                        QStringLiteral("Europe/Berlin")};
        records.push_back(std::move(record));
    }
    return records;
}

void fill(ResultsList &list, const std::vector<LogRecord> &records, int slice)
{
    for (size_t at = 0; at < records.size(); at += size_t(slice)) {
        const size_t end = std::min(records.size(), at + size_t(slice));
        const QList<LogRecord> part(records.begin() + qsizetype(at),
                                    records.begin() + qsizetype(end));
        QList<bool> ticked;
        for (size_t i = at; i < end; ++i)
            ticked << (i % 10 == 0);
        list.appendRecords(part, ticked);
    }
}

// Draws the map of the points from nothing and again with what the renderer keeps, and the bare
// QPainter::drawPoints of the same points, each `rounds` times; prints the medians.
void drawing(const char *label, const MapPoints &points, int rounds)
{
    const int count = points.count();
    MapProjection world;
    world.size = ImageSize;
    world.scale = MapProjection::worldScale(ImageSize);

    std::vector<double> ours, warm, bare;
    QImage image(ImageSize, QImage::Format_ARGB32_Premultiplied);
    MapRenderer kept;
    kept.render(image, world, points);
    QPolygon screen;
    for (int point = 0; point < count; ++point)
        screen << world.toScreen(points.place(point).longitude, points.place(point).latitude)
                      .toPoint();
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        MapRenderer renderer;
        renderer.render(image, world, points);
        ours.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        kept.render(image, world, points);
        warm.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        QImage plain(ImageSize, QImage::Format_ARGB32_Premultiplied);
        plain.fill(Qt::white);
        QPainter painter(&plain);
        painter.setPen(Qt::blue);
        painter.drawPoints(screen);
        painter.end();
        bare.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%s %d points on %dx%d: map %.2f ms from nothing, %.2f ms with what it keeps; "
                "bare drawPoints %.2f ms; ratios %.2f and %.2f (target <= 2.0)\n",
                label, count, ImageSize.width(), ImageSize.height(), Bench::Median(ours),
                Bench::Median(warm), Bench::Median(bare), Bench::Median(ours) / Bench::Median(bare),
                Bench::Median(warm) / Bench::Median(bare));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int count = Bench::Count(argc, argv, 1, 100'000);
    const int pans = Bench::Count(argc, argv, 2, 50);
    const int rounds = 9;

    ResultsList list;
    MapPoints points(&list);
    fill(list, places(count), 10'000);
    drawing("(a) a traveller's", points, rounds);
    {
        ResultsList scatteredList;
        MapPoints scattered(&scatteredList);
        fill(scatteredList, places(count, true), 10'000);
        drawing("(a') scattered (worst case for the track)", scattered, 3);
    }

    // The view's own paint, as the window system asks for it, while it is dragged: mostly one
    // way, sometimes back; the turns the view asks for to finish a long track are paints too.
    const auto panning = [pans](const char *label, MapPoints &shown) {
        MapView view(&shown);
        view.resize(ImageSize);
        view.show();
        view.showWorld();
        view.zoomAt(QPointF(600, 300), 2);
        view.grab();
        double longest = 0;
        for (int pan = 0; pan < pans; ++pan) {
            view.pan(QPointF(pan % 5 == 4 ? -23 : 31, pan % 3 ? 7 : -11));
            QElapsedTimer timer;
            timer.start();
            view.grab();
            longest = std::max(longest, timer.nsecsElapsed() / 1e6);
            for (int turn = 0; turn < 100 && view.isFrameOutstanding(); ++turn) {
                timer.restart();
                QCoreApplication::processEvents();
                view.grab();
                longest = std::max(longest, timer.nsecsElapsed() / 1e6);
            }
        }
        std::printf("%s longest paint over %d pans: %.2f ms (target < 50 ms)\n", label, pans,
                    longest);
    };
    panning("(b) a traveller's", points);
    {
        ResultsList scatteredList;
        MapPoints scattered(&scatteredList);
        fill(scatteredList, places(count, true), 10'000);
        panning("(b') scattered", scattered);
    }

    const std::vector<LogRecord> million = places(1'000'000);
    QElapsedTimer timer;
    timer.start();
    {
        ResultsList alone;
        fill(alone, million, 1000);
    }
    const double without = timer.nsecsElapsed() / 1e6;
    timer.restart();
    {
        ResultsList followed;
        MapPoints mapped(&followed);
        fill(followed, million, 1000);
    }
    const double with = timer.nsecsElapsed() / 1e6;
    std::printf("(c) 1000000 rows in slices of 1000: with the map %.0f ms, without %.0f ms, "
                "ratio %.2f\n",
                with, without, with / without);
    return 0;
}
