#include "desktop/csystray.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

class TestSysTray : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void designedState()
    {
        cSysTray tray;
        QCOMPARE(tray.TrayTip(), QStringLiteral("Telnet Server"));
        QVERIFY(!tray.InTray());
        QVERIFY(!tray.TrayIcon().isNull());
    }

    void inTrayFollowsTheProperty()
    {
        cSysTray tray;
        tray.setInTray(true);
        QVERIFY(tray.InTray());
        QVERIFY(tray.systemTrayIcon()->isVisible());
        // Setting the same value again changes nothing.
        tray.setInTray(true);
        QVERIFY(tray.systemTrayIcon()->isVisible());
        tray.setInTray(false);
        QVERIFY(!tray.systemTrayIcon()->isVisible());
    }

    void onlyIconsAreTaken_data()
    {
        QTest::addColumn<QVariant>("picture");
        QTest::addColumn<bool>("taken");
        QPixmap red(16, 16);
        red.fill(Qt::red);
        QTest::newRow("icon") << QVariant::fromValue(QIcon(red)) << true;
        QTest::newRow("plain picture") << QVariant::fromValue(red) << false;
        QTest::newRow("empty icon") << QVariant::fromValue(QIcon()) << false;
        QTest::newRow("nothing") << QVariant() << false;
    }

    void onlyIconsAreTaken()
    {
        QFETCH(QVariant, picture);
        QFETCH(bool, taken);
        cSysTray tray;
        const qint64 before = tray.TrayIcon().cacheKey();
        tray.setTrayIcon(picture);
        QCOMPARE(tray.TrayIcon().cacheKey() != before, taken);
        QCOMPARE(tray.systemTrayIcon()->icon().cacheKey(), tray.TrayIcon().cacheKey());
    }

    void tipReachesTheIcon()
    {
        cSysTray tray;
        tray.setTrayTip(QStringLiteral("Trovanel"));
        QCOMPARE(tray.systemTrayIcon()->toolTip(), QStringLiteral("Trovanel"));
    }

    void showOnceShowsOnce_data()
    {
        QTest::addColumn<QList<bool>>("showOnceFlags");
        QTest::addColumn<int>("shown");
        QTest::newRow("once, twice") << QList<bool> {true, true} << 1;
        QTest::newRow("always, thrice") << QList<bool> {false, false, false} << 3;
        QTest::newRow("always after once") << QList<bool> {true, false, true} << 2;
    }

    void showOnceShowsOnce()
    {
        QFETCH(QList<bool>, showOnceFlags);
        QFETCH(int, shown);
        cSysTray tray;
        int count = 0;
        for (const bool once : showOnceFlags) {
            const int before = tray.showOnceCount();
            tray.ShowBalloon(QStringLiteral("text"), QStringLiteral("Trovanel"), 5, once);
            // A balloon is up exactly when this call showed one.
            const bool showedNow
                = tray.balloonShowing() && (!once || tray.showOnceCount() > before);
            count += showedNow ? 1 : 0;
            if (showedNow)
                QMetaObject::invokeMethod(tray.systemTrayIcon(), "messageClicked");
        }
        QCOMPARE(count, shown);
    }

    // The balloon ends when the user clicks it, or by itself after its time.
    void balloonEnds()
    {
        cSysTray tray;
        tray.ShowBalloon(QStringLiteral("text"), QStringLiteral("Trovanel"), 1, false);
        QVERIFY(tray.balloonShowing());
        QTRY_VERIFY_WITH_TIMEOUT(!tray.balloonShowing(), 3000);

        tray.ShowBalloon(QStringLiteral("text"), QStringLiteral("Trovanel"), 60, false);
        QVERIFY(tray.balloonShowing());
        QMetaObject::invokeMethod(tray.systemTrayIcon(), "messageClicked");
        QVERIFY(!tray.balloonShowing());
    }

    void mouseEvents_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("events");
        QTest::newRow("left click") << int(QSystemTrayIcon::Trigger) << "down1 up1";
        QTest::newRow("right click") << int(QSystemTrayIcon::Context) << "down2 up2";
        QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << "dbl1";
        QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << "";
    }

    void mouseEvents()
    {
        QFETCH(int, reason);
        QFETCH(QString, events);
        cSysTray tray;
        QStringList seen;
        connect(&tray, &cSysTray::MouseDown, this,
                [&](int button, int id) { seen << QStringLiteral("down%1").arg(button + id); });
        connect(&tray, &cSysTray::MouseUp, this,
                [&](int button, int id) { seen << QStringLiteral("up%1").arg(button + id); });
        connect(&tray, &cSysTray::MouseDblClick, this,
                [&](int button, int id) { seen << QStringLiteral("dbl%1").arg(button + id); });
        Q_EMIT tray.systemTrayIcon()->activated(QSystemTrayIcon::ActivationReason(reason));
        QCOMPARE(seen.join(QLatin1Char(' ')), events);
    }
};

QTEST_MAIN(TestSysTray)
#include "tst_csystray.moc"
