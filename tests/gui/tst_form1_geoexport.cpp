#include "app/form1.h"
#include "app/look.h"
#include "app/statusframe.h"
#include "map/geoexport.h"
#include "results/resultslist.h"
#include "support/filesizelimit.h"
#include "support/form1fixture.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>

#include <optional>

namespace {

const QStringList Filters = {"GPX waypoints (*.gpx)", "GeoJSON (*.geojson *.json)",
                             "KML placemarks (*.kml)", "CSV with latitude and longitude (*.csv)"};

// A loaded window with logging off; rows are logged with their instants, as a lookup logs them.
struct Window : Form1Fixture
{
    Window()
        : Form1Fixture({.presets = {"StartStopState=Off"},
                        .start = QDateTime(QDate(2026, 12, 11), QTime(9, 15, 30)),
                        .loopback = false})
    { }

    // Coordinates cells, each a row, all ticked but the last when `lastUnticked`.
    void log(const QStringList &coordinates, bool lastUnticked = false)
    {
        QList<LogRecord> records;
        QList<bool> ticks;
        for (const QString &place : coordinates) {
            LogRecord record;
            record.timeText = "12/11/2026 9:16:31 AM";
            record.instant
                = QDateTime(QDate(2026, 12, 11), QTime(9, 16, 31), Qt::OffsetFromUTC, 3600);
            record.cells = {"CH", "Zürich", "Zürich", "8000", place, "Europe/Zurich"};
            records << record;
            ticks << true;
        }
        if (lastUnticked)
            ticks.last() = false;
        form->parts().results->appendRecords(records, ticks);
    }

    PointerRule::Pointer pointer() const { return form->parts().pointer->pointer(); }
    QStringList files(const QString &folder) const
    {
        return QDir(env.root() + "/" + folder)
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
};

} // namespace

class TestForm1GeoExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("TROVANEL_SERVICE_URL", "http://127.0.0.1:9"); }

    // Beside "Save Results As Text File" (tst_form1_startup follows the keyboard through it).
    void buttonInGrid()
    {
        Window w;
        QPushButton *saveAs = w.button("PushButtonSaveAs");
        QCOMPARE(saveAs->text(), QString::fromUtf8("Save Results As\u2026"));
        QCOMPARE(saveAs->accessibleName(), saveAs->text());
        QGridLayout *grid = nullptr;
        for (QGridLayout *layout : w.form->findChildren<QGridLayout *>()) {
            if (layout->indexOf(saveAs) >= 0)
                grid = layout;
        }
        QVERIFY(grid);
        auto position = [grid](QWidget *button) {
            int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(grid->indexOf(button), &row, &column, &rowSpan, &columnSpan);
            return QPoint(column, row);
        };
        QCOMPARE(position(saveAs), QPoint(2, 0));
        QCOMPARE(position(w.button("PushButton4")), QPoint(1, 0));
    }

    void saveWritten_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<QStringList>("notices");
        const QStringList one {"1 ticked row has no usable coordinates and was left out of the "
                               "file."};
        QTest::newRow("GPX by filter") << "trip" << 0 << "trip.gpx" << QByteArray("<?xml") << one;
        QTest::newRow("GeoJSON by name") << "trip.json" << 3 << "trip.json"
                                         << QByteArray("{\"type\":\"FeatureCollection\"") << one;
        QTest::newRow("KML by filter") << "trip" << 2 << "trip.kml" << QByteArray("<?xml") << one;
        // The CSV keeps the row, with empty coordinates: nothing to tell.
        QTest::newRow("CSV by name") << "Trip.CSV" << 0 << "Trip.CSV"
                                     << QByteArray("time,latitude,longitude,") << QStringList();
    }
    void saveWritten()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QFETCH(QByteArray, start);
        QFETCH(QStringList, notices);
        Window w;
        w.log({"47.3667, 8.55", "garbled", "46.0, 7.0", "45.0, 6.0"}, true);
        QVERIFY(QDir().mkpath(w.env.root() + "/out"));
        w.dialogs.saveAnswers << w.env.root() + "/out/" + typed;
        w.dialogs.filterAnswers << Filters[filter];

        w.click("PushButtonSaveAs");
        QCOMPARE(w.dialogs.saveFilters, QList<QStringList> {Filters});
        QTRY_COMPARE(w.pointer(), PointerRule::Pointer::Default);
        QCOMPARE(w.files("out"), QStringList {written});
        QCOMPARE(FileMode(w.env.root() + "/out/" + written), NewFileMode());
        const QByteArray file = FileBytes(w.env.root() + "/out/" + written);
        QVERIFY2(file.startsWith(start), file.left(80).constData());
        QCOMPARE(w.dialogs.notices, notices);
        QCOMPARE(w.form->parts().Frame4->progressText(), "Progress Bar");
        QCOMPARE(w.reports(), QStringList());
        if (written.endsWith(".json")) {
            const QJsonArray features
                = QJsonDocument::fromJson(file).object().value("features").toArray();
            QCOMPARE(features.size(), 2);
            QCOMPARE(features[1].toObject().value("properties").toObject().value("time"),
                     "2026-12-11T09:16:31+01:00");
        }
    }

    // A name that took its extension only after the dialog was not asked about there: asked
    // here before an existing file is replaced.
    void replaceAsked_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("kept") << false;
        QTest::newRow("replaced") << true;
    }
    void replaceAsked()
    {
        QFETCH(bool, replace);
        Window w;
        w.log({"47.3667, 8.55"});
        QVERIFY(QDir().mkpath(w.env.root() + "/out"));
        const QString path = w.env.root() + "/out/trip.v2.kml";
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old contents\n") > 0);
        }
        w.dialogs.saveAnswers << w.env.root() + "/out/trip.v2";
        w.dialogs.filterAnswers << Filters[2];
        w.dialogs.yesNoAnswers << replace;

        w.click("PushButtonSaveAs");
        // A second click while the first export runs is not taken.
        w.click("PushButtonSaveAs");
        QTRY_COMPARE(w.pointer(), PointerRule::Pointer::Default);
        QTest::qWait(50);
        QCOMPARE(w.dialogs.questions,
                 QStringList {"trip.v2.kml already exists.\nDo you want to replace it?"});
        QCOMPARE(w.dialogs.saveTitles.size(), replace ? 1 : 2);
        QCOMPARE(FileBytes(path).startsWith("<?xml"), replace);
        QCOMPARE(w.files("out"), QStringList {"trip.v2.kml"});
        QCOMPARE(w.reports(), QStringList());
    }

    void saveFails_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("sizeLimit");
        QTest::addColumn<QString>("report");
        QTest::newRow("folder missing")
            << "missing/trip.gpx" << 0 << "Form1/PushButtonSaveAs_Click:104";
        QTest::newRow("disk full") << "out/trip.gpx" << 600 << "Form1/PushButtonSaveAs_Click:106";
    }
    void saveFails()
    {
        QFETCH(QString, target);
        QFETCH(int, sizeLimit);
        QFETCH(QString, report);
        Window w;
        QStringList many;
        for (int i = 0; i < 100; ++i)
            many << "47.3667, 8.55";
        w.log(many);
        QVERIFY(QDir().mkpath(w.env.root() + "/out"));
        {
            QFile old(w.env.root() + "/out/trip.gpx");
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old contents\n") > 0);
        }
        w.dialogs.saveAnswers << w.env.root() + "/" + target;
        w.dialogs.filterAnswers << Filters[0];
        {
            std::optional<FileSizeLimit> limit;
            if (sizeLimit > 0) {
                limit.emplace(sizeLimit);
                QVERIFY(limit->ok());
            }
            w.click("PushButtonSaveAs");
            QTRY_COMPARE(w.pointer(), PointerRule::Pointer::Default);
            QTest::qWait(50);
        }
        QCOMPARE(w.reports(), QStringList {report});
        QCOMPARE(FileBytes(w.env.root() + "/out/trip.gpx"), "old contents\n");
        QCOMPARE(w.files("out"), QStringList {"trip.gpx"});
        QVERIFY(!QFileInfo::exists(w.env.root() + "/missing"));
        QCOMPARE(w.dialogs.notices, QStringList());
        QCOMPARE(w.form->parts().Frame4->progressText(), "Progress Bar");
    }
};

QTEST_MAIN(TestForm1GeoExport)
#include "tst_form1_geoexport.moc"
