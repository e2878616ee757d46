#include "app/importedrows.h"
#include "app/importjob.h"
#include "lookup/curlfunctions.h"
#include "results/keptresults.h"
#include "results/resultslist.h"
#include "share/ownmessage.h"
#include "share/restoreclient.h"
#include "support/datatable.h"
#include "support/restoreserver.h"
#include "support/scripteddialogs.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
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

// A GPX track of the points "time latitude longitude", a point without a time where the time is
// "-".
QByteArray gpx(const QStringList &points)
{
    QByteArray text = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
                      "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>\n";
    for (const QString &point : points) {
        const QStringList part = point.split(u' ');
        text += "<trkpt lat=\"" + part[1].toUtf8() + "\" lon=\"" + part[2].toUtf8() + "\">";
        if (part[0] != u'-')
            text += "<time>" + part[0].toUtf8() + "</time>";
        text += "</trkpt>\n";
    }
    return text + "</trkseg></trk></gpx>\n";
}

// The record as a test keeps it: one logged row at Noon in Paris, kept in a history of its own.
struct Record
{
    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ResultsList table;
    KeptResults kept {&table, &dialogs};
    RestoreClient client;
    ImportJob job {&table, &kept, &client};

    explicit Record(bool keep)
    {
        kept.setStorePath(folder.filePath(QStringLiteral("history.sqlite")));
        QSignalSpy loaded(&kept, &KeptResults::loaded);
        kept.start(keep);
        if (keep && !loaded.wait())
            qFatal("the kept history did not come back");
        LogRecord logged;
        logged.instant = Noon.toOffsetFromUtc(7200);
        logged.timeText = QStringLiteral("logged");
        logged.cells = {"FR", "Île-de-France", "Paris", "75001", "48.8566,2.3522", "Europe/Paris"};
        kept.appendRecord(logged);
    }
    QString file(const QString &name, const QByteArray &bytes)
    {
        QFile out(folder.filePath(name));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return {};
        return out.fileName();
    }
    // Waits for the import's end; its ok and text.
    std::pair<bool, QString> outcome()
    {
        QSignalSpy finished(&job, &ImportJob::finished);
        if (!finished.wait(20000))
            return {false, QStringLiteral("no end")};
        return {finished[0][0].toBool(), finished[0][1].toString()};
    }
    QStringList times() const
    {
        QStringList texts;
        for (int row = 0; row < table.rows(); ++row)
            texts << (table.cell(row, 0) == u"logged"
                          ? QStringLiteral("logged")
                          : table.instant(row).toUTC().toString(QStringLiteral("hh:mm:ss")));
        return texts;
    }
};

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

        ImportedRows rows(list);
        rows.setOrigin(QStringLiteral("trip.gpx"));
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
        ImportedRows rows(list);
        rows.setOrigin(QStringLiteral("trip.gpx"));
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

    // Files come into the record whole, in time order among its rows, kept with it, or not at
    // all; a point already there is counted, not added.
    void intoTheRecord_data()
    {
        const DataTable<QStringList, bool, bool, QString, QStringList, qint64> table(
            {"files", "keep", "ok", "text", "times", "kept"});
        const QString track
            = gpx({"2026-07-01T11:00:00Z 48.85 2.35", "2026-07-01T12:00:05Z 48.8566 2.3522",
                   "2026-07-01T13:30:00Z 45.76 4.84"});
        table.row("a track around the logged row", {track}, true, true,
                  "2 new, 1 already in the record", {"11:00:00", "logged", "13:30:00"}, 3);
        table.row("not kept", {track}, false, true, "2 new, 1 already in the record",
                  {"11:00:00", "logged", "13:30:00"}, 0);
        table.row("the same track in two files", {track, track}, true, true,
                  "2 new, 4 already in the record", {"11:00:00", "logged", "13:30:00"}, 3);
        table.row("points without a time", {gpx({"- 1 1", "2026-07-01T14:00:00Z 45 5", "- 2 2"})},
                  true, true,
                  "1 new, 0 already in the record\n"
                  "2 points without a time were skipped: lines 3, 5",
                  {"logged", "14:00:00"}, 2);
        table.row("a file that is not one", {track, QStringLiteral("<gpx><trk>")}, true, false,
                  "2.gpx is not a GPX file", {"logged"}, 1);
    }
    void intoTheRecord()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, keep);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        QFETCH(QStringList, times);
        QFETCH(qint64, kept);
        Record record(keep);
        QStringList paths;
        for (const QString &content : files)
            paths << record.file(QStringLiteral("%1.gpx").arg(paths.size() + 1), content.toUtf8());
        record.job.importFiles(paths);
        const auto [done, said] = record.outcome();
        QCOMPARE(done, ok);
        QVERIFY2(ok ? said == text : said.startsWith(text), qPrintable(said));
        QCOMPARE(record.times(), times);
        QCOMPARE(keep ? record.kept.store().count() : 0, kept);
        const int imported = int(times.indexOf(QStringLiteral("logged")) == 0);
        if (ok)
            QCOMPARE(
                record.table.data(record.table.index(imported, 0), Qt::AccessibleDescriptionRole),
                QStringLiteral("Imported from 1.gpx (time zone guessed)"));
    }

    // Logs this laptop shared come back from its server as the rows they are: none twice; the
    // others join, and stay after a restart, in time order.
    void restoredFromTheServer()
    {
        RestoreServer server(RestoreServer::Kind::Recorder);
        QVERIFY(server.listen());
        server.user = QStringLiteral("me");
        server.device = QStringLiteral("laptop");
        auto record = std::make_unique<Record>(true);
        const OwnMessage::Sender sender {QStringLiteral("lp"), ConnectionKind::Unknown};
        server.store(OwnMessage::location(record->table.record(0), sender, 0));
        LogRecord earlier = record->table.record(0);
        earlier.instant = earlier.instant.addSecs(-3600);
        // A name of letters beyond ASCII, with cells after it.
        QJsonObject named
            = QJsonDocument::fromJson(OwnMessage::location(earlier, sender, 0)).object();
        named.insert(QStringLiteral("city"), QStringLiteral("Zürich"));
        server.store(QJsonDocument(named).toJson(QJsonDocument::Compact));

        RestoreAddress address;
        address.base = server.baseUrl();
        address.user = server.user;
        address.device = server.device;
        for (const QString &text : {QStringLiteral("1 new, 1 already in the record"),
                                    QStringLiteral("0 new, 2 already in the record")}) {
            record->job.restore(address);
            QCOMPARE(record->outcome(), std::make_pair(true, text));
        }
        // After a restart the rows come back in time order, each saying where it came from.
        ScriptedDialogs dialogs;
        ResultsList again;
        KeptResults reopened(&again, &dialogs);
        reopened.setStorePath(record->kept.store().path());
        QSignalSpy loaded(&reopened, &KeptResults::loaded);
        reopened.start(true);
        QVERIFY(loaded.wait());
        QCOMPARE(again.rows(), 2);
        QCOMPARE(again.cell(1, 0), QStringLiteral("logged"));
        QCOMPARE(again.cell(0, LogTable::City), QStringLiteral("Zürich"));
        QCOMPARE(again.cell(0, LogTable::Coordinates), QStringLiteral("48.856600,2.352200"));
        QCOMPARE(again.data(again.index(0, 0), Qt::AccessibleDescriptionRole).toString(),
                 QStringLiteral("Imported from 127.0.0.1 (time zone guessed)"));
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
