#include "app/importedrows.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "support/datatable.h"

#include <QTest>

namespace {

const QDateTime Noon = QDateTime(QDate(2026, 7, 1), QTime(12, 0, 5), Qt::UTC);

ImportedPoint pointAt(double latitude, double longitude, const QDateTime &instant = Noon)
{
    ImportedPoint point;
    point.instant = instant;
    point.latitude = latitude;
    point.longitude = longitude;
    return point;
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A point is the record's own log again when it stands at the same second within a metre
    // of either fix of a row, or of a point taken before it.
    void repeats_data()
    {
        const DataTable<double, double, int, bool> table(
            {"latitude", "longitude", "secondsLater", "repeat"});
        table.row("the row's address, to the digit", 52.52, 13.405, 0, true);
        table.row("half a metre north", 52.520004, 13.405, 0, true);
        table.row("two metres north", 52.520018, 13.405, 0, false);
        table.row("the same place a second later", 52.52, 13.405, 1, false);
        table.row("the row's Wi-Fi fix", 52.5301, 13.4102, 0, true);
        table.row("the point taken before it", 48.8566, 2.3522, 0, true);
    }
    void repeats()
    {
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        QFETCH(int, secondsLater);
        QFETCH(bool, repeat);
        ResultsList list;
        LogRecord logged;
        logged.instant = Noon.toOffsetFromUtc(7200);
        logged.cells = {"DE", "Berlin", "Berlin", "10117", "52.5200,13.4050", "Europe/Berlin"};
        logged.wifi = Fix {52.5301, 13.4102, 30, Fix::Source::WiFi};
        list.appendRecord(logged);

        ImportedRows rows(list, QStringLiteral("trip.gpx"));
        QVERIFY(rows.take(pointAt(48.8566, 2.3522)));
        const bool taken
            = rows.take(pointAt(latitude, longitude, Noon.addSecs(secondsLater))).has_value();
        QCOMPARE(taken, !repeat);
        QCOMPARE(rows.repeats(), repeat ? 1 : 0);
    }

    // The country and the time zone a point's row gets, and its Time cell in that zone.
    void placed_data()
    {
        const DataTable<QString, QString, QString, QString, QString> table(
            {"country", "zone", "wantCountry", "wantZone", "wantOrigin"});
        table.row("both named", "FR", "Europe/Paris", "FR", "Europe/Paris",
                  "Imported from trip.gpx");
        table.row("country from the outlines, its only zone", "", "", "FR", "Europe/Paris",
                  "Imported from trip.gpx (time zone guessed)");
        table.row("a zone that is none", "FR", "Mars/Olympus", "FR", "Europe/Paris",
                  "Imported from trip.gpx (time zone guessed)");
        table.row("a country of many zones", "US", "", "US",
                  QString::fromUtf8(QTimeZone::systemTimeZoneId()),
                  "Imported from trip.gpx (time zone guessed)");
    }
    void placed()
    {
        QFETCH(QString, country);
        QFETCH(QString, zone);
        QFETCH(QString, wantCountry);
        QFETCH(QString, wantZone);
        QFETCH(QString, wantOrigin);
        ResultsList list;
        ImportedRows rows(list, QStringLiteral("trip.gpx"));
        ImportedPoint point = pointAt(48.8566, 2.3522);
        point.country = country;
        point.timeZone = zone;
        const std::optional<LogRecord> record = rows.take(point);
        QVERIFY(record);
        QCOMPARE(record->cells[LogTable::Country - 1], wantCountry);
        QCOMPARE(record->cells[LogTable::Timezone - 1], wantZone);
        QCOMPARE(record->origin, wantOrigin);
        QCOMPARE(record->instant, Noon);
        const QTimeZone there(wantZone.toUtf8());
        QCOMPARE(record->instant.offsetFromUtc(), there.offsetFromUtc(Noon));
        QCOMPARE(record->timeText, CurlFunctions::TimeText(Noon.toTimeZone(there)));
        QCOMPARE(ParseCoordinates(record->cells[LogTable::Coordinates - 1])->latitude, 48.8566);
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
