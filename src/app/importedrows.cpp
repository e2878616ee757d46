#include "app/importedrows.h"

#include "lookup/curlfunctions.h"
#include "map/worldoutline.h"
#include "results/resultslist.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {

// Within this distance two places of the same second are one log: the source's digits, not a
// second laptop.
constexpr double SameLogMetres = 1.0;

double metresBetween(double latitudeA, double longitudeA, double latitudeB, double longitudeB)
{
    // At a metre's scale the earth is flat: the distance along the parallel shrinks with the
    // cosine of the latitude.
    constexpr double MetresPerDegree = 111'195.0;
    const double north = (latitudeA - latitudeB) * MetresPerDegree;
    const double east = (longitudeA - longitudeB) * MetresPerDegree
        * std::cos((latitudeA + latitudeB) / 2 * M_PI / 180);
    return std::hypot(north, east);
}

qint64 secondOf(qint64 msSinceEpoch)
{
    return msSinceEpoch >= 0 ? msSinceEpoch / 1000 : (msSinceEpoch - 999) / 1000;
}

} // namespace

ImportedRows::ImportedRows(const ResultsList &table) : m_table(table)
{
    for (QHash<qint64, Place> &seen : m_seen)
        seen.reserve(table.rows() / SeenTables);
}

bool ImportedRows::learn(int more)
{
    const int rows = int(std::min<qint64>(qint64(m_learnt) + more, m_table.rows()));
    for (; m_learnt < rows; ++m_learnt) {
        const qint64 utcMs = m_table.utcMs(m_learnt);
        if (utcMs == ResultsListRow::UnknownInstant)
            continue;
        const qint64 second = secondOf(utcMs);
        const RowFixes fixes = m_table.fixes(m_learnt);
        // A log this laptop shared went out at its surer fix: either may come back.
        for (const std::optional<Fix> &fix : {fixes.address(), fixes.wifi()}) {
            if (fix)
                remember(second, fix->latitude, fix->longitude);
        }
    }
    return m_learnt >= m_table.rows();
}

void ImportedRows::setOrigin(const QString &origin)
{
    m_originText = QStringLiteral("Imported from %1").arg(origin);
}

void ImportedRows::remember(qint64 second, double latitude, double longitude)
{
    const Place place {qint32(std::lround(latitude * 1e7)), qint32(std::lround(longitude * 1e7))};
    QHash<qint64, Place> &seen = m_seen[std::size_t(second & (SeenTables - 1))];
    if (!seen.contains(second))
        seen.insert(second, place);
    else
        m_seenToo.insert(second, place);
}

bool ImportedRows::known(qint64 second, double latitude, double longitude) const
{
    const auto near = [&](const Place &place) {
        return metresBetween(latitude, longitude, place.latitudeE7 / 1e7, place.longitudeE7 / 1e7)
            <= SameLogMetres;
    };
    const QHash<qint64, Place> &seen = m_seen[std::size_t(second & (SeenTables - 1))];
    const auto first = seen.constFind(second);
    if (first == seen.cend())
        return false;
    if (near(*first))
        return true;
    for (auto found = m_seenToo.constFind(second);
         found != m_seenToo.cend() && found.key() == second; ++found) {
        if (near(*found))
            return true;
    }
    return false;
}

QTimeZone ImportedRows::zoneFor(const QString &named, const QString &country, bool *guessed)
{
    *guessed = false;
    if (!named.isEmpty()) {
        const QTimeZone zone(named.toUtf8());
        if (zone.isValid())
            return zone;
    }
    *guessed = true;
    const QLocale::Territory territory = QLocale::codeToTerritory(country);
    if (territory != QLocale::AnyTerritory) {
        const QList<QByteArray> zones = QTimeZone::availableTimeZoneIds(territory);
        if (zones.size() == 1)
            return QTimeZone(zones.first());
    }
    return QTimeZone::systemTimeZone();
}

int ImportedRows::offsetAt(Zone &zone, const QDateTime &instant)
{
    const qint64 ms = instant.toMSecsSinceEpoch();
    if (ms >= zone.fromMs && ms < zone.untilMs)
        return zone.offset;
    zone.offset = zone.zone.offsetFromUtc(instant);
    if (zone.zone.hasTransitions()) {
        const QTimeZone::OffsetData before = zone.zone.previousTransition(instant.addMSecs(1));
        const QTimeZone::OffsetData after = zone.zone.nextTransition(instant);
        zone.fromMs = before.atUtc.isValid() ? before.atUtc.toMSecsSinceEpoch()
                                             : std::numeric_limits<qint64>::min();
        zone.untilMs = after.atUtc.isValid() ? after.atUtc.toMSecsSinceEpoch()
                                             : std::numeric_limits<qint64>::max();
    }
    return zone.offset;
}

std::optional<LogRecord> ImportedRows::take(const ImportedPoint &point)
{
    learn(std::numeric_limits<int>::max());
    const qint64 second = secondOf(point.instant.toMSecsSinceEpoch());
    if (known(second, point.latitude, point.longitude)) {
        ++m_repeats;
        return std::nullopt;
    }
    remember(second, point.latitude, point.longitude);

    LogRecord record;
    const QString country
        = point.country.isEmpty() ? CountryAt(point.longitude, point.latitude) : point.country;
    const QString zoneKey = point.timeZone + QLatin1Char('|') + country;
    auto known = m_zones.find(zoneKey);
    if (known == m_zones.end()) {
        bool guessedNow = false;
        const QTimeZone found = zoneFor(point.timeZone, country, &guessedNow);
        known = m_zones.insert(zoneKey, {found, guessedNow});
    }
    const QTimeZone &zone = known->zone;
    const bool guessed = known->guessed;
    // The moment keeps only its offset there, as a logged row's does.
    record.instant = point.instant.toOffsetFromUtc(offsetAt(*known, point.instant));
    record.timeText = CurlFunctions::TimeText(record.instant);
    record.cells = {
        country,
        point.region,
        point.city,
        point.postalCode,
        QStringLiteral("%1,%2").arg(point.latitude, 0, 'f', 6).arg(point.longitude, 0, 'f', 6),
        QString::fromUtf8(zone.id()),
    };
    record.addressAccuracyMetres = point.accuracyMetres;
    record.origin = m_originText;
    if (guessed)
        record.origin += QStringLiteral(" (time zone guessed)");
    return record;
}
