// The days per country of ROWS logs (every five minutes, a country and its zone a month at a
// time, one log in fifty failed), against the plain way of finding each log's day: the
// instant turned into the row's zone with QTimeZone, row by row, and a set of days per
// country. Both go through the same table; the baseline in one go, ours in slices of the
// event loop as the Countries window runs it.
// Prints the times, the ratio ours / baseline (target <= 1.0), the count without slices and
// the longest time the event loop went without a turn while ours ran (target < 50 ms).
// Usage: bench_countrydays [ROWS]

#include "map/countrydays.h"
#include "map/countrydaysjob.h"
#include "results/resultslist.h"

#include "benchmain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QSet>
#include <QTimeZone>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct Place
{
    const char *country;
    const char *zone;
};
constexpr Place Places[] = {
    {"DE", "Europe/Berlin"}, {"US", "America/New_York"},  {"JP", "Asia/Tokyo"},
    {"IN", "Asia/Kolkata"},  {"NZ", "Pacific/Auckland"},  {"US", "Pacific/Honolulu"},
    {"GB", "Europe/London"}, {"BR", "America/Sao_Paulo"},
};

void fill(ResultsList &list, int rows)
{
    QList<LogRecord> records;
    records.reserve(rows);
    for (int n = 0; n < rows; ++n) {
        LogRecord record;
        record.instant = QDateTime::fromSecsSinceEpoch(1'700'000'000 + qint64(n) * 300,
                                                       Qt::OffsetFromUTC, 3600);
        record.timeText = record.instant.toString(Qt::ISODate);
        if (n % 50 == 49) {
            record.failure = QStringLiteral("No connection.");
        } else {
            const Place &place = Places[(n / 8640) % std::size(Places)];
            record.cells = {QString::fromLatin1(place.country),
                            QStringLiteral("Region"),
                            QStringLiteral("City"),
                            QStringLiteral("12345"),
                            QStringLiteral("1.0, 2.0"),
                            QString::fromLatin1(place.zone)};
        }
        records.append(std::move(record));
    }
    list.appendRecords(records, {});
}

// Days per country the plain way; returns the number of (country, day) pairs.
qsizetype baseline(const ResultsList &list)
{
    QHash<QString, QSet<qint64>> days;
    for (int row = 0; row < list.rows(); ++row) {
        const QString country = list.cell(row, ResultsList::Country).trimmed();
        const QDateTime instant = list.instant(row);
        if (country.isEmpty() || !instant.isValid())
            continue;
        const QTimeZone zone(list.cell(row, ResultsList::Timezone).trimmed().toUtf8());
        const QDate day = zone.isValid() ? instant.toTimeZone(zone).date() : instant.date();
        days[country].insert(day.toJulianDay());
    }
    qsizetype pairs = 0;
    for (const QSet<qint64> &set : days)
        pairs += set.size();
    return pairs;
}

qsizetype pairsOf(const CountryDaysResult &result)
{
    qsizetype pairs = 0;
    for (const CountryTally &tally : result.countries)
        pairs += tally.count();
    return pairs;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = Bench::Count(argc, argv, 1, 1'000'000);
    ResultsList list;
    fill(list, rows);

    QElapsedTimer timer;
    timer.start();
    const qsizetype plainPairs = baseline(list);
    const double plainMs = timer.nsecsElapsed() / 1e6;

    timer.restart();
    CountryDayCounter direct;
    direct.add(list, 0, list.rows(), CountedRows::All);
    const CountryDaysResult directResult = direct.result();
    const double directMs = timer.nsecsElapsed() / 1e6;

    CountryDaysJob job(&list);
    CountryDaysResult sliced;
    QEventLoop loop;
    QObject::connect(&job, &CountryDaysJob::counted, [&](const CountryDaysResult &result) {
        sliced = result;
        loop.quit();
    });
    QElapsedTimer turn;
    qint64 longestTurnNs = 0;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longestTurnNs = std::max(longestTurnNs, turn.nsecsElapsed());
        turn.restart();
    });
    timer.restart();
    turn.start();
    watch.start();
    job.setFollowing(true);
    loop.exec();
    const double slicedMs = timer.nsecsElapsed() / 1e6;

    std::printf("rows: %d, countries: %lld, country-days: %lld (baseline %lld), left out: %lld\n",
                rows, qlonglong(sliced.countries.size()), qlonglong(pairsOf(sliced)),
                qlonglong(plainPairs), qlonglong(sliced.leftOut));
    std::printf("baseline (QTimeZone per row):  %9.1f ms\n", plainMs);
    std::printf("ours, in one go:               %9.1f ms  ratio %.3f\n", directMs,
                directMs / plainMs);
    std::printf("ours, in slices of the loop:   %9.1f ms  ratio %.3f\n", slicedMs,
                slicedMs / plainMs);
    std::printf("longest stall of the loop:     %9.1f ms\n", longestTurnNs / 1e6);
    const bool agree = pairsOf(sliced) == plainPairs && pairsOf(directResult) == plainPairs;
    if (!agree)
        std::printf("MISMATCH: the counts differ from the baseline\n");
    return agree ? 0 : 1;
}
