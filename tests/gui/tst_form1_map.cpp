#include "app/form1.h"
#include "app/mappresence.h"
#include "app/placesactions.h"
#include "map/mapview.h"
#include "map/mapwindow.h"
#include "support/form1fixture.h"
#include "support/maprows.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QImageReader>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

namespace {

// A loaded window with logging off and three logged places, the middle one a failed log.
struct Window : Form1Fixture
{
    Window()
        : Form1Fixture({.presets = {"StartStopState=Off"},
                        .start = QDateTime(QDate(2026, 12, 11), QTime(9, 15, 30)),
                        .loopback = false})
    {
        ResultsList &list = *form->parts().results;
        AddPlace(list, {"46.85, 9.53"});
        AddPlace(list, {""});
        AddPlace(list, {"-33.9, 18.4", "Cape Town", "Western Cape", "ZA"});
    }

    // The user clicks Show Map; the map window, once it is up.
    MapWindow *showMap()
    {
        click(QStringLiteral("PushButtonMap"));
        MapWindow *map = form->parts().places->map()->window();
        if (map && QTest::qWaitForWindowExposed(map))
            map->view()->image();
        return map;
    }

    QTableView *table() const { return widget<QTableView>(QStringLiteral("ListView1")); }
};

} // namespace

class TestForm1Map : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Form1Fixture::keepLookupsLocal("Europe/Zurich");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void buttonBesideTheSpreadsheet()
    {
        Window w;
        QPushButton *show = w.button(QStringLiteral("PushButtonMap"));
        auto *grid = qobject_cast<QGridLayout *>(w.button(QStringLiteral("PushButton6"))
                                                     ->parentWidget()
                                                     ->layout()
                                                     ->findChild<QGridLayout *>());
        QVERIFY(grid);
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(show), &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(std::pair(row, column), std::pair(1, 2));
        // Tab goes through the buttons row by row.
        QCOMPARE(w.button(QStringLiteral("PushButton6"))->nextInFocusChain(), show);
        QCOMPARE(show->nextInFocusChain(), w.button(QStringLiteral("PushButton8")));
    }

    void oneMapWindowThatHides()
    {
        Window w;
        MapWindow *map = w.showMap();
        QVERIFY(map);
        QVERIFY(map->isVisible());
        QCOMPARE(map->windowTitle(), "Trovanel Map");
        QCOMPARE(map->view()->accessibleDescription(), "2 points on 12/1/2026");
        QCOMPARE(map->findChild<QPushButton *>(QStringLiteral("MapFit"))->accessibleName(), "Fit");
        auto *save = map->findChild<QPushButton *>(QStringLiteral("MapSaveImage"));
        QCOMPARE(save->text(), "Save Map As Image");
        // The keyboard goes from the map to Fit to Save Map As Image.
        QCOMPARE(map->view()->nextInFocusChain()->objectName(), "MapFit");
        QCOMPARE(map->view()->nextInFocusChain()->nextInFocusChain(), save);

        // Closing the map ends nothing: the program goes on.
        QSignalSpy ended(w.form.get(), &Form1::closed);
        QVERIFY(map->close());
        QVERIFY(!map->isVisible());
        QCOMPARE(ended.count(), 0);
        QCOMPARE(w.showMap(), map);
        QVERIFY(map->isVisible());
        QCOMPARE(w.form->findChildren<MapWindow *>().size(), 1);

        // It followed the table while hidden and goes on following it.
        map->close();
        AddPlace(*w.form->parts().results, {"52.52, 13.40", "Berlin", "Land Berlin", "DE"});
        w.showMap();
        QCOMPARE(map->view()->accessibleDescription(), "3 points on 12/1/2026");
        w.click(QStringLiteral("PushButton1"));
        QCOMPARE(map->view()->accessibleDescription(), "No points: no logged row has coordinates");
    }

    void clickedPointSelectsItsRow()
    {
        Window w;
        MapWindow *map = w.showMap();
        QVERIFY(map);
        MapView *view = map->view();
        const QPoint capeTown = PixelOf(*view, 18.4, -33.9);
        QVERIFY(view->rect().contains(capeTown));
        const MapProjection before = view->projection();
        QTest::mouseClick(view, Qt::LeftButton, {}, capeTown);
        QCOMPARE(w.table()->currentIndex().row(), 2);
        QVERIFY(w.table()->selectionModel()->isRowSelected(2));
        // The map stays where the user clicked.
        QCOMPARE(view->projection(), before);

        QTest::mouseClick(view, Qt::LeftButton, {}, PixelOf(*view, 9.53, 46.85));
        QCOMPARE(w.table()->currentIndex().row(), 0);
        // A click on the sea selects nothing new.
        QTest::mouseClick(view, Qt::LeftButton, {}, PixelOf(*view, -30, 0));
        QCOMPARE(w.table()->currentIndex().row(), 0);
    }

    void selectedRowCentresTheMap()
    {
        Window w;
        MapWindow *map = w.showMap();
        QVERIFY(map);
        const MapProjection &shown = map->view()->projection();
        w.table()->selectRow(2);
        QCOMPARE(std::pair(shown.centreLongitude, shown.centreLatitude), std::pair(18.4, -33.9));
        // The failed log's row has no place: the map stays.
        w.table()->selectRow(1);
        QCOMPARE(std::pair(shown.centreLongitude, shown.centreLatitude), std::pair(18.4, -33.9));
        w.table()->selectRow(0);
        QCOMPARE(std::pair(shown.centreLongitude, shown.centreLatitude), std::pair(9.53, 46.85));
    }

    void savedAsImage_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("written");
        QTest::newRow("name without an extension") << "map"
                                                   << "map.png";
        QTest::newRow("name with .png") << "trip.png"
                                        << "trip.png";
        QTest::newRow("capital extension") << "TRIP.PNG"
                                           << "TRIP.PNG";
        QTest::newRow("another extension") << "trip.jpg"
                                           << "trip.jpg.png";
    }
    void savedAsImage()
    {
        QFETCH(QString, answer);
        QFETCH(QString, written);

        Window w;
        MapWindow *map = w.showMap();
        QVERIFY(map);
        const QString folder = w.env.root() + "/pictures";
        QVERIFY(QDir().mkpath(folder));
        w.dialogs.saveAnswers << folder + '/' + answer;
        map->findChild<QPushButton *>(QStringLiteral("MapSaveImage"))->click();
        QCOMPARE(w.dialogs.saveTitles, {"Save Map As Image"});
        QCOMPARE(w.dialogs.saveFilters, QList<QStringList>({{"PNG Images (*.png)"}}));
        QCOMPARE(QDir(folder).entryList(QDir::Files), {written});
        QCOMPARE(FileMode(folder + '/' + written), NewFileMode());

        QImageReader reader(folder + '/' + written);
        QCOMPARE(reader.format(), "png");
        const QImage image = reader.read();
        QCOMPARE(image.size(), map->view()->size());
        QCOMPARE(image.pixelColor(PixelOf(*map->view(), 18.4, -33.9)), MapColors::Point);
        QVERIFY(w.reports().isEmpty());
    }

    void unwritableImageReportedOnce()
    {
        Window w;
        MapWindow *map = w.showMap();
        QVERIFY(map);
        // A plain file stands where the folder should be.
        const QString notAFolder = w.env.root() + "/pictures";
        QFile blocker(notAFolder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        w.dialogs.saveAnswers << notAFolder + "/map.png";
        map->saveImage();
        QCOMPARE(w.reports(), {"MapWindow/SaveImage:102"});
        QCOMPARE(QFileInfo(notAFolder).size(), 0);

        // Cancelled: nothing asked of the disk, nothing reported.
        map->saveImage();
        QVERIFY(w.reports().isEmpty());
    }
};

QTEST_MAIN(TestForm1Map)
#include "tst_form1_map.moc"
