#include "map/mappoints.h"
#include "map/maprenderer.h"
#include "map/mapview.h"
#include "map/worldoutline.h"
#include "support/datatable.h"
#include "support/maprows.h"

#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

// The map as a user sees it at a known size: the table, its points and the view, showing
// the whole world.
struct Map
{
    Map()
    {
        view.resize(720, 400);
        view.showWorld();
    }
    QImage image() { return view.image(); }
    QColor at(double longitude, double latitude)
    {
        return ColourAt(image(), PixelOf(view, longitude, latitude));
    }

    ResultsList list;
    MapPoints points {&list};
    MapView view {&points};
};

} // namespace

class TestMapView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void placeDrawnWhereItIs_data()
    {
        const DataTable<QString, bool, double, double> table(
            {"coordinates", "drawn", "longitude", "latitude"});
        table.row("antimeridian east", "10.5, 180", true, 180, 10.5);
        table.row("antimeridian west", "-33.2, -180", true, -180, -33.2);
        table.row("north pole", "90, 0", true, 0, 90);
        table.row("south pole", "-90, 45", true, 45, -90);
        table.row("meridian meets equator", "0, 0", true, 0, 0);
        table.row("blanks round the numbers", "  46.85 ,  9.53 ", true, 9.53, 46.85);
        table.row("empty (a failed log)", "", false, 0, 0);
        table.row("words", "somewhere, nowhere", false, 0, 0);
        table.row("latitude beyond the pole", "90.5, 10", false, 10, 90);
        table.row("longitude beyond the edge", "10, 180.5", false, 180, 10);
        table.row("three numbers", "1, 2, 3", false, 2, 1);
        table.row("one number", "47.5", false, 0, 47.5);
        table.row("not a number", "nan, nan", false, 0, 0);
    }
    void placeDrawnWhereItIs()
    {
        QFETCH(QString, coordinates);
        QFETCH(bool, drawn);
        QFETCH(double, longitude);
        QFETCH(double, latitude);

        Map map;
        AddPlace(map.list, {coordinates});
        QCOMPARE(map.points.count(), drawn ? 1 : 0);
        const QColor seen = map.at(longitude, latitude);
        QCOMPARE(seen == MapColors::Point, drawn);

        // A ticked row stands out: another colour, and larger.
        map.list.setData(map.list.index(0, 0), Qt::Checked, Qt::CheckStateRole);
        QCOMPARE(map.at(longitude, latitude) == MapColors::Ticked, drawn);
        const QPoint beside
            = PixelOf(map.view, longitude, latitude) + QPoint(MapRenderer::TickedRadius, 0);
        QCOMPARE(ColourAt(map.image(), beside) == MapColors::Ticked, drawn);
    }

    void trackTakesTheShortWay_data()
    {
        const DataTable<double, double, double, QList<double>, QList<double>, double, double> table(
            {"from", "to", "latitude", "onTrack", "offTrack", "zoom", "about"});
        table.row("east over the antimeridian", 170, -170, 20, {176, -176}, {0, 90, -90}, 1, 0);
        table.row("west over the antimeridian", -170, 170, -35, {-176, 176}, {0, 90, -90}, 1, 0);
        table.row("one degree each side of it", 179, -179, 0, {}, {0, 90, -90, 178, -178 + 360}, 1,
                  0);
        table.row("within one half of the world", 10, 40, 50, {20, 30}, {0, 60}, 1, 0);
        table.row("across the meridian", -60, 100, 5, {0, 40}, {120, -90}, 1, 0);
        // Zoomed in, a step is drawn across the view though both its ends are far outside it.
        table.row("both ends beyond the view", -60, 100, 5, {10, 20, 30}, {}, 8, 20);
        table.row("one end beyond the view", 12, 100, -40, {14, 20, 30}, {5}, 8, 20);
    }
    void trackTakesTheShortWay()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, latitude);
        QFETCH(QList<double>, onTrack);
        QFETCH(QList<double>, offTrack);
        QFETCH(double, zoom);
        QFETCH(double, about);

        Map map;
        const QString text = QStringLiteral("%1, %2");
        AddPlace(map.list, {text.arg(latitude).arg(from)});
        AddPlace(map.list, {text.arg(latitude).arg(to)});
        map.view.zoomAt(PixelOf(map.view, about, latitude), zoom);
        const QImage image = map.image();
        // The track runs along the latitude: one pixel above or below it when its y falls
        // between two rows.
        auto trackNear = [&](double longitude) {
            const QPoint at = PixelOf(map.view, longitude, latitude);
            for (int dy = -1; dy <= 1; ++dy) {
                if (ColourAt(image, at + QPoint(0, dy)) == MapColors::Track)
                    return true;
            }
            return false;
        };
        for (double longitude : onTrack)
            QVERIFY2(trackNear(longitude), qPrintable(QString::number(longitude)));
        for (double longitude : offTrack)
            QVERIFY2(!trackNear(longitude), qPrintable(QString::number(longitude)));
    }

    void newestPointRinged()
    {
        Map map;
        AddPlace(map.list, {"10, 10"});
        AddPlace(map.list, {"-20, -40"});
        const QImage image = map.image();
        auto ringed = [&](double longitude, double latitude) {
            const QPoint centre = PixelOf(map.view, longitude, latitude);
            const int radius = MapRenderer::TickedRadius + 4;
            return ColourAt(image, centre + QPoint(radius, 0)) == MapColors::Newest
                && ColourAt(image, centre - QPoint(0, radius)) == MapColors::Newest;
        };
        QVERIFY(ringed(-40, -20));
        QVERIFY(!ringed(10, 10));
    }

    // A long track across the world is drawn over several paints, so that the window does not
    // wait for it; once the paints have caught up, the map is the one drawn in one go.
    void longTrackDrawnOverSeveralPaints()
    {
        Map map;
        QList<LogRecord> records;
        for (int n = 0; n < 200000; ++n) {
            LogRecord &record = records.emplace_back();
            record.timeText = QString::number(n);
            record.cells[4]
                = QStringLiteral("%1, %2").arg((n * 37) % 170 - 85).arg((n * 101) % 360 - 180);
        }
        map.list.appendRecords(records, {});
        for (int paints = 0; paints < 10000 && map.view.isFrameOutstanding(); ++paints) {
            map.view.grab();
            QCoreApplication::processEvents();
        }
        QVERIFY(!map.view.isFrameOutstanding());
        // The same map drawn in one go.
        QImage whole(map.view.size(), QImage::Format_ARGB32_Premultiplied);
        MapRenderer().render(whole, map.view.projection(), map.points);
        QCOMPARE(map.image(), whole);
    }

    void toolTipNamesTimeAndPlace_data()
    {
        const DataTable<Place, QString> table({"place", "tip"});
        table.row("city, region and country", {"46.85, 9.53"},
                  "12/1/2026 9:15:30 AM\nChur, Graubünden, CH\n"
                  "By address: 46.85, 9.53, within 50 km");
        table.row("country only", {"-23.5475, -46.6361", "", "", "Brazil"},
                  "12/1/2026 9:15:30 AM\nBrazil\nBy address: -23.5475, -46.6361, within 50 km");
        const QDateTime at(QDate(2026, 12, 1), QTime(9, 15, 30), QTimeZone(3600));
        table.row("Wi-Fi near the address",
                  {"46.85, 9.53", "Chur", "Graubünden", "CH", at,
                   Fix {46.8532, 9.5297, 35, Fix::Source::WiFi}, 2500},
                  "12/1/2026 9:15:30 AM\nChur, Graubünden, CH\n"
                  "By Wi-Fi: 46.8532, 9.5297, within 35 m\n"
                  "By address: 46.85, 9.53, within 2.5 km");
        // Farther apart than the address's accuracy alone, within the two together.
        table.row("Wi-Fi 3 km from the address",
                  {"46.85, 9.53", "Chur", "Graubünden", "CH", at,
                   Fix {46.877, 9.53, 1200, Fix::Source::WiFi}, 2500},
                  "12/1/2026 9:15:30 AM\nChur, Graubünden, CH\n"
                  "By Wi-Fi: 46.877, 9.53, within 1.2 km\n"
                  "By address: 46.85, 9.53, within 2.5 km");
        table.row("Wi-Fi far from the address",
                  {"52.37, 4.89", "Amsterdam", "North Holland", "NL", at,
                   Fix {46.85, 9.53, 1200, Fix::Source::WiFi}},
                  "12/1/2026 9:15:30 AM\nAmsterdam, North Holland, NL\n"
                  "By Wi-Fi: 46.85, 9.53, within 1.2 km\n"
                  "By address: 52.37, 4.89, within 50 km\n"
                  "The public address is placed 699 km from the laptop's Wi-Fi position (a VPN, "
                  "a proxy or a mobile network).");
        table.row("Wi-Fi far from the address, the address chosen",
                  {"52.37, 4.89", "Amsterdam", "North Holland", "NL", at,
                   Fix {46.85, 9.53, 1200, Fix::Source::WiFi}, 0, FixChoice::Address},
                  "12/1/2026 9:15:30 AM\nAmsterdam, North Holland, NL\n"
                  "By address: 52.37, 4.89, within 50 km\n"
                  "By Wi-Fi: 46.85, 9.53, within 1.2 km\nYou chose the address position.");
        table.row("the Wi-Fi position chosen, though less sure",
                  {"46.85, 9.53", "Chur", "Graubünden", "CH", at,
                   Fix {46.877, 9.53, 60000, Fix::Source::WiFi}, 2500, FixChoice::WiFi},
                  "12/1/2026 9:15:30 AM\nChur, Graubünden, CH\n"
                  "By Wi-Fi: 46.877, 9.53, within 60 km\n"
                  "By address: 46.85, 9.53, within 2.5 km\nYou chose the Wi-Fi position.");
    }
    void toolTipNamesTimeAndPlace()
    {
        QFETCH(Place, place);
        QFETCH(QString, tip);

        Map map;
        AddPlace(map.list, {"10, 10"});
        AddPlace(map.list, place);
        map.image();
        // The point stands at the Wi-Fi fix when there is one, those in the table being surer,
        // unless the user chose the address.
        const auto [latitude, longitude] = [&] {
            const QStringList parts = place.coordinates.split(u',');
            return place.wifi && place.chosen != FixChoice::Address
                ? std::pair(place.wifi->latitude, place.wifi->longitude)
                : std::pair(parts[0].toDouble(), parts[1].toDouble());
        }();
        const QPoint at = PixelOf(map.view, longitude, latitude);
        QCOMPARE(map.view.toolTipAt(at + QPoint(2, -2)), tip);
        // Away from every point there is nothing to tell.
        QCOMPARE(map.view.toolTipAt(PixelOf(map.view, -120, -60)), QString());
    }

    // Zoomed in on a row: what is drawn a way from the point, north or towards the Wi-Fi fix.
    void accuracyAndDisagreementDrawn_data()
    {
        const DataTable<Place, double, double, double, QString> table(
            {"place", "scale", "longitude", "latitude", "seen"});
        const Place chur {"46.85, 9.53"};
        const QDateTime at = chur.instant;
        // 50 km is 0.45 degrees of latitude.
        table.row("the estimate's circle", chur, 200, 9.53, 47.2, "circle");
        table.row("beyond the estimate's circle", chur, 200, 9.53, 47.35, "land");
        table.row("too small to see", {"40.0, -3.7", "", "", "ES", at}, 10, -3.7, 40.3, "land");
        table.row("the answer's radius", {"46.85, 9.53", "", "", "CH", at, {}, 5000}, 2000, 9.53,
                  46.88, "circle");
        table.row("beyond the answer's radius", {"46.85, 9.53", "", "", "CH", at, {}, 5000}, 2000,
                  9.53, 46.9, "land");
        // A laptop in Zurich whose address is placed in Milan, and one whose address is placed
        // where it is.
        table.row("a line to the address far away",
                  {"45.46, 9.19", "", "", "IT", at, Fix {47.37, 8.54, 40, Fix::Source::WiFi}}, 100,
                  8.865, 46.415, "line");
        table.row("no line to the address near",
                  {"47.38, 8.54", "", "", "CH", at, Fix {47.37, 8.54, 40, Fix::Source::WiFi}}, 100,
                  8.54, 47.375, "point");
    }
    void accuracyAndDisagreementDrawn()
    {
        QFETCH(Place, place);
        QFETCH(double, scale);
        QFETCH(double, longitude);
        QFETCH(double, latitude);
        QFETCH(QString, seen);

        Map map;
        const int row = AddPlace(map.list, place);
        QVERIFY(map.view.centreOnRow(row));
        map.view.zoomAt(QPointF(360, 200), scale / map.view.projection().scale);
        const QImage image = map.image();
        const QPoint probe = PixelOf(map.view, longitude, latitude);
        const QColor colour = ColourAt(image, probe);
        if (seen == "land" || seen == "point")
            QCOMPARE(colour, seen == "land" ? MapColors::Land : MapColors::Point);
        QCOMPARE(colour.blue() > colour.red() + 10 && colour != MapColors::Point
                     && colour != MapColors::Far,
                 seen == "circle");
        // A line a pixel wide passes within a pixel of its middle.
        bool line = false;
        for (int i = 0; i < 9; ++i)
            line = line || ColourAt(image, probe + QPoint(i % 3 - 1, i / 3 - 1)) == MapColors::Far;
        QCOMPARE(line, seen == "line");
    }

    void followsTheTable()
    {
        Map map;
        auto isPoint = [&](double longitude, double latitude) {
            const QColor seen = map.at(longitude, latitude);
            return seen == MapColors::Point || seen == MapColors::Ticked;
        };
        QVERIFY(!isPoint(9.53, 46.85));

        // A log shows once it is appended.
        const int row = AddPlace(map.list, {"46.85, 9.53"});
        QCOMPARE(map.at(9.53, 46.85), MapColors::Point);
        AddPlace(map.list, {"-33.9, 18.4"});
        QCOMPARE(map.at(18.4, -33.9), MapColors::Point);
        QCOMPARE(map.view.accessibleDescription(), "2 points on 12/1/2026");

        map.list.setData(map.list.index(row, 0), Qt::Checked, Qt::CheckStateRole);
        QCOMPARE(map.at(9.53, 46.85), MapColors::Ticked);
        map.list.setData(map.list.index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(map.at(9.53, 46.85), MapColors::Point);

        // A Wi-Fi fix that joins the row later, far from its address, moves the point there.
        QVERIFY(map.list.joinWiFiFix(map.list.id(row), {52.37, 4.89, 30, Fix::Source::WiFi}));
        QCOMPARE(map.at(4.89, 52.37), MapColors::Point);
        QVERIFY(!isPoint(9.53, 46.85));
        QCOMPARE(map.view.accessibleDescription(),
                 "2 points on 12/1/2026; 1 placed by its public address far from its Wi-Fi "
                 "position");

        // Rows coming back a slice at a time are read once: each slice adds its own points.
        QSignalSpy appended(&map.points, &MapPoints::appended);
        QSignalSpy reset(&map.points, &MapPoints::reset);
        LogRecord record;
        record.cells[ResultsList::Coordinates - 1] = QStringLiteral("35.68, 139.69");
        map.list.appendRecords({record, record}, {});
        map.list.appendRecords({LogRecord(), record}, {false, true});
        QCOMPARE(appended.size(), 2);
        QCOMPARE(appended[0][0].toInt(), 2);
        QCOMPARE(appended[1][0].toInt(), 4);
        QCOMPARE(reset.size(), 0);
        QCOMPARE(map.points.count(), 5);
        QCOMPARE(map.points.row(4), 5);
        QVERIFY(map.points.isTicked(4));

        map.list.clear();
        QVERIFY(!isPoint(9.53, 46.85));
        QVERIFY(!isPoint(18.4, -33.9));
        QCOMPARE(map.points.count(), 0);
        AddPlace(map.list, {"-33.9, 18.4"});
        QCOMPARE(map.at(18.4, -33.9), MapColors::Point);
    }

    void describedInWords_data()
    {
        const DataTable<QStringList, QString> table({"coordinates", "description"});
        table.row("nothing logged", {}, "No points: no logged row has coordinates");
        table.row("only failed logs", {"", ""}, "No points: no logged row has coordinates");
        table.row("one place", {"1, 1"}, "1 point on 12/1/2026");
        table.row("a week of places, then a failed log", {"1, 1", "2, 2", "3, 3", ""},
                  "3 points from 12/1/2026 to 12/7/2026");
    }
    void describedInWords()
    {
        QFETCH(QStringList, coordinates);
        QFETCH(QString, description);

        Map map;
        QCOMPARE(map.view.accessibleName(), "Map");
        Place place;
        for (const QString &text : coordinates) {
            place.coordinates = text;
            AddPlace(map.list, place);
            place.instant = place.instant.addDays(3);
        }
        QCOMPARE(map.view.accessibleDescription(), description);
    }

    void fitShowsEveryPoint()
    {
        Map map;
        map.view.fit();
        QCOMPARE(map.view.projection().scale, MapProjection::worldScale(map.view.size()));

        AddPlace(map.list, {"46.85, 9.53"});
        AddPlace(map.list, {"52.52, 13.40"});
        AddPlace(map.list, {"41.9, 12.5"});
        map.view.fit();
        QVERIFY(map.view.projection().scale > 4 * MapProjection::worldScale(map.view.size()));
        auto allShown = [&] {
            const QImage image = map.image();
            for (const auto &[longitude, latitude] :
                 {std::pair(9.53, 46.85), {13.40, 52.52}, {12.5, 41.9}}) {
                if (!map.view.rect().contains(PixelOf(map.view, longitude, latitude))
                    || ColourAt(image, PixelOf(map.view, longitude, latitude)) != MapColors::Point)
                    return false;
            }
            return true;
        };
        QVERIFY(allShown());
        // A smaller window still shows them all.
        map.view.resize(300, 200);
        QVERIFY(allShown());
        // Once the user zoomed, a new size keeps the zoom.
        QTest::keyClick(&map.view, Qt::Key_Plus);
        const double zoomed = map.view.projection().scale;
        map.view.resize(720, 400);
        QCOMPARE(map.view.projection().scale, zoomed);
    }

    void keysAndWheelMoveTheView()
    {
        Map map;
        const double world = map.view.projection().scale;
        QTest::keyClick(&map.view, Qt::Key_Plus);
        QVERIFY(map.view.projection().scale > world);
        QTest::keyClick(&map.view, Qt::Key_Minus);
        QVERIFY(std::abs(map.view.projection().scale - world) < 1e-9);
        QTest::keyClick(&map.view, Qt::Key_Right);
        QVERIFY(map.view.projection().centreLongitude > 0);
        QTest::keyClick(&map.view, Qt::Key_Up);
        QVERIFY(map.view.projection().centreLatitude > 0);
        // Zooming out never goes on for ever.
        for (int i = 0; i < 50; ++i)
            QTest::keyClick(&map.view, Qt::Key_Minus);
        QVERIFY(map.view.projection().scale >= world / 2 - 1e-9);

        // The wheel zooms about the pointer: the place under it stays under it.
        map.view.showWorld();
        const QPointF pointer = map.view.projection().toScreen(9.53, 46.85);
        QWheelEvent wheel(pointer, map.view.mapToGlobal(pointer), {}, {0, 240}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&map.view, &wheel);
        QVERIFY(map.view.projection().scale > 1.5 * world);
        const QPointF stays = map.view.projection().toGeo(pointer);
        QVERIFY(std::abs(stays.x() - 9.53) < 1e-6 && std::abs(stays.y() - 46.85) < 1e-6);

        // A drag pans by as much as the pointer moved.
        const MapProjection before = map.view.projection();
        QTest::mousePress(&map.view, Qt::LeftButton, {}, {300, 200});
        QTest::mouseMove(&map.view, {340, 220});
        QTest::mouseRelease(&map.view, Qt::LeftButton, {}, {340, 220});
        QVERIFY(
            std::abs((before.centreLongitude - map.view.projection().centreLongitude) * before.scale
                     - 40)
            < 1e-6);
    }

    void outlinesBuiltIn_data()
    {
        const DataTable<double, double, double, QColor> table(
            {"zoom", "longitude", "latitude", "colour"});
        table.row("the middle of Africa", 1, 23, 0, MapColors::Land);
        table.row("the middle of the Atlantic", 1, -30, 0, MapColors::Sea);
        table.row("the prairie", 1, -100, 45, MapColors::Land);
        table.row("the Pacific", 1, 170, 30, MapColors::Sea);
        table.row("the 49th parallel border", 1, -100, 49, MapColors::Border);
        // Zoomed in, the border's straight run begins and ends far outside the view.
        table.row("the border, a region across", 8, -100, 49, MapColors::Border);
        table.row("the border, under a degree across", 400, -100, 49, MapColors::Border);
        table.row("the prairie, under a degree across", 400, -100, 48.9, MapColors::Land);
        table.row("the Gulf of Mexico, a region across", 8, -90, 25, MapColors::Sea);
    }
    void outlinesBuiltIn()
    {
        QFETCH(double, zoom);
        QFETCH(double, longitude);
        QFETCH(double, latitude);
        QFETCH(QColor, colour);

        Map map;
        map.view.zoomAt(PixelOf(map.view, longitude, latitude), zoom);
        const QImage image = map.image();
        const QPoint at = PixelOf(map.view, longitude, latitude);
        QVERIFY(image.rect().contains(at));
        if (colour != MapColors::Border) {
            QCOMPARE(ColourAt(image, at), colour);
            return;
        }
        // A border falls on one of the rows next to its latitude's.
        QStringList seen;
        for (int dy = -1; dy <= 1; ++dy)
            seen << ColourAt(image, at + QPoint(0, dy)).name();
        QVERIFY2(seen.contains(colour.name()), qPrintable(seen.join(u' ')));
    }

    void damagedOutlineFileReadSoFar()
    {
        QFile file(QStringLiteral(":/map/countries.shp"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        const int complete = ReadShapePolygons(whole).elementCount();
        QVERIFY(complete > 5000);
        const int half = ReadShapePolygons(whole.left(whole.size() / 2)).elementCount();
        QVERIFY(half > 0 && half < complete);
        QVERIFY(ReadShapePolygons(QByteArray(500, 'x')).isEmpty());
        QVERIFY(ReadShapePolygons(whole.left(50)).isEmpty());
        // A part count far beyond the record's length.
        QByteArray lying = whole;
        lying[100 + 8 + 36 + 3] = char(0x7f);
        QVERIFY(ReadShapePolygons(lying).isEmpty());
    }
};

QTEST_MAIN(TestMapView)
#include "tst_mapview.moc"
