// Track files read into points: files written by gpsbabel and GDAL's ogr2ogr from the same
// three points, files written by hand for what those tools do not write, damaged files, and a
// large file read in pieces without growing the memory with it.

#include "importing/pointfile.h"
#include "support/datatable.h"
#include "support/instrumentedheap.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The points every tool-made file is made from, as gpsbabel's unicsv reads them (in UTC).
const QByteArray Source = "Latitude,Longitude,Date,Time\n"
                          "47.3667,8.55,2026/12/11,08:16:31.250\n"
                          "-33.8688,151.2093,2026/12/11,09:16:31\n"
                          "0,-180,2026/12/31,23:59:59\n";
const QString SourcePoints = "47.3667 8.55 2026-12-11T08:16:31.250Z|"
                             "-33.8688 151.2093 2026-12-11T09:16:31.000Z|"
                             "0 -180 2026-12-31T23:59:59.000Z";

// A row's `keep` for a file that is not there at all.
constexpr int NoFile = -2;

// A point as the table's rows write it: place, UTC time, and what else it carries.
QString render(const ImportedPoint &point)
{
    QString text = QStringLiteral("%1 %2 %3")
                       .arg(point.latitude, 0, 'g', 10)
                       .arg(point.longitude, 0, 'g', 10)
                       .arg(point.instant.toUTC().toString(Qt::ISODateWithMs));
    QStringList extra {point.country, point.region, point.city, point.postalCode, point.timeZone};
    extra << (point.accuracyMetres ? QString::number(point.accuracyMetres) : QString());
    return extra.join("").isEmpty() ? text : text + ' ' + extra.join('/');
}

// "time 4,7" for the points without a time on lines 4 and 7.
QString renderLines(const char *label, const QList<qint64> &lines)
{
    QStringList text;
    for (qint64 line : lines)
        text << QString::number(line);
    return lines.isEmpty() ? QString() : label + text.join(',');
}

// What this process holds in memory now, in bytes.
qint64 residentBytes()
{
    QFile status("/proc/self/statm");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    return status.readAll().split(' ').value(1).toLongLong() * 4096;
}

} // namespace

class TestImportFiles : public QObject
{
    Q_OBJECT

private:
    // The columns every format's table has: the file's name; its bytes, or the input of the
    // commands in `make` ("%in", "%mid", "%out" their files; "|" between commands); how many of
    // the made bytes are kept (-1 all); the points, the skipped lines, or the failure expected.
    static void columns()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("make");
        QTest::addColumn<int>("keep");
        QTest::addColumn<QString>("points");
        QTest::addColumn<QString>("skipped");
        QTest::addColumn<QString>("failure");
    }
    static void row(const char *name, const QString &file, const QByteArray &text,
                    const QStringList &make, int keep, const QString &points,
                    const QString &skipped, const QString &failure = {})
    {
        QTest::newRow(name) << file << text << make << keep << points << skipped << failure;
    }
    static void row(const char *name, const QString &file, const QByteArray &text,
                    const QString &points, const QString &skipped, const QString &failure = {})
    {
        row(name, file, text, {}, -1, points, skipped, failure);
    }
    // gpsbabel making a GPX of the table's input, the points as waypoints or `transform`ed.
    static QStringList gpx(const QString &transform, const QString &out)
    {
        QStringList make {"gpsbabel", "-i", "unicsv", "-f", "%in"};
        if (!transform.isEmpty())
            make += {"-x", transform};
        return make + QStringList {"-o", "gpx,gpxver=1.1", "-F", out};
    }
    // A track made by gpsbabel, then the `tool` making the file from it.
    static QStringList viaTrack(const QStringList &tool)
    {
        return gpx("transform,trk=wpt,del", "%mid") + QStringList {"|"} + tool;
    }

    void check();
    QTemporaryDir m_scratch;

private slots:
    void gpx_data();
    void gpx() { check(); }
    void geoJson_data();
    void geoJson() { check(); }
    void kml_data();
    void kml() { check(); }
    void csv_data();
    void csv() { check(); }
    void record_data();
    void record() { check(); }
    void largeFile_data();
    void largeFile();
};

void TestImportFiles::check()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, make);
    QFETCH(int, keep);
    const QString path = m_scratch.filePath(name);
    const QString in = m_scratch.filePath("in.csv"), mid = m_scratch.filePath("mid.gpx");
    QFile::remove(path);
    QFile written(make.isEmpty() ? path : in);
    QVERIFY(keep == NoFile
            || (written.open(QIODevice::WriteOnly) && written.write(text) == text.size()));
    written.close();
    // The tools read and write times in UTC.
    qputenv("TZ", "UTC");
    make.replaceInStrings("%in", in).replaceInStrings("%mid", mid).replaceInStrings("%out", path);
    for (const QString &command : make.join('\n').split("\n|\n", Qt::SkipEmptyParts)) {
        const QStringList words = command.split('\n');
        QProcess tool;
        tool.start(words.first(), words.mid(1));
        QVERIFY2(tool.waitForFinished(60000) && tool.exitCode() == 0,
                 qPrintable(words.first() + ": " + tool.readAllStandardError()));
    }
    if (!make.isEmpty() && keep >= 0)
        QVERIFY(QFile::resize(path, keep));

    QStringList points;
    QString failure, skipped;
    try {
        const std::unique_ptr<PointReader> reader = openPointFile(path);
        QList<ImportedPoint> read;
        // Two points a call: the readers go on from where each call stopped.
        for (qsizetype before = 0; reader->read(read, 2); before = read.size())
            QVERIFY(read.size() - before <= 2);
        for (const ImportedPoint &point : read)
            points << render(point);
        QCOMPARE(reader->bytesRead(), reader->bytesTotal());
        const ImportSkips &skips = reader->skips();
        QStringList kinds {renderLines("time ", skips.withoutTime),
                           renderLines("range ", skips.outOfRange)};
        kinds.removeAll(QString());
        skipped = kinds.join("; ");
    } catch (const ImportFailure &error) {
        failure = error.description();
    }
    QTEST(failure, "failure");
    QTEST(points.join('|'), "points");
    QTEST(skipped, "skipped");
}

void TestImportFiles::gpx_data()
{
    columns();
    row("gpsbabel's waypoints", "trip.gpx", Source, gpx("", "%out"), -1, SourcePoints, "");
    row("gpsbabel's track", "trip.gpx", Source, gpx("transform,trk=wpt,del", "%out"), -1,
        SourcePoints, "");
    row("gpsbabel's route", "trip.gpx", Source, gpx("transform,rte=wpt,del", "%out"), -1,
        SourcePoints, "");
    row("known by its content", "trip.xml", Source, gpx("", "%out"), -1, SourcePoints, "");
    row("GPX 1.0, offsets, no time, off the globe", "hand.gpx",
        "<?xml version=\"1.0\"?>\n"
        "<gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\">\n"
        "<wpt lat=\"1.5\" lon=\"2\"><name>2026-01-01T00:00:00Z</name>\n"
        "  <time>2026-12-11T09:16:31.5+01:00</time></wpt>\n"
        "<wpt lat=\"1\" "
        "lon=\"2\"><extensions><time>2026-12-11T09:16:31Z</time></extensions></wpt>\n"
        "<trk><trkseg><trkpt lat=\"91\" lon=\"0\"><time>2026-12-11T09:16:31Z</time></trkpt>\n"
        "<trkpt lon=\"3\"><time>2026-12-11T09:16:31Z</time></trkpt>\n"
        "<trkpt lat=\"-90\" lon=\"180\"><time>1999-12-31T23:59:59-0230</time></trkpt>\n"
        "</trkseg></trk></gpx>\n",
        "1.5 2 2026-12-11T08:16:31.500Z|-90 180 2000-01-01T02:29:59.000Z", "time 5; range 6,7");
    row("cut short", "trip.gpx", Source, gpx("transform,trk=wpt,del", "%out"), 600, "", "",
        "trip.gpx is not a GPX file: Premature end of document. (line 16)");
    row("JSON", "trip.gpx", "{\"type\": \"FeatureCollection\"}", "", "",
        "trip.gpx is not a GPX file: Start tag expected. (line 1)");
    row("KML", "trip.gpx", "<?xml version=\"1.0\"?>\n<kml><Placemark/></kml>", "", "",
        "trip.gpx is not a GPX file: its first element is <kml>, not <gpx> (line 2)");
}

void TestImportFiles::geoJson_data()
{
    columns();
    const QStringList ogr2ogr {"ogr2ogr", "-f", "GeoJSON", "%out", "%mid"};
    row("ogr2ogr's track points", "trip.geojson", Source,
        viaTrack(ogr2ogr + QStringList {"track_points"}), -1, SourcePoints, "");
    row("ogr2ogr's track, no times", "trip.json", Source,
        viaTrack(ogr2ogr + QStringList {"tracks"}), -1, "", "time 6,6,6");
    row("ogr2ogr's cut short", "trip.geojson", Source,
        viaTrack(ogr2ogr + QStringList {"track_points"}), 700, "", "",
        "trip.geojson is not a GeoJSON file: it ends inside a text (line 8)");
    row("a line with its times, after it", "line.geojson",
        "\xEF\xBB\xBF{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\",\n"
        "\"coordinates\":[[8.5,47.25,400],\n[9,48]]},\"bbox\":[0,0,1,1],\n"
        "\"properties\":{\"name\":\"\\\"q\\\" \\u00e9\\ud83d\\ude00\",\n"
        "\"coordTimes\":[\"2026-12-11T08:00:00Z\",\"2026-12-11 09:00:00.25+02:00\"]}}",
        "47.25 8.5 2026-12-11T08:00:00.000Z|48 9 2026-12-11T07:00:00.250Z", "");
    row("lines, points, nowhere, polygons", "many.geojson",
        "{\"features\":[\n"
        "{\"type\":\"Feature\",\"properties\":{\"times\":[[1765440000],[\"x\",1765440002.5]]},\n"
        "\"geometry\":{\"type\":\"MultiLineString\",\"coordinates\":[[[1,2]],[[3,4],\n[5,6]]]}},\n"
        "{\"type\":\"Feature\",\"geometry\":null,\"properties\":{\"time\":1765440000}},\n"
        "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Polygon\",\"coordinates\":[[[0,0],[1,1]]]}}"
        ",\n"
        "{\"type\":\"Feature\",\"geometry\":{\"type\":\"MultiPoint\",\"coordinates\":[[7,95],\n[7,"
        "8]]},"
        "\"properties\":{\"timestamp\":\"2026-12-11T08:00:00Z\",\"country\":\"CH\",\"city\":"
        "\"Z\\u00fcrich \\ud83d\\ude00\","
        "\"accuracy\":35,\"timezone\":\"Europe/Zurich\",\"postal\":null}}\n"
        "],\"type\":\"FeatureCollection\"}\n",
        "2 1 2025-12-11T08:00:00.000Z|6 5 2025-12-11T08:00:02.500Z|"
        "8 7 2026-12-11T08:00:00.000Z CH//Zürich 😀//Europe/Zurich/35",
        "time 3; range 5,7");
    row("not GeoJSON", "trip.geojson", "{\"type\":\"Topology\",\"objects\":{}}", "", "",
        "trip.geojson is not a GeoJSON file: it is neither a FeatureCollection nor a Feature "
        "(line 1)");
    row("not JSON", "trip.json", "{\"type\":\"FeatureCollection\",\n\"features\":[}", "", "",
        "trip.json is not a GeoJSON file: a value is missing, or is not JSON (line 2)");
    row("more after it", "trip.json", "{\"type\":\"FeatureCollection\"}\n{}", "", "",
        "trip.json is not a GeoJSON file: more follows the end of its JSON (line 2)");
}

void TestImportFiles::kml_data()
{
    columns();
    const QStringList babelKml = viaTrack(
        {"gpsbabel", "-i", "gpx", "-f", "%mid", "-o", "kml,track=1,points=0", "-F", "%out"});
    row("ogr2ogr's placemarks, time as data", "trip.kml", Source,
        viaTrack({"ogr2ogr", "-f", "KML", "%out", "%mid", "track_points"}), -1, SourcePoints, "");
    row("ogr2ogr's placemarks with time stamps", "trip.kml", Source,
        viaTrack({"ogr2ogr", "--config", "LIBKML_TIMESTAMP_FIELD", "time", "-f", "LIBKML", "%out",
                  "%mid", "track_points"}),
        -1, SourcePoints, "");
    row("gpsbabel's track", "trip.kml", Source, babelKml, -1, SourcePoints, "");
    row("a track's places before its times", "hand.kml",
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
        "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">"
        "<Document><Placemark><gx:Track>\n"
        "<gx:coord>8.5 47.25 400</gx:coord>\n<gx:coord>9 48 0</gx:coord>\n<gx:coord>1 2 "
        "3</gx:coord>\n"
        "<when>2026-12-11T08:00:00Z</when><when>2026-12-11T08:00:01Z</when>\n"
        "</gx:Track></Placemark>\n"
        "<Placemark><Point><coordinates>1,2</coordinates></Point></Placemark>\n"
        "<Placemark><TimeStamp><when>2026-12-11T08:00:00Z</when></TimeStamp>\n"
        "<MultiGeometry><Point><coordinates>1,200</coordinates></Point>\n"
        "<Point><coordinates> 3,4,5 </coordinates></Point></MultiGeometry></Placemark>\n"
        "<Placemark><ExtendedData><Data name=\"timestamp\"><displayName>When</displayName>"
        "<value>2026-12-11T08:00:02Z</value></Data></ExtendedData>"
        "<Point><coordinates>5,6</coordinates></Point></Placemark></Document></kml>",
        "47.25 8.5 2026-12-11T08:00:00.000Z|48 9 2026-12-11T08:00:01.000Z|"
        "4 3 2026-12-11T08:00:00.000Z|6 5 2026-12-11T08:00:02.000Z",
        "time 4,7; range 9");
    row("cut short", "trip.kml", Source, babelKml, 3000, "", "",
        "trip.kml is not a KML file: Premature end of document. (line 109)");
}

void TestImportFiles::csv_data()
{
    columns();
    // The program's own export with coordinates, as its writer puts it down.
    row("the program's export", "results.csv",
        "time,latitude,longitude,country,region,city,postal,timezone,source,accuracy,address_lat,"
        "address_lon,address_accuracy,wifi_lat,wifi_lon,wifi_accuracy\r\n"
        "2026-12-11T09:16:31+01:00,47.3667,8.55,CH,Zürich,Zürich,8000,Europe/Zurich,wifi,20.5,"
        "47.3667,8.55,8000,47.37691,8.54168,20.5\r\n"
        "2026-12-11T08:16:31Z,51.5,-0.12,\"X, \"\"Y\"\" & Z\",\"two\r\nlines\",,,Europe/London,"
        "address,,51.5,-0.12,,,,\r\n"
        "2026-12-11T08:16:31Z,,,CH,,Bern,,,,,,,,,,\r\n"
        ",48.85,2.35,FR,,Paris,,Europe/Paris,address,,48.85,2.35,,,,\r\n",
        "47.3667 8.55 2026-12-11T08:16:31.000Z CH/Zürich/Zürich/8000/Europe/Zurich/20.5|"
        "51.5 -0.12 2026-12-11T08:16:31.000Z X, \"Y\" & Z/two\r\nlines///Europe/London/",
        "time 6; range 5");
    row("gpsbabel's date and time columns", "trip.csv", Source,
        {"gpsbabel", "-i", "unicsv", "-f", "%in", "-o", "unicsv", "-F", "%out"}, -1, SourcePoints,
        "");
    row("semicolons, seconds since 1970", "points.txt",
        "LAT;Lng;TST\n\n47.5;8.25;1765440000\n47.5;8.25;2026-13-01T00:00:00Z\n",
        "47.5 8.25 2025-12-11T08:00:00.000Z", "time 4");
    row("no latitude", "trip.csv", "time,lon,lat_deg\n", "", "",
        "trip.csv is not a CSV file: its first line names no latitude column (line 1)");
    row("a quote never closed", "trip.csv", "lat,lon,time\n1,2,\"3\n4,5,6\n", "", "",
        "trip.csv is not a CSV file: a quoted field is never closed (line 2)");
}

void TestImportFiles::record_data()
{
    columns();
    row("the server's monthly record", "2026-12.rec",
        "2026-12-11T08:16:31Z\t*                 \t{\"_type\":\"location\",\"lat\":47.3667,"
        "\"lon\":8.55,\"tst\":1796976991,\"acc\":12,\"cc\":\"CH\",\"tid\":\"tr\"}\n"
        "2026-12-11T08:17:00Z\t*                 \t{\"_type\":\"transition\",\"lat\":1}\n"
        "2026-12-11T08:18:00Z\tcard              \t{\"_type\":\"card\",\"name\":\"x\"}\n"
        "\n"
        "2026-12-11T08:19:00Z\t*                 \t{\"_type\":\"location\",\"lat\":-33.5,"
        "\"lon\":151.25,\"locality\":\"Sydney\",\"tzname\":\"Australia/Sydney\"}\n"
        "2026-12-11T08:20:00Z\t* {\"_type\":\"location\",\"lon\":8.55,\"tst\":1765440991}\n",
        "47.3667 8.55 2026-12-11T08:16:31.000Z CH/////12|"
        "-33.5 151.25 2026-12-11T08:19:00.000Z //Sydney//Australia/Sydney/",
        "range 6");
    row("known by its content", "2026-12",
        "2026-12-11T08:16:31Z\t*\t{\"_type\":\"location\",\"lat\":1,\"lon\":2,\"tst\":0}",
        "1 2 1970-01-01T00:00:00.000Z", "");
    row("a line that is no record", "2026-12.rec",
        "2026-12-11T08:16:31Z\t*\t{\"_type\":\"card\"}\nlat,lon,time\n", "", "",
        "2026-12.rec is not a location record file: the line is not a time, a topic and a "
        "message (line 2)");
    row("a message cut short", "2026-12.rec",
        "2026-12-11T08:16:31Z\t*\t{\"_type\":\"card\"}\n2026-12-11T08:16:31Z\t*\t{\"_type\":", "",
        "",
        "2026-12.rec is not a location record file: its message is not a JSON object "
        "(unterminated object) (line 2)");
    row("no kind the program reads", "notes.txt", "Dear diary,\n", "", "",
        "notes.txt is not a track file the program reads (GPX, GeoJSON, KML, CSV or location "
        "record)");
    row("no such file", "missing.gpx", "", {}, NoFile, "", "",
        "Cannot read missing.gpx: there is no such file");
}

void TestImportFiles::largeFile_data()
{
    // The file: its head, its point again and again, its tail; whether its points are held whole
    // (as one GeoJSON feature's are) rather than read in bounded memory.
    // How many points: one file of 200 MB, smaller where the heap is instrumented and every
    // read is slow.
    const DataTable<QString, QByteArray, QByteArray, QByteArray, bool, qint64> table(
        {"name", "head", "point", "tail", "heldWhole", "points"});
    const QByteArray trackPoint
        = "<trkpt lat=\"47.5\" lon=\"8.25\"><ele>400</ele><time>2026-12-11T08:00:00Z</time>"
          "</trkpt>\n";
#ifndef TROVANEL_HEAP_IS_INSTRUMENTED
    const qint64 largest = 200 * 1024 * 1024 / trackPoint.size() + 1;
#else
    const qint64 largest = 40 * 1024 * 1024 / trackPoint.size() + 1;
#endif
    table.row("GPX", "big.gpx", "<gpx version=\"1.1\"><trk><trkseg>\n", trackPoint,
              "</trkseg></trk></gpx>\n", false, 400'000);
    table.row("GPX of 200 MB", "huge.gpx", "<gpx version=\"1.1\"><trk><trkseg>\n", trackPoint,
              "</trkseg></trk></gpx>\n", false, largest);
    table.row("GeoJSON", "big.geojson", "{\"type\":\"FeatureCollection\",\"features\":[\n",
              "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":"
              "[8.25,47.5]},\"properties\":{\"time\":\"2026-12-11T08:00:00Z\"}},\n",
              "{\"type\":\"Feature\",\"geometry\":null}]}\n", false, 400'000);
    table.row("GeoJSON, one feature", "line.geojson",
              "{\"type\":\"Feature\",\"properties\":{\"time\":\"2026-12-11T08:00:00Z\"},"
              "\"geometry\":{\"type\":\"MultiPoint\",\"coordinates\":[\n",
              "[8.25,47.5],\n", "[999,0]]}}", true, 400'000);
    table.row("CSV", "big.csv", "lat,lon,time\n", "47.5,8.25,2026-12-11T08:00:00Z\n", "", false,
              400'000);
}

void TestImportFiles::largeFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, point);
    QFETCH(QByteArray, tail);
    QFETCH(bool, heldWhole);
    QFETCH(qint64, points);
    const QString path = m_scratch.filePath(name);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(head);
        for (int i = 0; i < points; ++i)
            file.write(point);
        file.write(tail);
    }
    const qint64 size = QFileInfo(path).size();
    const qint64 before = residentBytes();
    qint64 most = before, count = 0, longestStep = 0;
    const std::unique_ptr<PointReader> reader = openPointFile(path);
    QList<ImportedPoint> read;
    for (bool more = true; more;) {
        const qint64 at = reader->bytesRead();
        more = reader->read(read, 1000);
        longestStep = std::max(longestStep, reader->bytesRead() - at);
        // The caller takes each slice away, as the import does.
        count += read.size();
        read.clear();
        most = std::max(most, residentBytes());
    }
    QCOMPARE(count, points);
    QCOMPARE(reader->bytesRead(), size);
    // Each call reads a bounded part of the file, however the points stand in it.
    QVERIFY2(longestStep < size / 8, qPrintable(QString("a call read %1 bytes").arg(longestStep)));
#ifndef TROVANEL_HEAP_IS_INSTRUMENTED
    QVERIFY2(heldWhole || most - before < size / 8,
             qPrintable(QString("grew by %1 bytes reading %2").arg(most - before).arg(size)));
#else
    Q_UNUSED(heldWhole);
    Q_UNUSED(most);
#endif
}

QTEST_GUILESS_MAIN(TestImportFiles)
#include "tst_importfiles.moc"
