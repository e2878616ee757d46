#include "core/coordinates.h"
#include "map/geoexport.h"
#include "map/geosave.h"
#include "results/resultslist.h"
#include "support/georeaders.h"

#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using GeoExport::Format;
Q_DECLARE_METATYPE(GeoExport::Format)

namespace {

// One logged row: the seven cells, the instant (none when invalid) and the tick.
struct Logged
{
    QStringList cells;
    QDateTime instant;
    bool ticked = true;
    double radius = 0; // the answer's, 0 for none
    std::optional<Fix> wifi = {};
};

QDateTime at(int hour, int minute, int second, int offsetSeconds, int ms = 0)
{
    return QDateTime(QDate(2026, 12, 11), QTime(hour, minute, second, ms), Qt::OffsetFromUTC,
                     offsetSeconds);
}

// Names with commas, quotes, ampersands, angle brackets and letters beyond Latin; places at
// (0,0), both sides of the date line and the poles; offsets east and west of UTC, with minutes.
const QList<Logged> Rows = {
    {{"12/11/2026 6:16:31 AM", "BR", "São Paulo", "São Paulo", "01000-000", "-23.5475, -46.6361",
      "America/Sao_Paulo"},
     at(6, 16, 31, -3 * 3600)},
    // A Wi-Fi fix far from the address (a VPN's exit in Tokyo), and one near it.
    {{"12/11/2026 5:16:31 PM", " JP", " Tokyo", " 東京", " 100-0001", " 35.6895, 139.6917",
      " Asia/Tokyo"},
     at(17, 16, 31, 9 * 3600),
     true,
     0,
     Fix {52.3731, 4.8922, 35, Fix::Source::WiFi}},
    {{"12/11/2026 9:16:31 AM", "CH", "Zürich", "Zürich", "8000", "47.3667, 8.55", "Europe/Zurich"},
     at(9, 16, 31, 3600),
     true,
     8000,
     Fix {47.37691, 8.54168, 20.5, Fix::Source::WiFi}},
    {{"t", "X, \"Y\" & Z", "Back\\slash\x01 <b>", "Quote \"and\" <tag> & 'apos', comma", "",
      "51.5, -0.12", "Europe/London"},
     at(8, 16, 31, 0)},
    {{"t", "Null Island", "", "", "", "0, 0", ""}, at(8, 16, 31, 0)},
    // More digits than the table keeps: the files give them all.
    {{"t", "CH", "Valais", "Sion", "1950", "46.2331234567, 7.3605891234", ""}, at(8, 16, 31, 0)},
    {{"t", "NZ", "Chatham Islands", "Waitangi", "", "-43.95, 180", "Pacific/Chatham"},
     at(21, 1, 31, 12 * 3600 + 45 * 60)},
    {{"t", "US", "Hawaii", "", "", "21.3, -180", "Pacific/Honolulu"}, at(22, 16, 31, -10 * 3600)},
    {{"t", "AQ", "", "North Pole", "", "90, 0", ""}, at(8, 16, 31, 0)},
    {{"t", "AQ", "", "South Pole", "", "-90, 45", "Asia/Kolkata"},
     at(13, 46, 31, 5 * 3600 + 30 * 60, 250)},
    // Left out of the maps: garbage, a masked value, a failed log's empty row.
    {{"t", "CH", "", "Bern", "", "abc, def", ""}, at(8, 16, 31, 0)},
    {{"t", "CH", "", "Basel", "", "xx.xxxx, yy.yyyy", ""}, at(8, 16, 31, 0)},
    {{"t", "", "", "", "", "", ""}, at(8, 16, 31, 0)},
    // No instant: no time, the place still there.
    {{"t", "FR", "", "Paris", "", "48.85, 2.35", "Europe/Paris"}, QDateTime()},
    // Not ticked.
    {{"t", "DE", "", "Berlin", "", "52.52, 13.405", "Europe/Berlin"}, at(8, 16, 31, 0), false},
};
constexpr int LeftOut = 3;

void fill(ResultsList &list, const QList<Logged> &rows)
{
    QList<LogRecord> records;
    QList<bool> ticks;
    for (const Logged &row : rows) {
        LogRecord record;
        record.timeText = row.cells[0];
        record.instant = row.instant;
        for (int i = 0; i < 6; ++i)
            record.cells[i] = row.cells[i + 1];
        record.addressAccuracyMetres = row.radius;
        record.wifi = row.wifi;
        records << record;
        ticks << row.ticked;
    }
    list.appendRecords(records, ticks);
}

QString cell(const Logged &row, int column)
{
    return row.cells[column].trimmed();
}

std::optional<GeoPoint> addressPlace(const Logged &row)
{
    const QStringList parts = row.cells[ResultsList::Coordinates].split(u',');
    bool latOk = false, lonOk = false;
    if (parts.size() != 2)
        return std::nullopt;
    const double lat = parts[0].trimmed().toDouble(&latOk);
    const double lon = parts[1].trimmed().toDouble(&lonOk);
    if (!latOk || !lonOk)
        return std::nullopt;
    return GeoPoint {lat, lon};
}

// The point is the Wi-Fi fix when it is surer than the address.
std::optional<GeoPoint> place(const Logged &row)
{
    const std::optional<GeoPoint> address = addressPlace(row);
    if (address && row.wifi && row.wifi->accuracyMetres < (row.radius > 0 ? row.radius : 50'000))
        return GeoPoint {row.wifi->latitude, row.wifi->longitude};
    return address;
}

// What a user expects as the point's name.
QString name(const Logged &row)
{
    const QString city = cell(row, ResultsList::City), country = cell(row, ResultsList::Country);
    if (!city.isEmpty() && !country.isEmpty())
        return city + ", " + country;
    return city + country;
}

// Writes the list through the job the button runs; leftOut gets the rows left out.
QByteArray save(const ResultsList &list, Format format, const QString &path, int *leftOut)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    GeoSave job(&list, &file, format);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&job, &GeoSave::finished, &loop, [&](bool done, const QString &, int out) {
        ok = done;
        *leftOut = out;
        loop.quit();
    });
    job.start();
    loop.exec();
    file.close();
    QFile back(path);
    return ok && back.open(QIODevice::ReadOnly) ? back.readAll() : QByteArray();
}

bool sameMeridian(double a, double b)
{
    return std::abs(std::remainder(a - b, 360.0)) < 1e-6;
}

} // namespace

class TestGeoExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formatChoice_data();
    void formatChoice();
    void readBack_data();
    void readBack();
    void nothingTicked_data();
    void nothingTicked();
};

void TestGeoExport::formatChoice_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("path");
    QTest::addColumn<Format>("format");
    const int gpx = 0, geoJson = 1, kml = 2, csv = 3;
    QTest::newRow("name's own") << "/t/trip.gpx" << geoJson << "/t/trip.gpx" << Format::Gpx;
    QTest::newRow("any case") << "/t/trip.GeoJSON" << gpx << "/t/trip.GeoJSON" << Format::GeoJson;
    QTest::newRow(".json") << "/t/trip.JSON" << csv << "/t/trip.JSON" << Format::GeoJson;
    QTest::newRow(".kml") << "/t/trip.Kml" << gpx << "/t/trip.Kml" << Format::Kml;
    QTest::newRow(".csv") << "/t/trip.csv" << kml << "/t/trip.csv" << Format::Csv;
    QTest::newRow("bare name") << "/t/trip" << kml << "/t/trip.kml" << Format::Kml;
    QTest::newRow("other extension") << "/t/trip.txt" << csv << "/t/trip.txt.csv" << Format::Csv;
    QTest::newRow("ends in a dot") << "/t/trip." << geoJson << "/t/trip.geojson" << Format::GeoJson;
    QTest::newRow("dot in the folder")
        << "/t/my.kml/trip" << gpx << "/t/my.kml/trip.gpx" << Format::Gpx;
    QTest::newRow("unknown filter") << "/t/trip" << -1 << "/t/trip.gpx" << Format::Gpx;
}

void TestGeoExport::formatChoice()
{
    QFETCH(QString, typed);
    QFETCH(int, filter);
    QFETCH(QString, path);
    QFETCH(Format, format);
    const QStringList filters = GeoExport::Filters();
    QCOMPARE(filters.size(), 4);
    const GeoExport::Target target
        = GeoExport::ChooseTarget(typed, filter < 0 ? "All Files (*)" : filters[filter]);
    QCOMPARE(target.path, path);
    QCOMPARE(target.format, format);
}

void TestGeoExport::readBack_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    // How the reader names the fixes' properties; null: it does not read them.
    QTest::addColumn<QString>("fixes");
    const QStringList ogrCsv {"-f", "CSV", "/vsistdout/", "IN", "-lco", "GEOMETRY=AS_XY"};
    QTest::newRow("GPX by gpsbabel")
        << Format::Gpx << "gpsbabel"
        << QStringList {"-i", "gpx", "-f", "IN", "-o", "unicsv", "-F", "-"} << QString();
    QTest::newRow("KML by gpsbabel")
        << Format::Kml << "gpsbabel"
        << QStringList {"-i", "kml", "-f", "IN", "-o", "unicsv", "-F", "-"} << QString();
    QTest::newRow("GPX by ogr2ogr")
        << Format::Gpx << "ogr2ogr"
        << (ogrCsv + QStringList {"waypoints", "-oo", "USE_EXTENSIONS=YES"}) << "trovanel_";
    QTest::newRow("KML by ogr2ogr") << Format::Kml << "ogr2ogr" << ogrCsv << "";
    QTest::newRow("GeoJSON by ogr2ogr") << Format::GeoJson << "ogr2ogr" << ogrCsv << "";
    QTest::newRow("CSV by ogr2ogr")
        << Format::Csv << "ogr2ogr"
        << (ogrCsv
            + QStringList {"-oo", "X_POSSIBLE_NAMES=longitude", "-oo", "Y_POSSIBLE_NAMES=latitude",
                           "-oo", "KEEP_GEOM_COLUMNS=NO"})
        << "";
}

void TestGeoExport::readBack()
{
    QFETCH(Format, format);
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(QString, fixes);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP(qPrintable(tool + " is not installed (scripts/install-deps.sh installs it)"));

    ResultsList list;
    fill(list, Rows);
    QTemporaryDir folder;
    const QString path = folder.filePath("out" + GeoExport::Extension(format));
    int leftOut = -1;
    const QByteArray written = save(list, format, path, &leftOut);
    QVERIFY(!written.isEmpty());
    QCOMPARE(leftOut, format == Format::Csv ? 0 : LeftOut);
    QVERIFY(!QStringView(QString::fromUtf8(written)).contains(QChar::ReplacementCharacter));

    arguments.replace(arguments.indexOf("IN"), path);
    bool ran = false;
    const QList<QHash<QString, QString>> read = ReadWith(tool, arguments, &ran);
    QVERIFY2(ran, qPrintable(tool + " could not read the file"));

    QList<Logged> expected;
    for (const Logged &row : Rows) {
        if (row.ticked && (format == Format::Csv || place(row)))
            expected << row;
    }
    QCOMPARE(read.size(), expected.size());
    const bool babel = tool == "gpsbabel";
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const Logged &row = expected[i];
        const QHash<QString, QString> &got = read[i];
        const QString where = QStringLiteral("row %1").arg(i);
        const std::optional<GeoPoint> point = place(row);
        const QString x = got.value(babel ? "Longitude" : "X");
        const QString y = got.value(babel ? "Latitude" : "Y");
        if (point) {
            QVERIFY2(std::abs(y.toDouble() - point->latitude) < 1e-6, qPrintable(where + " " + y));
            QVERIFY2(sameMeridian(x.toDouble(), point->longitude), qPrintable(where + " " + x));
        } else {
            QVERIFY2(x.isEmpty() && y.isEmpty(), qPrintable(where));
        }

        // Each fix with its source and accuracy; the address's as the answer gave it.
        const std::optional<GeoPoint> address = addressPlace(row);
        const double addressAccuracy = row.radius > 0 ? row.radius : 50'000;
        const bool wiFiBetter = address && row.wifi && row.wifi->accuracyMetres < addressAccuracy;
        const auto number = [](double value) {
            return QString::number(value, 'g', 17);
        };
        const QList<std::pair<QString, QString>> properties {
            {format == Format::Gpx ? "src" : fixes + "source",
             point ? (wiFiBetter ? "wifi" : "address") : ""},
            {"accuracy",
             point ? number(wiFiBetter ? row.wifi->accuracyMetres : addressAccuracy) : ""},
            {"address_lat", address ? number(address->latitude) : ""},
            {"address_lon", address ? number(address->longitude) : ""},
            {"address_accuracy", address ? number(addressAccuracy) : ""},
            {"wifi_lat", row.wifi ? number(row.wifi->latitude) : ""},
            {"wifi_lon", row.wifi ? number(row.wifi->longitude) : ""},
            {"wifi_accuracy", row.wifi ? number(row.wifi->accuracyMetres) : ""}};
        for (const auto &[key, value] : fixes.isNull() ? decltype(properties)() : properties) {
            const QString name = key.startsWith(fixes) || key == "src" ? key : fixes + key;
            const QString read = got.value(name);
            QVERIFY2(read == value || (!value.isEmpty() && read.toDouble() == value.toDouble()),
                     qPrintable(where + " " + name + ": " + read + " for " + value));
        }

        QDateTime time;
        if (babel)
            time = BabelTime(got);
        else if (format == Format::Kml)
            time = GdalTime(got.value("timestamp"));
        else if (format != Format::Csv)
            time = GdalTime(got.value("time"));
        else
            time = QDateTime::fromString(got.value("time"), Qt::ISODateWithMs);
        QCOMPARE(time.isValid(), row.instant.isValid());
        if (time.isValid()) {
            QCOMPARE(time.toMSecsSinceEpoch(), row.instant.toMSecsSinceEpoch());
            // The formats that carry the local offset keep it.
            if (format == Format::GeoJson || format == Format::Csv)
                QCOMPARE(time.offsetFromUtc(), row.instant.offsetFromUtc());
        }

        if (format == Format::Gpx || format == Format::Kml) {
            // XML 1.0 cannot hold the control character; it is dropped, the rest kept.
            const bool gdalGpx = !babel && format == Format::Gpx;
            QCOMPARE(got.value(gdalGpx ? "name" : "Name"), name(row));
            const QString description
                = got.value(babel ? "Description" : (gdalGpx ? "desc" : "description"));
            QVERIFY2(description.contains(QString(cell(row, ResultsList::Region)).remove(u'\x01')),
                     qPrintable(description));
            QVERIFY2(description.contains(cell(row, ResultsList::Timezone)),
                     qPrintable(description));
        } else {
            QCOMPARE(got.value("country"), cell(row, ResultsList::Country));
            QCOMPARE(got.value("region"), cell(row, ResultsList::Region));
            QCOMPARE(got.value("city"), cell(row, ResultsList::City));
            QCOMPARE(got.value("postal"), cell(row, ResultsList::PostalCode));
            QCOMPARE(got.value("timezone"), cell(row, ResultsList::Timezone));
        }
    }
}

void TestGeoExport::nothingTicked_data()
{
    readBack_data();
}

// As the text file: a file with no rows, which the readers still open.
void TestGeoExport::nothingTicked()
{
    QFETCH(Format, format);
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP(qPrintable(tool + " is not installed (scripts/install-deps.sh installs it)"));
    ResultsList list;
    QList<Logged> unticked = Rows;
    for (Logged &row : unticked)
        row.ticked = false;
    fill(list, unticked);
    QTemporaryDir folder;
    const QString path = folder.filePath("out" + GeoExport::Extension(format));
    int leftOut = -1;
    QVERIFY(!save(list, format, path, &leftOut).isEmpty());
    QCOMPARE(leftOut, 0);
    arguments.replace(arguments.indexOf("IN"), path);
    bool ran = false;
    const QList<QHash<QString, QString>> read = ReadWith(tool, arguments, &ran);
    QVERIFY2(ran, qPrintable(tool + " could not read the empty file"));
    QCOMPARE(read.size(), 0);
}

QTEST_GUILESS_MAIN(TestGeoExport)
#include "tst_geoexport.moc"
