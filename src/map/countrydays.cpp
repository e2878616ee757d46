#include "map/countrydays.h"

#include "map/worldoutline.h"
#include "results/resultslist.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 MsPerDay = 86'400'000;
constexpr qint64 MsPerHour = 3'600'000;
// The Julian day number of 1970-01-01, where milliseconds since the epoch count from.
constexpr qint64 EpochJulianDay = 2'440'588;

qint64 floorDiv(qint64 value, qint64 by)
{
    const qint64 quotient = value / by;
    return (value % by != 0 && value < 0) ? quotient - 1 : quotient;
}

// A country's name as names are compared: lower case, without accents, a hyphen as a blank
// ("Côte d'Ivoire" and "cote d'ivoire", "Guinea-Bissau" and "Guinea Bissau" are one).
QString folded(QStringView name)
{
    const QString decomposed = name.toString().normalized(QString::NormalizationForm_KD);
    QString made;
    made.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (!c.isMark())
            made += c == u'-' ? QChar(u' ') : c.toLower();
    }
    return made.simplified();
}

// A country's name in English, folded -> its two-letter code: the names the locale data has,
// and where the system has Debian's ISO 3166 list, its short, common and official names too,
// which name the countries as the service does where the two differ ("Türkiye", "North
// Macedonia", "Russian Federation").
const QHash<QString, QString> &codesOfNames()
{
    static const QHash<QString, QString> codes = [] {
        QHash<QString, QString> made;
        for (int territory = QLocale::AnyTerritory + 1; territory <= QLocale::LastTerritory;
             ++territory) {
            const auto which = QLocale::Territory(territory);
            const QString code = QLocale::territoryToCode(which);
            if (code.size() == 2 && code[0].isLetter())
                made.insert(folded(QLocale::territoryToString(which)), code);
        }
        QFile list(QStringLiteral("/usr/share/iso-codes/json/iso_3166-1.json"));
        if (list.open(QIODevice::ReadOnly)) {
            const QJsonArray countries
                = QJsonDocument::fromJson(list.readAll())[QLatin1String("3166-1")].toArray();
            for (const QJsonValue country : countries) {
                const QString code = country[QLatin1String("alpha_2")].toString();
                for (const char *key : {"name", "common_name", "official_name"}) {
                    const QString name = country[QLatin1String(key)].toString();
                    if (code.size() == 2 && !name.isEmpty())
                        made.insert(folded(name), code);
                }
            }
        }
        return made;
    }();
    return codes;
}

} // namespace

QString CountryKey(QStringView country)
{
    if (country.size() == 2)
        return country.toString().toUpper();
    const QString code = codesOfNames().value(folded(country));
    return code.isEmpty() ? country.toString() : code;
}

CountryDayCounter::CountryDayCounter() = default;
CountryDayCounter::~CountryDayCounter() = default;

void CountryDayCounter::reset()
{
    m_days.clear();
    m_userDays.clear();
    m_wiFiDays.clear();
    m_counted = 0;
    m_leftOut = 0;
    m_lastCountry.clear();
    m_lastDays = nullptr;
}

CountryDayCounter::Zone *CountryDayCounter::zoneNamed(QStringView name)
{
    if (m_lastZone && name == m_lastZoneName)
        return m_lastZone;
    m_lastZoneName = name.toString();
    std::shared_ptr<Zone> &known = m_zones[m_lastZoneName];
    if (!known) {
        known = std::make_shared<Zone>();
        if (!name.isEmpty())
            known->zone = QTimeZone(m_lastZoneName.toUtf8());
    }
    m_lastZone = known.get();
    return m_lastZone;
}

int CountryDayCounter::offsetAt(Zone &zone, qint64 utcMs)
{
    const auto within = [utcMs](const auto &stretch) {
        return utcMs >= stretch.first && utcMs < stretch.second.first;
    };
    if (zone.last && within(*zone.last))
        return zone.last->second.second;
    auto found = zone.stretches.upper_bound(utcMs);
    if (found != zone.stretches.begin() && within(*std::prev(found))) {
        zone.last = &*std::prev(found);
        return zone.last->second.second;
    }

    const QDateTime at = QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC);
    const int offset = zone.zone.offsetFromUtc(at);
    qint64 start = std::numeric_limits<qint64>::min();
    qint64 end = std::numeric_limits<qint64>::max();
    if (zone.zone.hasTransitions()) {
        const QTimeZone::OffsetData before = zone.zone.previousTransition(at.addMSecs(1));
        const QTimeZone::OffsetData after = zone.zone.nextTransition(at);
        if (before.atUtc.isValid())
            start = before.atUtc.toMSecsSinceEpoch();
        if (after.atUtc.isValid())
            end = after.atUtc.toMSecsSinceEpoch();
    }
    // A zone without a list of transitions, or one whose list does not hold this instant,
    // is asked once an hour of time instead: no offset has ever changed within an hour.
    if (!(start <= utcMs && utcMs < end)) {
        start = floorDiv(utcMs, MsPerHour) * MsPerHour;
        end = start + MsPerHour;
    }
    const auto [added, fresh] = zone.stretches.emplace(start, std::pair {end, offset});
    if (!fresh || !within(*added))
        return offset;
    zone.last = &*added;
    return offset;
}

QDate CountryDayCounter::localDay(QStringView zoneName, qint64 utcMs, int fallbackOffset)
{
    Zone *zone = zoneNamed(zoneName);
    const int offset = zone->zone.isValid() ? offsetAt(*zone, utcMs) : fallbackOffset;
    return QDate::fromJulianDay(floorDiv(utcMs + qint64(offset) * 1000, MsPerDay) + EpochJulianDay);
}

void CountryDayCounter::add(const ResultsList &list, int from, int to, CountedRows which)
{
    to = std::min(to, list.rows());
    for (int row = from; row < to; ++row) {
        if (which == CountedRows::Ticked && !list.isChecked(row))
            continue;
        const QStringView country = list.cellView(row, ResultsList::Country).trimmed();
        const QDateTime instant = list.instant(row);
        if (country.isEmpty() || !instant.isValid() || !list.failure(row).isEmpty()) {
            ++m_leftOut;
            continue;
        }
        const qint64 day = localDay(list.cellView(row, ResultsList::Timezone).trimmed(),
                                    instant.toMSecsSinceEpoch(), instant.offsetFromUtc())
                               .toJulianDay();
        const std::optional<Fix> wifi = list.wiFiFix(row);
        const FixChoice chosen = wifi ? list.chosen(row) : FixChoice::Surer;
        const QString byWiFi = chosen == FixChoice::WiFi || (wifi && chosen == FixChoice::Surer)
            ? CountryAt(wifi->longitude, wifi->latitude)
            : QString();
        if (list.isLeftOut(row) || (chosen == FixChoice::WiFi && !byWiFi.isEmpty())) {
            // Few rows: each goes by its own key, past the run of rows that repeat the last.
            const QString key
                = chosen == FixChoice::WiFi && !byWiFi.isEmpty() ? byWiFi : CountryKey(country);
            m_lastDays = nullptr;
            QList<qint64> &days = list.isLeftOut(row) ? m_userDays[key] : m_days[key];
            days.append(day);
            m_counted += list.isLeftOut(row) ? 0 : 1;
            continue;
        }
        ++m_counted;
        if (!m_lastDays || country != m_lastCountry) {
            m_lastCountry = country.toString();
            m_lastKey = CountryKey(country);
            m_lastDays = &m_days[m_lastKey];
        }
        // Logs come in time order: most rows repeat the day of the row before.
        if (m_lastDays->isEmpty() || m_lastDays->last() != day)
            m_lastDays->append(day);
        // Few rows have a Wi-Fi fix; those are looked up in the outlines.
        if (!byWiFi.isEmpty() && byWiFi != m_lastKey)
            m_wiFiDays[m_lastKey].append({day, byWiFi});
    }
}

CountryDaysResult CountryDayCounter::result() const
{
    CountryDaysResult result;
    result.counted = m_counted;
    result.leftOut = m_leftOut;

    const auto sortedDays = [](QList<qint64> days) {
        std::sort(days.begin(), days.end());
        days.erase(std::unique(days.begin(), days.end()), days.end());
        return days;
    };
    QHash<qint64, QStringList> countriesOfDay;
    QHash<QString, QList<qint64>> counted;
    for (auto it = m_days.cbegin(); it != m_days.cend(); ++it) {
        QList<qint64> days = sortedDays(it.value());
        for (qint64 day : days)
            countriesOfDay[day].append(it.key());
        counted.insert(it.key(), std::move(days));
    }
    for (QStringList &countries : countriesOfDay)
        countries.sort();
    QSet<qint64> leftOutDays;
    QStringList names = counted.keys();
    for (auto it = m_userDays.cbegin(); it != m_userDays.cend(); ++it) {
        if (!counted.contains(it.key()))
            names.append(it.key());
    }

    for (const QString &country : std::as_const(names)) {
        const QList<qint64> days = counted.value(country);
        CountryTally tally;
        tally.country = country;
        tally.days.reserve(days.size());
        for (qint64 day : days) {
            QStringList others = countriesOfDay.value(day);
            others.removeOne(country);
            tally.days.append({QDate::fromJulianDay(day), others, {}});
        }
        for (qint64 day : sortedDays(m_userDays.value(country))) {
            if (!std::binary_search(days.cbegin(), days.cend(), day))
                tally.leftOutDays.append(QDate::fromJulianDay(day));
            if (!countriesOfDay.contains(day))
                leftOutDays.insert(day);
        }
        for (const auto &[day, where] : m_wiFiDays.value(country)) {
            const auto found
                = std::lower_bound(tally.days.begin(), tally.days.end(), QDate::fromJulianDay(day),
                                   [](const CountryDay &a, QDate b) { return a.date < b; });
            if (found != tally.days.end() && !found->byWiFi.contains(where)) {
                found->byWiFi.append(where);
                found->byWiFi.sort();
            }
        }
        result.countries.append(std::move(tally));
    }
    result.totalDays = countriesOfDay.size();
    result.totalLeftOutDays = leftOutDays.size();
    for (auto it = countriesOfDay.cbegin(); it != countriesOfDay.cend(); ++it) {
        const QDate day = QDate::fromJulianDay(it.key());
        if (!result.first.isValid() || day < result.first)
            result.first = day;
        if (!result.last.isValid() || day > result.last)
            result.last = day;
    }
    std::sort(result.countries.begin(), result.countries.end(),
              [](const CountryTally &a, const CountryTally &b) {
                  if (a.count() != b.count())
                      return a.count() > b.count();
                  return a.country < b.country;
              });
    return result;
}

namespace CountryDaysText {

QString date(QDate day)
{
    return day.toString(Qt::ISODate);
}

QString dayList(const CountryTally &tally)
{
    QString text;
    for (const CountryDay &day : tally.days) {
        if (!text.isEmpty())
            text += QLatin1String(", ");
        text += date(day.date);
        QStringList also;
        if (!day.others.isEmpty())
            also << QLatin1String("also ") + day.others.join(QLatin1String(", "));
        if (!day.byWiFi.isEmpty())
            also << QLatin1String("also ") + day.byWiFi.join(QLatin1String(", "))
                    + QLatin1String(" by Wi-Fi");
        if (!also.isEmpty())
            text += QLatin1String(" (") + also.join(QLatin1String("; ")) + QLatin1Char(')');
    }
    return text;
}

QString leftOutNote(qsizetype leftOut)
{
    if (leftOut == 0)
        return {};
    if (leftOut == 1)
        return QStringLiteral("1 row without a country or a time was left out.");
    return QStringLiteral("%1 rows without a country or a time were left out.").arg(leftOut);
}

QString plainText(const CountryDaysResult &result, CountedRows which)
{
    QString text = which == CountedRows::All ? QStringLiteral("Days per country, all rows\n")
                                             : QStringLiteral("Days per country, ticked rows\n");
    if (result.countries.isEmpty()) {
        text += QLatin1String("No days counted.\n");
    } else {
        const QString country = QStringLiteral("Country");
        const QString days = QStringLiteral("Days");
        qsizetype countryWidth = country.size();
        qsizetype daysWidth = days.size();
        for (const CountryTally &tally : result.countries) {
            if (tally.count() == 0)
                continue;
            countryWidth = std::max(countryWidth, tally.country.size());
            daysWidth = std::max(daysWidth, QString::number(tally.count()).size());
        }
        const auto line = [&](const QString &name, const QString &count, const QString &first,
                              const QString &last) {
            text += name.leftJustified(countryWidth) + QLatin1String("  ")
                + count.rightJustified(daysWidth) + QLatin1String("  ") + first.leftJustified(10)
                + QLatin1String("  ") + last + QLatin1Char('\n');
        };
        line(country, days, QStringLiteral("First day"), QStringLiteral("Last day"));
        for (const CountryTally &tally : result.countries)
            if (tally.count() > 0)
                line(tally.country, QString::number(tally.count()), date(tally.first()),
                     date(tally.last()));
        text += QLatin1Char('\n');
        for (const CountryTally &tally : result.countries) {
            if (tally.count() > 0)
                text += tally.country + QLatin1String(": ") + dayList(tally) + QLatin1Char('\n');
        }
    }
    // The days the user left out, only where there are any: a count nobody corrected copies as
    // it always has.
    QStringList byYou;
    for (const CountryTally &tally : result.countries) {
        for (const QDate day : tally.leftOutDays)
            byYou << tally.country + QLatin1Char(' ') + date(day);
    }
    if (!byYou.isEmpty())
        text += QLatin1String("\nLeft out by you: ") + byYou.join(QLatin1String(", "))
            + QLatin1Char('\n');
    const QString note = leftOutNote(result.leftOut);
    if (!note.isEmpty())
        text += QLatin1Char('\n') + note + QLatin1Char('\n');
    return text;
}

} // namespace CountryDaysText
