#include "app/importedrows.h"

#include "lookup/curlfunctions.h"
#include "map/worldoutline.h"
#include "results/resultslist.h"

#include <QLocale>
#include <cmath>

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

ImportedRows::ImportedRows(const ResultsList &table)
{
    m_seen.reserve(table.rows());
    for (int row = 0; row < table.rows(); ++row) {
        const QDateTime instant = table.instant(row);
        if (!instant.isValid())
            continue;
        const qint64 second = secondOf(instant.toMSecsSinceEpoch());
        const RowFixes fixes = table.fixes(row);
        // A log this laptop shared went out at its surer fix: either may come back.
        for (const std::optional<Fix> &fix : {fixes.address(), fixes.wifi()}) {
            if (fix)
                remember(second, fix->latitude, fix->longitude);
        }
    }
}

void ImportedRows::setOrigin(const QString &origin)
{
    m_originText = QStringLiteral("Imported from %1").arg(origin);
}

void ImportedRows::remember(qint64 second, double latitude, double longitude)
{
    m_seen.insert(second,
                  {qint32(std::lround(latitude * 1e7)), qint32(std::lround(longitude * 1e7))});
}

bool ImportedRows::known(qint64 second, double latitude, double longitude) const
{
    for (auto found = m_seen.constFind(second); found != m_seen.cend() && found.key() == second;
         ++found) {
        if (metresBetween(latitude, longitude, found->latitudeE7 / 1e7, found->longitudeE7 / 1e7)
            <= SameLogMetres)
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

std::optional<LogRecord> ImportedRows::take(const ImportedPoint &point)
{
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
    auto known = m_zones.constFind(zoneKey);
    if (known == m_zones.cend()) {
        bool guessedNow = false;
        const QTimeZone found = zoneFor(point.timeZone, country, &guessedNow);
        known = m_zones.insert(zoneKey, {found, guessedNow});
    }
    const QTimeZone &zone = known->zone;
    const bool guessed = known->guessed;
    // The moment keeps only its offset there, as a logged row's does.
    record.instant = point.instant.toOffsetFromUtc(zone.offsetFromUtc(point.instant));
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
