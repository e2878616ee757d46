#include "map/countrieswindow.h"
#include "results/resultslist.h"
#include "results/rowcorrections.h"
#include "support/form1fixture.h"
#include "support/logrows.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

namespace {

const LogRows Trip = {
    // 08:30 in Tokyo on the 7th, while the laptop's clock said 23:30 UTC on the 6th.
    {"2026-12-06T23:30:00Z", 0, "JP", "Asia/Tokyo", true},
    {"2026-12-07T11:00:00Z", 0, "DE", "Europe/Berlin"},
    {"2026-12-07T12:00:00Z", 0, "", "", false, true},
};

// A loaded window with logging off and the trip in its table.
struct Window : Form1Fixture
{
    Window() : Form1Fixture({.presets = {"StartStopState=Off"}, .loopback = false})
    {
        appendLogs(*form->parts().results, Trip);
    }

    // Null until the button has made it.
    CountriesWindow *countries() const { return form->findChild<CountriesWindow *>(); }
    // The rows of the countries table, each its cells joined by " | ", once the count is
    // up to date.
    QStringList shown() const
    {
        CountriesWindow *window = countries();
        if (!window)
            return {QStringLiteral("(no window)")};
        if (!QTest::qWaitFor([window] { return window->isUpToDate(); }, 5000))
            return {QStringLiteral("(still counting)")};
        const QAbstractItemModel *model = widget<QTreeView>("TreeCountries")->model();
        QStringList rows;
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); ++column)
                cells << model->index(row, column).data().toString();
            rows << cells.join(QStringLiteral(" | "));
        }
        return rows;
    }
    QString status() const { return widget<QLabel>("LabelCountriesStatus")->text(); }
};

// What another program gets from the clipboard.
QString clipboardOfTheDisplay()
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"});
    // The program owns the clipboard and answers xclip from its event loop.
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000))
        return QStringLiteral("(xclip did not end)");
    return QString::fromUtf8(xclip.readAllStandardOutput());
}

} // namespace

// The days per country window, opened from the main window's button and kept in step with
// the results table.
class TestCountriesWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Form1Fixture::keepLookupsLocal("UTC"); }

    void opensOnce()
    {
        Window w;
        QCOMPARE(w.button("PushButtonCountries")->text(), QStringLiteral("Countries"));
        w.click("PushButtonCountries");
        CountriesWindow *window = w.countries();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(window->isWindow());
        w.click("PushButtonCountries");
        QCOMPARE(w.form->findChildren<CountriesWindow *>().size(), 1);

        // Closed, it opens again as it was.
        w.click("PushButtonCountriesClose");
        QVERIFY(!window->isVisible());
        w.click("PushButtonCountries");
        QVERIFY(window->isVisible());
        QCOMPARE(w.form->findChildren<CountriesWindow *>().size(), 1);

        // Every input has a name a screen reader says, and the keyboard goes through the
        // controls in the order they are laid out.
        for (const char *name : {"ComboCountriesRows", "TreeCountries", "PushButtonCountriesCopy"})
            QVERIFY2(!w.widget(name)->accessibleName().isEmpty(), name);
        QStringList chain;
        QWidget *first = w.widget("ComboCountriesRows");
        QWidget *control = first;
        do {
            if ((control->focusPolicy() & Qt::TabFocus) && !control->focusProxy()
                && window->isAncestorOf(control))
                chain << control->objectName();
            control = control->nextInFocusChain();
        } while (control && control != first && chain.size() < 20);
        QCOMPARE(chain,
                 QStringList({"ComboCountriesRows", "TreeCountries", "PushButtonCountriesCopy",
                              "PushButtonCountriesClose"}));
    }

    void followsTheTable()
    {
        Window w;
        w.click("PushButtonCountries");
        QCOMPARE(w.shown(),
                 QStringList({
                     "DE | 1 | 0 | 2026-12-07 | 2026-12-07 | 2026-12-07 (also JP)",
                     "JP | 1 | 0 | 2026-12-07 | 2026-12-07 | 2026-12-07 (also DE)",
                     "Total | 1 | 0 | 2026-12-07 | 2026-12-07 | ",
                 }));
        QCOMPARE(w.status(),
                 QStringLiteral("2 rows counted. 1 row without a country or a time was left out."));

        // A log comes in: the window follows it without being asked.
        appendLogs(*w.form->parts().results, {{"2026-12-08T09:00:00Z", 0, "DE", "Europe/Berlin"}});
        QCOMPARE(w.shown(),
                 QStringList({
                     "DE | 2 | 0 | 2026-12-07 | 2026-12-08 | 2026-12-07 (also JP), 2026-12-08",
                     "JP | 1 | 0 | 2026-12-07 | 2026-12-07 | 2026-12-07 (also DE)",
                     "Total | 2 | 0 | 2026-12-07 | 2026-12-08 | ",
                 }));

        // Berlin's first day left out by the user: Tokyo's row still counts the day.
        w.form->parts().corrections->leaveOut({1}, true);
        QCOMPARE(w.shown(),
                 QStringList({
                     "DE | 1 | 1 | 2026-12-08 | 2026-12-08 | 2026-12-08",
                     "JP | 1 | 0 | 2026-12-07 | 2026-12-07 | 2026-12-07",
                     "Total | 2 | 0 | 2026-12-07 | 2026-12-08 | ",
                 }));
        w.form->parts().corrections->leaveOut({1, 0}, true);
        QCOMPARE(w.shown().last(), "Total | 1 | 1 | 2026-12-08 | 2026-12-08 | ");
        w.form->parts().corrections->leaveOut({1, 0}, false);

        // Ticked rows only: Tokyo's, then Berlin's second day once it is ticked.
        w.widget<QComboBox>("ComboCountriesRows")->setCurrentIndex(1);
        QCOMPARE(w.shown(),
                 QStringList({"JP | 1 | 0 | 2026-12-07 | 2026-12-07 | 2026-12-07",
                              "Total | 1 | 0 | 2026-12-07 | 2026-12-07 | "}));
        ResultsList *list = w.form->parts().results;
        list->setData(list->index(3, 0), Qt::Checked, Qt::CheckStateRole);
        QCOMPARE(w.shown(),
                 QStringList({
                     "DE | 1 | 0 | 2026-12-08 | 2026-12-08 | 2026-12-08",
                     "JP | 1 | 0 | 2026-12-07 | 2026-12-07 | 2026-12-07",
                     "Total | 2 | 0 | 2026-12-07 | 2026-12-08 | ",
                 }));

        // A counted row unticked again: the row is counted as it is now.
        list->setData(list->index(3, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(w.shown(),
                 QStringList({"JP | 1 | 0 | 2026-12-07 | 2026-12-07 | 2026-12-07",
                              "Total | 1 | 0 | 2026-12-07 | 2026-12-07 | "}));

        w.click("PushButton1");
        QCOMPARE(w.shown(), QStringList());
        QCOMPARE(w.status(), QStringLiteral("No ticked rows to count."));
    }

    void copy()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("The real clipboard needs the X test session (scripts/xsession.sh).");
        Window w;
        w.click("PushButtonCountries");
        QCOMPARE(w.shown().size(), 3); // two countries and the total
        QGuiApplication::clipboard()->setText(QStringLiteral("held before"));
        // Copy comes right after a log: what is copied counts that log too.
        appendLogs(*w.form->parts().results, {{"2026-12-08T09:00:00Z", 0, "DE", "Europe/Berlin"}});
        w.click("PushButtonCountriesCopy");
        QTRY_COMPARE(w.status(), QStringLiteral("Copied to the clipboard."));
        QCOMPARE(clipboardOfTheDisplay(),
                 QStringLiteral("Days per country, all rows\n"
                                "Country  Days  First day   Last day\n"
                                "DE          2  2026-12-07  2026-12-08\n"
                                "JP          1  2026-12-07  2026-12-07\n"
                                "\n"
                                "DE: 2026-12-07 (also JP), 2026-12-08\n"
                                "JP: 2026-12-07 (also DE)\n"
                                "\n"
                                "1 row without a country or a time was left out.\n"));
    }
};

// On the X test session the window runs on the real display, so that Copy reaches the
// clipboard other programs read; without one, everything but Copy runs off screen.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestCountriesWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_countrieswindow.moc"
