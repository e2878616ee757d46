#include "app/apptitle.h"
#include "app/errorboxes.h"
#include "core/errorreport.h"
#include "core/failure.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <stdexcept>

// The procedures' step lists are checked with this at build time; it must refuse a number given
// twice, wherever the two stand in the list.
static_assert(ErrorReport::distinctLines(std::array {104, 100, 102}));
static_assert(!ErrorReport::distinctLines(std::array {100, 102, 104, 100}));

class TestErrorReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_boxes.install(); }

    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            delete w;
    }

    void text()
    {
        const QString text = ErrorReport::reportText(
            {QStringLiteral("Form1"), QStringLiteral("Form_Load"), 104, QStringLiteral("Boom")});
        QCOMPARE(text,
                 QStringLiteral("Boom\nin Morvaska2021/08/31.Form1.Form_Load at line 104\n\n"
                                "Please email screenshot of this message to "
                                "support@brenvatic.example"));
    }

    void stepsGoOnAfterAFailure()
    {
        QList<ErrorReport::Report> reports;
        ErrorReport::setSink([&](const ErrorReport::Report &r) { reports.append(r); });

        QStringList ran;
        StepRunner steps(
            ErrorReport::Place {QStringLiteral("CurlFunctions"), QStringLiteral("ReadCurl")});
        QVERIFY(steps.step(100, [&] { ran << QStringLiteral("a"); }));
        QVERIFY(!steps.step(102, [&] {
            ran << QStringLiteral("b");
            throw Failure(QStringLiteral("The store is read-only"));
        }));
        QVERIFY(!steps.step(104, [] { throw std::runtime_error("out of range"); }));
        QVERIFY(!steps.step(106, [] { throw 42; }));
        QVERIFY(steps.step(108, [&] { ran << QStringLiteral("c"); }));

        QCOMPARE(ran,
                 (QStringList {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
        QCOMPARE(steps.failures(), 3);
        QCOMPARE(reports.size(), 3);
        QCOMPARE(reports[0].module, QStringLiteral("CurlFunctions"));
        QCOMPARE(reports[0].procedure, QStringLiteral("ReadCurl"));
        QCOMPARE(reports[0].line, 102);
        QCOMPARE(reports[0].description, QStringLiteral("The store is read-only"));
        QCOMPARE(reports[1].line, 104);
        QCOMPARE(reports[1].description, QStringLiteral("out of range"));
        QCOMPARE(reports[2].line, 106);
        QVERIFY(!reports[2].description.isEmpty());
    }

    // A fault that repeats every second must not pile up boxes.
    void oneBoxPerPlace()
    {
        const ErrorReport::Report tick {QStringLiteral("Form1"), QStringLiteral("Timer1_Timer"),
                                        104, QStringLiteral("Too large")};
        ErrorReport::report(tick);
        ErrorReport::report(tick);
        QCOMPARE(m_boxes.openBoxCount(), 1);

        ErrorReport::Report otherLine = tick;
        otherLine.line = 106;
        otherLine.description = QStringLiteral("Out of range");
        ErrorReport::report(otherLine);
        QCOMPARE(m_boxes.openBoxCount(), 2);

        QMessageBox *box = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *candidate = qobject_cast<QMessageBox *>(w);
            if (candidate && candidate->isVisible() && candidate->text().contains(u"line 104"))
                box = candidate;
        }
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Application Error"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->text(), ErrorReport::reportText(tick));
        box->button(QMessageBox::Ok)->click();
        QTRY_COMPARE(m_boxes.openBoxCount(), 1);

        // Once closed, the same fault may be shown again.
        ErrorReport::report(tick);
        QCOMPARE(m_boxes.openBoxCount(), 2);
    }

    // A settings file that cannot be read fails many steps at once with the same words: one box.
    void oneBoxPerFault()
    {
        const QString fault = QStringLiteral("The settings file cannot be read: it is a folder.");
        for (const int line : {132, 134, 136, 142})
            ErrorReport::report(
                {QStringLiteral("Form1"), QStringLiteral("Form_Load"), line, fault});
        ErrorReport::report({QStringLiteral("Form1"), QStringLiteral("Text1_Change"), 100, fault});
        QCOMPARE(m_boxes.openBoxCount(), 1);
        ErrorReport::report({QStringLiteral("Form1"), QStringLiteral("Form_Load"), 176,
                             QStringLiteral("curl was not found")});
        QCOMPARE(m_boxes.openBoxCount(), 2);
        // A place whose words change has one box waiting: its newest words.
        for (const int attempt : {2, 3})
            ErrorReport::report({QStringLiteral("Form1"), QStringLiteral("Form_Load"), 176,
                                 QStringLiteral("curl was not found, try %1").arg(attempt)});

        // None is lost: each shows once the box before it is closed.
        const auto shownBox = [](QStringView words) -> QMessageBox * {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *box = qobject_cast<QMessageBox *>(w);
                    box && box->isVisible() && box->text().contains(words))
                    return box;
            return nullptr;
        };
        for (const char16_t *next :
             {u"line 132", u"line 134", u"line 136", u"line 142", u"Text1"}) {
            QMessageBox *box = nullptr;
            QTRY_VERIFY((box = shownBox(next)));
            box->button(QMessageBox::Ok)->click();
        }
        QTRY_COMPARE(m_boxes.openBoxCount(), 1);
        QMessageBox *curl = shownBox(u"line 176");
        QVERIFY(curl);
        curl->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(shownBox(u"try 3"));
        QCOMPARE(m_boxes.openBoxCount(), 1);
    }

    void title_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        QTest::newRow("product") << QStringLiteral("Trovanel") << QStringLiteral("Trovanel");
        QTest::newRow("exactly 40")
            << QString(40, QLatin1Char('x')) << QString(40, QLatin1Char('x'));
        QTest::newRow("one word too many")
            << QStringLiteral("Trovanel location logger for the desktop edition")
            << QStringLiteral("Trovanel location logger for the desktop");
        QTest::newRow("several words")
            << QStringLiteral("aaaaaaaaaa bbbbbbbbbb cccccccccc dddddddddd eeeee ffff")
            << QStringLiteral("aaaaaaaaaa bbbbbbbbbb cccccccccc");
        QTest::newRow("one long word")
            << QString(45, QLatin1Char('y')) << QString(45, QLatin1Char('y'));
    }

    void title()
    {
        QFETCH(QString, title);
        QFETCH(QString, expected);
        QCOMPARE(ShortenedTitle(title), expected);
    }

    void appTitle()
    {
        AppTitle title;
        QCOMPARE(title.set(), QStringLiteral("Trovanel"));
        QCOMPARE(title.text(), QStringLiteral("Trovanel"));
        // Left unset: the X11 window system would append it to every dialog's title.
        QVERIFY(QGuiApplication::applicationDisplayName() != title.text());
    }

private:
    ErrorBoxes m_boxes;
};

QTEST_MAIN(TestErrorReport)
#include "tst_errorreport.moc"
