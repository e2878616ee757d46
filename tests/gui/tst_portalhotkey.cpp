#include "desktop/modkeyboard.h"
#include "platform/togglehotkey.h"
#include "scheduler/schedulemodel.h"
#include "support/form1fixture.h"
#include "support/privatebus.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

const QString StandIn = QStringLiteral("org.freedesktop.impl.portal.desktop.trovaneltest");
const QString Today = QStringLiteral("Turn On (Press Ctrl + Shift + T to toggle ON/OFF)");
const QString Honest = QStringLiteral(
    "Turn On (Bind trovanel --toggle to a key in your keyboard settings to toggle ON/OFF)");

// The toggle in a Wayland session: Debian's portal frontend on a private session bus, with a
// stand-in desktop side binding what each row says. Each row starts the program twice.
class TestPortalHotkey : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateSystemBus> m_bus;
    QProcess *m_frontend = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        Form1Fixture::keepLookupsLocal("UTC");
        qputenv("XDG_DESKTOP_PORTAL_DIR", TROVANEL_TEST_SUPPORT_DIR);
        qputenv("XDG_CURRENT_DESKTOP", "trovaneltest");
        m_bus = std::make_unique<PrivateSystemBus>(PrivateSystemBus::Standing::ForSession);
        QVERIFY2(m_bus->startTemplate(TROVANEL_TEST_SUPPORT_DIR "/shortcutsportal.py", StandIn),
                 qPrintable(m_bus->problem()));
    }

    void shortcut_data()
    {
        QTest::addColumn<bool>("portal");
        QTest::addColumn<QString>("binds");
        QTest::addColumn<bool>("press");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("advice");
        QTest::newRow("the trigger asked for") << true << "asked" << false << Today << 0;
        QTest::newRow("pressed") << true << "Shift+Ctrl+T" << true << Today << 0;
        QTest::newRow("another trigger")
            << true << "LOGO+F9" << false << "Turn On (Press Super + F9 to toggle ON/OFF)" << 0;
        QTest::newRow("none bound") << true << "" << false << Honest << 1;
        QTest::newRow("no portal") << false << "" << false << Honest << 1;
    }
    void shortcut()
    {
        QFETCH(bool, portal);
        QFETCH(QString, binds);
        QFETCH(bool, press);
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
        if (portal && !m_frontend)
            QVERIFY2((m_frontend = m_bus->startProgram("/usr/libexec/xdg-desktop-portal", {},
                                                       "org.freedesktop.portal.Desktop")),
                     qPrintable(m_bus->problem()));
        else if (!portal && m_frontend)
            std::exchange(m_frontend, nullptr)->kill();
        QVERIFY(m_bus->callMock(StandIn, path, "SetTrigger", {binds}));

        Form1Fixture w({.open = false});
        for (int run = 0; run < 2; ++run) {
            w.make();
            w.form->parts().keyboard->setBackend(createToggleHotkey(nullptr, "wayland"));
            QSignalSpy answered(w.form->parts().keyboard, &modKeyboard::triggerChanged);
            w.load();
            QVERIFY(answered.wait(10000));
            QTEST(w.widget<QLabel>("Label4")->text(), "caption");
            // A message would follow the answer at once.
            QTest::qWait(100);
            const bool on = w.form->parts().schedule->isOn();
            if (press)
                QVERIFY(m_bus->callMock(StandIn, path, "Press", {"toggle-logging"}));
            QTRY_COMPARE_WITH_TIMEOUT(w.form->parts().schedule->isOn(), on != press, 5000);
        }
        QTEST(int(w.dialogs.notices.filter("trovanel --toggle").size()), "advice");
    }
};

QTEST_MAIN(TestPortalHotkey)
#include "tst_portalhotkey.moc"
