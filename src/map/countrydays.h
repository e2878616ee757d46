#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <map>
#include <memory>

class ResultsList;

// Which rows of the table a count goes through.
enum class CountedRows { All, Ticked };

// One day in one country; others names the other countries the laptop was logged in that
// same day (a travel day), empty for a day spent in one country; byWiFi the countries other
// than this one where the location service placed the laptop on a day its address was placed
// here (a VPN's or a proxy's exit, or a mobile network's).
struct CountryDay
{
    QDate date;
    QStringList others;
    QStringList byWiFi;
    bool operator==(const CountryDay &) const = default;
};

// The days the laptop was logged in one country, oldest first, and the days the user left out
// of the count there that are not counted there otherwise.
struct CountryTally
{
    QString country;
    QList<CountryDay> days;
    QList<QDate> leftOutDays;

    qsizetype count() const { return days.size(); }
    QDate first() const { return days.isEmpty() ? QDate() : days.first().date; }
    QDate last() const { return days.isEmpty() ? QDate() : days.last().date; }
};

// What a count found: the countries by days, most first (then by name), and how many of the
// chosen rows could not be counted because they carry no country or no time.
// The total counts each day once, however many countries it was counted in; so do the days the
// user left out that are counted in no country.
struct CountryDaysResult
{
    QList<CountryTally> countries;
    qsizetype counted = 0;
    qsizetype leftOut = 0;
    qsizetype totalDays = 0;
    qsizetype totalLeftOutDays = 0;
    QDate first, last;
};

// The country a Country cell names, as the count keys it: the two-letter code, upper case, for
// a code or a country's name in English ("United States" and "us" are both "US"); any other
// text as it is.
QString CountryKey(QStringView country);

// Counts the days per country of a table's rows, a batch of rows at a time, so that a
// million rows can be gone through in slices of the event loop. A day is the calendar day in
// the place of the log: in the zone its Timezone cell names when that zone is known, else at
// the local offset the log's instant was kept with. A row counts for its address's country,
// or, when the user chose its Wi-Fi fix, for the country the outlines put that fix in; a row
// the user left out counts for none.
class CountryDayCounter
{
public:
    CountryDayCounter();
    ~CountryDayCounter();
    CountryDayCounter(const CountryDayCounter &) = delete;
    CountryDayCounter &operator=(const CountryDayCounter &) = delete;

    // Starts afresh; the zones already looked up stay known.
    void reset();
    // Counts the rows from..to-1 of list that `which` chooses.
    void add(const ResultsList &list, int from, int to, CountedRows which);
    CountryDaysResult result() const;

    // The calendar day of an instant (milliseconds since the epoch in UTC) in the named zone,
    // or at fallbackOffset seconds east of UTC when the zone is unknown.
    QDate localDay(QStringView zone, qint64 utcMs, int fallbackOffset);

private:
    // The offsets of one zone for the stretches of time between its transitions, filled as
    // instants ask for them: a zone changes its offset a couple of times a year at most, and
    // asking the zone database for every row would cost far more than the row itself.
    struct Zone
    {
        QTimeZone zone;
        // Stretch start -> (stretch end, offset in seconds).
        std::map<qint64, std::pair<qint64, int>> stretches;
        const std::pair<const qint64, std::pair<qint64, int>> *last = nullptr;
    };
    Zone *zoneNamed(QStringView name);
    static int offsetAt(Zone &zone, qint64 utcMs);

    // Country -> days (Julian day numbers) seen there.
    QHash<QString, QList<qint64>> m_days;
    // Country -> days of rows the user left out there.
    QHash<QString, QList<qint64>> m_userDays;
    // Country -> (day, country of a Wi-Fi fix that day) where the two differ.
    QHash<QString, QList<std::pair<qint64, QString>>> m_wiFiDays;
    qsizetype m_counted = 0;
    qsizetype m_leftOut = 0;
    QHash<QString, std::shared_ptr<Zone>> m_zones;
    QString m_lastZoneName;
    Zone *m_lastZone = nullptr;
    // The last Country cell as it was written, its key and its days.
    QString m_lastCountry;
    QString m_lastKey;
    QList<qint64> *m_lastDays = nullptr;
};

namespace CountryDaysText {

// "2026-12-07": the same in every locale and sorts as text.
QString date(QDate day);
// The days of one country, each marked with the other countries of a travel day and those of
// the Wi-Fi fixes: "2026-03-28, 2026-03-29 (also US), 2026-03-30 (also FR by Wi-Fi)".
QString dayList(const CountryTally &tally);
// "2 rows without a country or a time were left out." or empty when none were.
QString leftOutNote(qsizetype leftOut);
// The whole count as plain text for a mail: a heading, an aligned table and the days of
// each country.
QString plainText(const CountryDaysResult &result, CountedRows which);

} // namespace CountryDaysText
