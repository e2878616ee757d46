#include "map/countrydays.h"
#include "results/resultslist.h"
#include "support/datatable.h"
#include "support/logrows.h"

#include <QTest>

namespace {

constexpr int Utc = 0;
constexpr int Cest = 2 * 3600;

// Each country with its days as the window's Dates column shows them.
QStringList summary(const CountryDaysResult &result)
{
    QStringList lines;
    for (const CountryTally &tally : result.countries) {
        QString line = tally.country + QStringLiteral(": ") + CountryDaysText::dayList(tally);
        for (const QDate day : tally.leftOutDays)
            line += QStringLiteral(" -") + CountryDaysText::date(day);
        lines << line;
    }
    return lines;
}

CountryDaysResult count(const LogRows &logs, CountedRows which)
{
    ResultsList list;
    appendLogs(list, logs);
    CountryDayCounter counter;
    // In two batches, as the window's slices hand them over.
    const int half = list.rows() / 2;
    counter.add(list, 0, half, which);
    counter.add(list, half, list.rows(), which);
    return counter.result();
}

} // namespace

Q_DECLARE_METATYPE(CountedRows)

// The days per country of a table of logs, with the zone data the system has (tzdata): a day
// is the calendar day where the laptop was, whatever the clock of the laptop said.
class TestCountryDays : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void days_data()
    {
        const DataTable<LogRows, CountedRows, QStringList, int> table(
            {"logs", "which", "countries", "leftOut"});
        const auto all = CountedRows::All;

        // Morning in Berlin, evening in New York: the same day in both places, though New
        // York's evening is already the next day in UTC and on the laptop's Berlin clock.
        table.row("Berlin to New York in a day",
                  {{"2026-06-10T06:00:00Z", Cest, "DE", "Europe/Berlin"},
                   {"2026-06-11T00:00:00Z", Cest, "US", "America/New_York"}},
                  all, {"DE: 2026-06-10 (also US)", "US: 2026-06-10 (also DE)"}, 0);
        // 23:30 CET the day before, then 00:30 CET on the day clocks go forward, then 03:30
        // CEST: the laptop's clock said UTC all along.
        table.row("clocks go forward in Berlin",
                  {{"2026-03-28T22:30:00Z", Utc, "DE", "Europe/Berlin"},
                   {"2026-03-28T23:30:00Z", Utc, "DE", "Europe/Berlin"},
                   {"2026-03-29T01:30:00Z", Utc, "DE", "Europe/Berlin"}},
                  all, {"DE: 2026-03-28, 2026-03-29"}, 0);
        // 23:30 CEST, 00:30 CEST on the day clocks go back, and 23:30 CET that evening: an
        // offset kept from the summer would put the last one on the 26th.
        table.row("clocks go back in Berlin",
                  {{"2026-10-24T21:30:00Z", Utc, "DE", "Europe/Berlin"},
                   {"2026-10-24T22:30:00Z", Utc, "DE", "Europe/Berlin"},
                   {"2026-10-25T22:30:00Z", Utc, "DE", "Europe/Berlin"}},
                  all, {"DE: 2026-10-24, 2026-10-25"}, 0);
        table.row("a day in two countries",
                  {{"2026-05-04T07:00:00Z", Cest, "CH", "Europe/Zurich"},
                   {"2026-05-04T16:00:00Z", Cest, "FR", "Europe/Paris"},
                   {"2026-05-05T07:00:00Z", Cest, "CH", "Europe/Zurich"},
                   {"2026-05-05T08:00:00Z", Cest, "CH", "Europe/Zurich"}},
                  all, {"CH: 2026-05-04 (also FR), 2026-05-05", "FR: 2026-05-04 (also CH)"}, 0);
        // Just after and just before midnight far from UTC, in winter and summer.
        table.row("midnight far from UTC",
                  {{"2026-01-15T11:30:00Z", Utc, "NZ", "Pacific/Auckland"}, // 00:30 NZDT
                   {"2026-07-01T11:30:00Z", Utc, "NZ", "Pacific/Auckland"}, // 23:30 NZST
                   {"2026-07-02T09:30:00Z", Utc, "US", "Pacific/Honolulu"}, // 23:30 on the 1st
                   {"2026-07-03T10:30:00Z", Utc, "US", "Pacific/Honolulu"}, // 00:30 on the 3rd
                   {"2026-07-03T18:15:00Z", Utc, "IN", "Asia/Kolkata"}, // 23:45 on the 3rd
                   {"2026-07-04T18:45:00Z", Utc, "IN", "Asia/Kolkata"}}, // 00:15 on the 5th
                  all,
                  {"IN: 2026-07-03 (also US), 2026-07-05", "NZ: 2026-01-16, 2026-07-01 (also US)",
                   "US: 2026-07-01 (also NZ), 2026-07-03 (also IN)"},
                  0);
        // A zone the system does not know, or none: the laptop's own offset of the moment.
        table.row("unknown zone",
                  {{"2026-07-01T20:00:00Z", 9 * 3600, "JP", "Mars/Olympus_Mons"},
                   {"2026-07-02T03:00:00Z", -5 * 3600, "US", ""},
                   {"2026-07-02T03:00:00Z", -5 * 3600, "CA", "Europe/Berlin (CEST)"}},
                  all, {"CA: 2026-07-01 (also US)", "JP: 2026-07-02", "US: 2026-07-01 (also CA)"},
                  0);
        // The service's values can come with blanks around them.
        table.row("blanks around the country",
                  {{"2026-02-02T10:00:00Z", Utc, " CH", " Europe/Zurich"},
                   {"2026-02-03T10:00:00Z", Utc, "CH ", "Europe/Zurich "}},
                  all, {"CH: 2026-02-02, 2026-02-03"}, 0);
        table.row("a country's name and its code",
                  {{"2026-02-02T10:00:00Z", Utc, "United States", "America/New_York"},
                   {"2026-02-03T10:00:00Z", Utc, "US", "America/New_York"},
                   {"2026-02-04T10:00:00Z", Utc, "us", "America/New_York"},
                   {"2026-02-04T12:00:00Z", Utc, "Germany", "Europe/Berlin"},
                   {"2026-02-05T10:00:00Z", Utc, "Türkiye", "Europe/Istanbul"},
                   {"2026-02-06T10:00:00Z", Utc, "Turkey", "Europe/Istanbul"},
                   {"2026-02-07T10:00:00Z", Utc, "Côte d'Ivoire", "Africa/Abidjan"},
                   {"2026-02-08T10:00:00Z", Utc, "Ivory Coast", "Africa/Abidjan"}},
                  all,
                  {"US: 2026-02-02, 2026-02-03, 2026-02-04 (also DE)", "CI: 2026-02-07, 2026-02-08",
                   "TR: 2026-02-05, 2026-02-06", "DE: 2026-02-04 (also US)"},
                  0);
        // Zürich by address; by Wi-Fi Paris, Zürich itself, the Atlantic, then Munich.
        const auto wifi = [](double latitude, double longitude) {
            return Fix {latitude, longitude, 40, Fix::Source::WiFi};
        };
        table.row(
            "Wi-Fi in another country",
            {{"2026-05-04T07:00:00Z", Cest, "CH", "Europe/Zurich", false, false,
              wifi(48.8566, 2.3522)},
             {"2026-05-05T07:00:00Z", Cest, "CH", "Europe/Zurich", false, false,
              wifi(47.3769, 8.5417)},
             {"2026-05-06T07:00:00Z", Cest, "CH", "Europe/Zurich", false, false, wifi(40, -30)},
             {"2026-05-07T07:00:00Z", Cest, "CH", "Europe/Zurich", false, false,
              wifi(48.1372, 11.5755)},
             {"2026-05-07T16:00:00Z", Cest, "FR", "Europe/Paris"}},
            all,
            {"CH: 2026-05-04 (also FR by Wi-Fi), 2026-05-05, 2026-05-06, 2026-05-07 (also "
             "FR; also DE by Wi-Fi)",
             "FR: 2026-05-07 (also CH)"},
            0);
        // The user chose the Wi-Fi fix: Paris counts, not the Zürich the address named; a fix
        // in the ocean leaves the row with its address.
        table.row("Wi-Fi position chosen",
                  {{"2026-05-04T07:00:00Z", Cest, "CH", "Europe/Zurich", false, false,
                    wifi(48.8566, 2.3522), FixChoice::WiFi},
                   {"2026-05-05T07:00:00Z", Cest, "CH", "Europe/Zurich", false, false,
                    wifi(40, -30), FixChoice::WiFi},
                   {"2026-05-06T07:00:00Z", Cest, "CH", "Europe/Zurich", false, false,
                    wifi(48.8566, 2.3522), FixChoice::Address}},
                  all, {"CH: 2026-05-05, 2026-05-06", "FR: 2026-05-04"}, 0);
        // Left out by the user: a day counted by another row stays counted; a country with
        // only such days shows them alone.
        table.row("days left out by the user",
                  {{"2026-02-02T10:00:00Z", Utc, "DE", "Europe/Berlin"},
                   {"2026-02-03T10:00:00Z",
                    Utc,
                    "DE",
                    "Europe/Berlin",
                    false,
                    false,
                    {},
                    FixChoice::Surer,
                    true},
                   {"2026-02-04T10:00:00Z",
                    Utc,
                    "DE",
                    "Europe/Berlin",
                    false,
                    false,
                    {},
                    FixChoice::Surer,
                    true},
                   {"2026-02-04T11:00:00Z", Utc, "DE", "Europe/Berlin"},
                   {"2026-02-04T12:00:00Z",
                    Utc,
                    "AT",
                    "Europe/Vienna",
                    false,
                    false,
                    {},
                    FixChoice::Surer,
                    true}},
                  all, {"DE: 2026-02-02, 2026-02-04 -2026-02-03", "AT:  -2026-02-04"}, 0);
        table.row("failed, blank and timeless rows left out",
                  {{"2026-02-02T10:00:00Z", Utc, "", "", false, true},
                   {"2026-02-02T11:00:00Z", Utc, "  ", "Europe/Zurich"},
                   {"", Utc, "CH", "Europe/Zurich"},
                   {"2026-02-02T12:00:00Z", Utc, "CH", "Europe/Zurich"}},
                  all, {"CH: 2026-02-02"}, 3);
        const LogRows mixed = {{"2026-02-02T10:00:00Z", Utc, "DE", "Europe/Berlin", true},
                               {"2026-02-03T10:00:00Z", Utc, "AT", "Europe/Vienna", false},
                               {"2026-02-03T11:00:00Z", Utc, "", "", false, true},
                               {"2026-02-04T10:00:00Z", Utc, "AT", "Europe/Vienna", false},
                               {"2026-02-05T10:00:00Z", Utc, "DE", "Europe/Berlin", true},
                               {"2026-02-05T11:00:00Z", Utc, "", "", true, true}};
        table.row("all rows", mixed, all,
                  {"AT: 2026-02-03, 2026-02-04", "DE: 2026-02-02, 2026-02-05"}, 2);
        table.row("ticked rows only", mixed, CountedRows::Ticked, {"DE: 2026-02-02, 2026-02-05"},
                  1);
        table.row("nothing ticked", mixed.mid(1, 3), CountedRows::Ticked, {}, 0);
    }
    void days()
    {
        QFETCH(LogRows, logs);
        QFETCH(CountedRows, which);
        const CountryDaysResult result = count(logs, which);
        QTEST(summary(result), "countries");
        QTEST(int(result.leftOut), "leftOut");
    }

    // What goes into a mail: one line a country, most days first, then every day.
    void plainText()
    {
        const LogRows logs = {{"2026-03-28T22:30:00Z", Utc, "DE", "Europe/Berlin"},
                              {"2026-03-29T10:00:00Z", Utc, "DE", "Europe/Berlin"},
                              {"2026-03-29T20:00:00Z", Utc, "GB", "Europe/London"},
                              {"2026-03-30T20:00:00Z", Utc, "GB", "Europe/London"},
                              {"2026-03-31T20:00:00Z", Utc, "GB", "Europe/London"},
                              {"2026-03-31T21:00:00Z", Utc, "", ""}};
        QCOMPARE(CountryDaysText::plainText(count(logs, CountedRows::All), CountedRows::All),
                 "Days per country, all rows\n"
                 "Country  Days  First day   Last day\n"
                 "GB          3  2026-03-29  2026-03-31\n"
                 "DE          2  2026-03-28  2026-03-29\n"
                 "\n"
                 "GB: 2026-03-29 (also DE), 2026-03-30, 2026-03-31\n"
                 "DE: 2026-03-28, 2026-03-29 (also GB)\n"
                 "\n"
                 "1 row without a country or a time was left out.\n");
        LogRows corrected = logs;
        corrected[1].leftOut = corrected[4].leftOut = true;
        QVERIFY(CountryDaysText::plainText(count(corrected, CountedRows::All), CountedRows::All)
                    .endsWith("\nLeft out by you: GB 2026-03-31, DE 2026-03-29\n"
                              "\n1 row without a country or a time was left out.\n"));
        QCOMPARE(CountryDaysText::plainText({}, CountedRows::Ticked),
                 "Days per country, ticked rows\nNo days counted.\n");
    }
};

QTEST_GUILESS_MAIN(TestCountryDays)
#include "tst_countrydays.moc"
