#include "platform/x11recordhotkey.h"

#include <QSignalSpy>
#include <QTest>

// The key logic of the Ctrl+Shift+T listener, fed with recorded key events as the display
// sends them. Key codes: 37 Control_L, 105 Control_R, 50 Shift_L, 62 Shift_R, 28 T, 30 U.
class TestHotkeyLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void toggles_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<int>("activations");
        // +code presses, -code releases, @t sets the time of the events that follow.
        QTest::newRow("ctrl+shift+t") << "+37 +50 +28 -28 -50 -37" << 1;
        QTest::newRow("right-hand modifiers") << "+105 +62 +28 -28 -62 -105" << 1;
        QTest::newRow("shift pressed first") << "+50 +37 +28 -28 -37 -50" << 1;
        QTest::newRow("ctrl+t") << "+37 +28 -28 -37" << 0;
        QTest::newRow("shift+t") << "+50 +28 -28 -50" << 0;
        QTest::newRow("t alone") << "+28 -28" << 0;
        QTest::newRow("ctrl+shift+u") << "+37 +50 +30 -30 -50 -37" << 0;
        QTest::newRow("t held before the modifiers") << "+28 +37 +50 -50 -37 -28" << 0;
        QTest::newRow("three presses while held")
            << "+37 +50 @1 +28 @2 -28 @3 +28 @4 -28 @5 +28 @6 -28 -50 -37" << 3;
        QTest::newRow("modifier released before t") << "+37 +50 -50 +28 -28 -37" << 0;
        // A held T repeats as release and press with one time stamp, or as presses alone.
        QTest::newRow("held t repeats")
            << "+37 +50 @10 +28 @20 -28 +28 @30 -28 +28 @40 +28 @50 -28 -50 -37" << 1;
    }

    void toggles()
    {
        QFETCH(QString, events);
        QFETCH(int, activations);

        X11RecordHotkey hotkey;
        hotkey.setKeycodes({37, 105}, {50, 62}, {28});
        QSignalSpy spy(&hotkey, &GlobalHotkey::activated);
        std::uint32_t time = 0;
        for (const QString &token : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (token.startsWith(QLatin1Char('@'))) {
                time = token.mid(1).toUInt();
                continue;
            }
            hotkey.keyEvent(token.startsWith(QLatin1Char('+')), std::uint8_t(token.mid(1).toUInt()),
                            time);
        }
        QCOMPARE(spy.count(), activations);
    }
};

QTEST_GUILESS_MAIN(TestHotkeyLogic)
#include "tst_hotkeylogic.moc"
