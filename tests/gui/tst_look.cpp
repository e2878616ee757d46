// Pointer moves go through the window system, so enter and leave come as on a desktop.
#define QTEST_QPA_MOUSE_HANDLING
#include "app/look.h"
#include "core/failure.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A window with one of each kind of control the skin and the pointer rule care about.
struct Window
{
    QWidget top;
    QPushButton *button = new QPushButton(QStringLiteral("Log Now (Test)"), &top);
    QLineEdit *box = new QLineEdit(&top);
    QGroupBox *frame = new QGroupBox(QStringLiteral("Log Schedule"), &top);
    QRadioButton *option = new QRadioButton(QStringLiteral("Daily:"), frame);
    QCheckBox *check = new QCheckBox(QStringLiteral("Minimized to system tray"), &top);
    QLabel *label = new QLabel(QStringLiteral("hour/s"), &top);

    Window()
    {
        QPalette white = top.palette();
        white.setColor(QPalette::Window, Qt::white);
        top.setPalette(white);
        top.resize(300, 300);
        button->setGeometry(10, 10, 120, 30);
        box->setGeometry(10, 50, 120, 25);
        frame->setGeometry(10, 90, 200, 80);
        check->setGeometry(10, 180, 200, 25);
        label->setGeometry(10, 210, 100, 25);
    }
};

// Moves the pointer onto the widget's middle, or onto the window's bare corner.
void enter(QWidget *widget)
{
    QTest::mouseMove(widget, widget->isWindow() ? QPoint(280, 280) : QPoint());
}

} // namespace

class TestLook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noSkinKeepsTheDesignedLook()
    {
        QTemporaryDir folder;
        Window w;
        ApplySkin(&w.top, folder.path());
        QCOMPARE(w.top.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(w.top.styleSheet().isEmpty());
    }

    void skinTurnsBackgroundsToButtonFace()
    {
        QTemporaryDir folder;
        QDir(folder.path()).mkpath(QStringLiteral("x"));
        QFile sheet(folder.path() + QStringLiteral("/x/o.cjs"));
        QVERIFY(sheet.open(QIODevice::WriteOnly));
        sheet.write("QPushButton { font-weight: normal; }");
        sheet.close();

        Window w;
        const QColor face = w.top.palette().color(QPalette::Button);
        const QColor boxBefore = w.box->palette().color(QPalette::Base);
        ApplySkin(&w.top, folder.path());

        QCOMPARE(w.top.styleSheet(), QStringLiteral("QPushButton { font-weight: normal; }"));
        for (QWidget *widget :
             {&w.top, static_cast<QWidget *>(w.frame), static_cast<QWidget *>(w.option),
              static_cast<QWidget *>(w.check), static_cast<QWidget *>(w.label)})
            QCOMPARE(widget->palette().color(QPalette::Window), face);
        // Text boxes and buttons are not the skin's business.
        QCOMPARE(w.box->palette().color(QPalette::Base), boxBefore);
    }

    void unloadableSkinFails_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("asFolder");
        QTest::newRow("a folder in its place") << QByteArray() << true;
        QTest::newRow("not UTF-8") << QByteArray("QWidget { color: \xff\xfe; }") << false;
    }

    void unloadableSkinFails()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, asFolder);
        QTemporaryDir folder;
        const QString path = folder.path() + QStringLiteral("/x/o.cjs");
        QDir(folder.path()).mkpath(asFolder ? QStringLiteral("x/o.cjs") : QStringLiteral("x"));
        if (!asFolder) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        Window w;
        try {
            ApplySkin(&w.top, folder.path());
            QFAIL("a skin that cannot be loaded was taken");
        } catch (const Failure &failure) {
            QVERIFY2(failure.description().contains(path), qPrintable(failure.description()));
        }
        QVERIFY(w.top.styleSheet().isEmpty());
    }

    // Walks the pointer over controls in turn and checks the window's pointer after each.
    void pointerRule_data()
    {
        QTest::addColumn<bool>("withHand");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        // b = button, t = a box that changes nothing, f = a frame that resets, w = window.
        QTest::newRow("button shows the hand") << true << "b"
                                               << "C";
        QTest::newRow("hand stays over an ordinary box") << true << "bt"
                                                         << "CC";
        QTest::newRow("frame resets") << true << "btf"
                                      << "CCD";
        QTest::newRow("window background resets") << true << "bw"
                                                  << "CD";
        QTest::newRow("window background after a box resets") << true << "btw"
                                                              << "CCD";
        QTest::newRow("no hand image: arrow over buttons") << false << "b"
                                                           << "C";
    }

    void pointerRule()
    {
        QFETCH(bool, withHand);
        QFETCH(QString, path);
        QFETCH(QString, expected);

        Window w;
        PointerRule rule(&w.top);
        if (withHand)
            rule.setCustomCursor(QCursor(Qt::PointingHandCursor));
        rule.addButton(w.button);
        rule.addResettingArea(w.frame);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        // From a bare spot of its own: the last row may have left the pointer where this one
        // goes first, and a move to where it already is enters nothing.
        QTest::mouseMove(&w.top, QPoint(290, 5));
        QString seen;
        for (const QChar step : path) {
            QWidget *target = step == u'b' ? static_cast<QWidget *>(w.button)
                : step == u't'             ? static_cast<QWidget *>(w.box)
                : step == u'f'             ? static_cast<QWidget *>(w.frame)
                                           : &w.top;
            enter(target);
            seen += rule.pointer() == PointerRule::Pointer::Custom ? u'C'
                : rule.pointer() == PointerRule::Pointer::Default  ? u'D'
                                                                   : u'H';
        }
        QCOMPARE(seen, expected);
        const Qt::CursorShape shape = w.top.cursor().shape();
        if (expected.endsWith(u'C'))
            QCOMPARE(shape, withHand ? Qt::PointingHandCursor : Qt::ArrowCursor);
        else
            QCOMPARE(shape, Qt::ArrowCursor);
    }

    // A long operation's hourglass is not undone by moving about.
    void hourglassWins()
    {
        Window w;
        PointerRule rule(&w.top);
        rule.addButton(w.button);
        rule.addResettingArea(w.frame);
        rule.setPointer(PointerRule::Pointer::Hourglass);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        enter(w.button);
        enter(w.frame);
        enter(&w.top);
        QCOMPARE(rule.pointer(), PointerRule::Pointer::Hourglass);
        QCOMPARE(w.top.cursor().shape(), Qt::WaitCursor);
    }
};

QTEST_MAIN(TestLook)
#include "tst_look.moc"
