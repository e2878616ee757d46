#include "app/form1.h"
#include "app/keyhelp.h"
#include "app/sharedialog.h"
#include "app/statusframe.h"
#include "app/traypresence.h"
#include "core/dialogs.h"
#include "desktop/csystray.h"
#include "desktop/mstartup.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/scheduler.h"
#include "settings/settingsstore.h"
#include "support/datatable.h"
#include "support/form1fixture.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <memory>
#include <optional>

namespace {

// Friday 11 December 2026 at the given time (the test runs in UTC).
QDateTime friday(int hour, int minute, int second)
{
    return QDateTime(QDate(2026, 12, 11), QTime(hour, minute, second));
}

const QString Unset = QStringLiteral("(unset)");

QString stored(const QString &key)
{
    return Settings::Store().get(key, Unset);
}

// A window on a private store holding the presets ("key=value"), loaded at the given time,
// its lookups served by a loopback server.
struct Window : Form1Fixture
{
    explicit Window(const QStringList &presets = {}, const QDateTime &start = friday(9, 15, 30))
        : Form1Fixture({.presets = presets, .start = start})
    { }
};

QString textOf(const QWidget *widget)
{
    if (auto *b = qobject_cast<const QAbstractButton *>(widget))
        return b->text();
    if (auto *l = qobject_cast<const QLabel *>(widget))
        return l->text();
    if (auto *g = qobject_cast<const QGroupBox *>(widget))
        return g->title();
    return QStringLiteral("(no text)");
}

} // namespace

class TestForm1Startup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Form1Fixture::keepLookupsLocal("UTC"); }

    void emptyStore()
    {
        Window w;
        QVERIFY(w.widget<QRadioButton>("Option3")->isChecked());
        QVERIFY(!w.widget<QRadioButton>("Option1")->isChecked()
                && !w.widget<QRadioButton>("Option2")->isChecked());
        QCOMPARE(w.widget<QLineEdit>("Text1")->text(), "1");
        QCOMPARE(w.widget<QLineEdit>("Text2")->text(), "0");
        QCOMPARE(w.widget<QLineEdit>("Text3")->text(), "0");
        QCOMPARE(w.widget<QComboBox>("cboWeekly")->currentText(), "Monday");
        QCOMPARE(w.widget<QTimeEdit>("dtpWeekly")->time(), QTime(9, 15, 30));
        QCOMPARE(w.button("PushButton2")->text(), "Turn Off");
        QVERIFY(w.form->parts().scheduler->timer().isActive());
        QCOMPARE(w.form->parts().scheduler->timer().interval(), 1000);
        QVERIFY(!w.widget<QCheckBox>("Check4")->isChecked());
        QVERIFY(!w.widget<QCheckBox>("Check8")->isVisibleTo(w.form.get()));
        QVERIFY(!(w.form->windowState() & Qt::WindowMinimized));
        QCOMPARE(w.reports(), QStringList());
    }

    void writtenBack_data()
    {
        // What the first run stores for each key; each row is named after its key.
        const DataTable<QString, QString> table({"key", "value"});
        const std::pair<const char *, const char *> firstRun[]
            = {{"Option1", "False"}, {"Option2", "False"},
               {"Option3", "True"},  {"Text1", "1"},
               {"Text2", "0"},       {"Text3", "0"},
               {"Weekly", "Monday"}, {"Weekly Time", "9:15:30 AM"},
               {"Minimized", "Off"}};
        for (auto [key, value] : firstRun)
            table.row(key, key, value);
    }
    void writtenBack()
    {
        QFETCH(QString, key);
        Window w;
        QTEST(stored(key), "value");
    }

    void switchState_data()
    {
        const DataTable<QString, QString, bool> table({"stored", "caption", "ticking"});
        table.row("never stored", QString(), "Turn Off", true);
        table.row("On", "On", "Turn Off", true);
        table.row("Off", "Off", "Turn On", false);
        table.row("on in lower case", "on", "Turn On", false);
        table.row("OFF in upper case", "OFF", "Turn On", false);
    }
    void switchState()
    {
        QFETCH(QString, stored);
        QFETCH(bool, ticking);
        Window w(stored.isNull() ? QStringList() : QStringList {"StartStopState=" + stored});
        QTEST(w.button("PushButton2")->text(), "caption");
        QCOMPARE(w.form->parts().schedule->isOn(), ticking);
        QCOMPARE(w.form->parts().scheduler->timer().isActive(), ticking);
        if (!ticking) {
            QCOMPARE(w.widget<QGroupBox>("Frame4")->title(), "Off.");
            QCOMPARE(w.form->parts().Frame4->progressText(), "Progress Bar");
            QCOMPARE(w.widget<QProgressBar>("ProgressBar1")->value(), 0);
        }
        QCOMPARE(w.reports(), QStringList());
    }

    void restore_data()
    {
        QTest::addColumn<QStringList>("presets");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QTime>("picker");
        QTest::addColumn<int>("total");
        QTest::addColumn<QStringList>("reports");
        const QTime clock(9, 15, 30);
        const QStringList none;
        const QStringList daily {"Option2=True", "Option3=False"};
        QTest::newRow("unreadable time") << QStringList {"Weekly Time=abc"} << "Option3" << clock
                                         << 0 << QStringList {"Form1/Form_Load:138"};
        QTest::newRow("24-hour time")
            << QStringList {"Weekly Time=14:30:00"} << "Option3" << QTime(14, 30) << 0 << none;
        QTest::newRow("afternoon")
            << QStringList {"Weekly Time=2:30:00 PM"} << "Option3" << QTime(14, 30) << 0 << none;
        QTest::newRow("after midnight")
            << QStringList {"Weekly Time=12:00:05 AM"} << "Option3" << QTime(0, 0, 5) << 0 << none;
        QTest::newRow("after noon")
            << QStringList {"Weekly Time=12:00:05 PM"} << "Option3" << QTime(12, 0, 5) << 0 << none;
        QTest::newRow("daily, time passed") << daily + QStringList {"Weekly Time=8:00:00 AM"}
                                            << "Option2" << QTime(8, 0) << -4530 << none;
        QTest::newRow("daily, time ahead") << daily + QStringList {"Weekly Time=10:15:30 AM"}
                                           << "Option2" << QTime(10, 15, 30) << 3600 << none;
        QTest::newRow("weekly, as numbers")
            << QStringList {"Option1=1", "Option3=0", "Weekly Time=9:15:40 AM"} << "Option1"
            << QTime(9, 15, 40) << 10 << none;
        // Choosing the first writes the others back as not chosen, and they are read so.
        QTest::newRow("two schedules chosen")
            << QStringList {"Option1=True", "Option2=True", "Weekly Time=9:15:40 AM"} << "Option1"
            << QTime(9, 15, 40) << 10 << none;
        QTest::newRow("Option1 unreadable") << QStringList {"Option1=maybe"} << "Option3" << clock
                                            << 0 << QStringList {"Form1/Form_Load:132"};
        QTest::newRow("Option3 unreadable") << QStringList {"Option3=yes"} << QString() << clock
                                            << 0 << QStringList {"Form1/Form_Load:136"};
    }
    void restore()
    {
        QFETCH(QStringList, presets);
        QFETCH(QString, selected);
        Window w(presets);
        QTEST(w.reports(), "reports");
        for (const char *name : {"Option1", "Option2", "Option3"}) {
            QRadioButton *option = w.widget<QRadioButton>(name);
            QCOMPARE(option->isChecked(), option->objectName() == selected);
        }
        QTEST(w.widget<QTimeEdit>("dtpWeekly")->time(), "picker");
        QTEST(int(w.form->parts().scheduler->counts().TotalSeconds), "total");
    }

    void captions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        const std::pair<const char *, const char *> controls[] = {
            {"PushButton1", "Clear Results"},
            {"PushButton2", "Turn Off"},
            {"PushButton4", "Save Results As Text File"},
            {"PushButton5", "Copy Results To Clipboard"},
            {"PushButton6", "Save Results As Excel File"},
            {"PushButton7", "Help / How Do I Get An API Key?"},
            {"PushButton8", "Enter Your API Key"},
            {"PushButton9", "Log Now (Test)"},
            {"PushButtonSaveAs", "Save Results As…"},
            {"PushButtonMap", "Show Map"},
            {"PushButtonCountries", "Countries"},
            {"PushButtonShare", "Share Logs…"},
            {"Label4", "Turn On (Press Ctrl + Shift + T to toggle ON/OFF)"},
            {"Frame1", "Log Schedule"},
            {"Frame2", "Startup Options"},
            {"Option1", " Weekly:"},
            {"Option2", "Daily:"},
            {"Option3", "Log every:"},
            {"Check4", "Load this software on Windows startup"},
            {"Check8", "Minimized to system tray"},
            {"CheckNetworkChange", "Also log when the network changes"},
            {"KeepResults", "Keep results between runs"},
            {"UseLocationService", "Also ask the system's location service (Wi-Fi)"},
            {"Label1", "hour/s"},
            {"Label2", "minute/s"},
            {"Label3", "second/s"},
        };
        for (auto [name, caption] : controls)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(caption);
    }
    void captions()
    {
        QFETCH(QString, name);
        Window w;
        const QList<QWidget *> found = w.form->findChildren<QWidget *>(name);
        QCOMPARE(found.size(), 1);
        QTEST(textOf(found.first()), "caption");
    }

    void accessibleNames()
    {
        Window w;
        QStringList inputs;
        for (QWidget *child : w.form->findChildren<QWidget *>()) {
            const bool input = qobject_cast<QLineEdit *>(child) || qobject_cast<QComboBox *>(child)
                || qobject_cast<QAbstractSpinBox *>(child) || qobject_cast<QProgressBar *>(child)
                || qobject_cast<QTableView *>(child);
            // The pieces inside a compound input (a spin box's line) belong to it.
            if (!input || child->focusProxy())
                continue;
            inputs << child->objectName();
            QVERIFY2(!child->accessibleName().trimmed().isEmpty(), qPrintable(child->objectName()));
        }
        inputs.sort();
        QCOMPARE(inputs,
                 QStringList({"ListView1", "ProgressBar1", "Text1", "Text2", "Text3", "cboWeekly",
                              "dtpWeekly"}));
    }

    // "Share Logs…" shows the fields of the chosen way, each named for a screen reader; OK keeps
    // the choices, and the next run shows them again. Plain HTTP goes only to this computer.
    void shareDialog_data()
    {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("HTTP") << QStringList {"ShareMode=HTTP", "ShareUrl=https://example.org/p"}
                              << QStringList {"ShareAuth",   "ShareCommands",
                                              "ShareDevice", "ShareEncryptionKey",
                                              "ShareTest",   "ShareTopicInBody",
                                              "ShareUrl",    "ShareUser"}
                              << QStringList {"Share=HTTP", "Share URL=https://example.org/p"};
        QTest::newRow("HTTP with a token, topic in the body")
            << QStringList {"ShareMode=HTTP", "ShareUrl=http://127.0.0.1:8/", "ShareAuth=Token",
                            "ShareTopicInBody=On"}
            << QStringList {"ShareAuth",   "ShareCommands", "ShareDevice", "ShareEncryptionKey",
                            "ShareSecret", "ShareTest",     "ShareTopic",  "ShareTopicInBody",
                            "ShareUrl",    "ShareUser"}
            << QStringList {"Share Auth=Token", "Share Topic In Body=On"};
        QTest::newRow("MQTT over TLS")
            << QStringList {"ShareMode=MQTT", "ShareHost=broker.lan", "ShareTls=On",
                            "ShareClientId=laptop", "ShareCommands=On"}
            << QStringList {"ShareCaFile",        "ShareChooseCa", "ShareClientId", "ShareCommands",
                            "ShareEncryptionKey", "ShareHost",     "SharePort",     "ShareSecret",
                            "ShareTest",          "ShareTls",      "ShareTopic",    "ShareUser"}
            << QStringList {"Share=MQTT",   "Share Host=broker.lan",  "Share Port=1883",
                            "Share TLS=On", "Share Client Id=laptop", "Share Commands=On"};
        QTest::newRow("plain HTTP elsewhere")
            << QStringList {"ShareMode=HTTP", "ShareUrl=http://example.org/"}
            << QStringList {"ShareAuth", "ShareCommands",    "ShareDevice", "ShareEncryptionKey",
                            "ShareTest", "ShareTopicInBody", "ShareUrl",    "ShareUser"}
            << QStringList {"Share=" + Unset};
    }
    void shareDialog()
    {
        QFETCH(QStringList, edits);
        QFETCH(QStringList, kept);
        Window w;
        const auto dialog = [&w] {
            w.click("PushButtonShare");
            return w.form->findChild<ShareDialog *>();
        };
        ShareDialog *d = dialog();
        QTRY_VERIFY(d && d->isVisible()); // once the secret store has answered
        for (const QString &edit : edits) {
            const QString name = edit.section('=', 0, 0), value = edit.section('=', 1);
            QWidget *field = d->findChild<QWidget *>(name);
            if (auto *box = qobject_cast<QComboBox *>(field))
                box->setCurrentIndex(box->findText(value, Qt::MatchStartsWith));
            else if (auto *tick = qobject_cast<QCheckBox *>(field))
                tick->setChecked(value == "On");
            else
                qobject_cast<QLineEdit *>(field)->setText(value);
        }
        QStringList shown;
        for (QWidget *field : d->findChildren<QWidget *>()) {
            // OK and Cancel are named by their captions.
            if (!field->objectName().startsWith("Share") || !field->isVisibleTo(d)
                || field->parentWidget() != d || field == d->findChild<QWidget *>("ShareMode")
                || qobject_cast<QLabel *>(field))
                continue;
            shown << field->objectName();
            QVERIFY2(!field->accessibleName().isEmpty(), qPrintable(field->objectName()));
        }
        shown.sort();
        QTEST(shown, "shown");
        QTest::mouseClick(d->findChild<QPushButton *>("ShareOk"), Qt::LeftButton);
        for (const QString &pair : kept)
            QCOMPARE(pair.section('=', 0, 0) + '=' + stored(pair.section('=', 0, 0)), pair);
        QCOMPARE(d->isVisible(), kept.first() == "Share=" + Unset);
        if (d->isVisible())
            return;
        w.open();
        d = dialog();
        QTRY_VERIFY(d && d->isVisible());
        for (const QString &edit : edits) {
            const QString name = edit.section('=', 0, 0), value = edit.section('=', 1);
            QWidget *field = d->findChild<QWidget *>(name);
            if (auto *box = qobject_cast<QComboBox *>(field))
                QVERIFY2(box->currentText().startsWith(value), qPrintable(name));
            else if (auto *tick = qobject_cast<QCheckBox *>(field))
                QCOMPARE(tick->isChecked(), value == "On");
            else
                QCOMPARE(qobject_cast<QLineEdit *>(field)->text(), value);
        }
    }

    void focusChain()
    {
        Window w;
        QWidget *first = w.widget("Option3");
        QStringList chain;
        QWidget *widget = first;
        do {
            if ((widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy()
                && w.form->isAncestorOf(widget))
                chain << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget && widget != first && chain.size() < 50);
        const QStringList expected {
            // the schedule, row by row
            "Option3", "Text1", "Text2", "Text3", "Option2", "Option1", "cboWeekly", "dtpWeekly",
            // the switch and the test log beside it
            "PushButton2", "PushButton9",
            // the results buttons, the map's, the key buttons and the days per country, row by row
            "PushButton1", "PushButton4", "PushButtonSaveAs", "PushButton5", "PushButton6",
            "PushButtonMap", "PushButton8", "PushButton7", "PushButtonCountries",
            "PushButtonImport", "PushButtonShare",
            // the start-up options, and last the results list on the right
            "Check4", "Check8", "CheckNetworkChange", "KeepResults", "UseLocationService",
            "ListView1"};
        QCOMPARE(chain, expected);
    }

    void startupOptions_data()
    {
        QTest::addColumn<QStringList>("presets");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<bool>("startup");
        QTest::addColumn<bool>("minimized");
        QTest::addColumn<bool>("minimizedShown");
        QTest::addColumn<bool>("hiddenInTray");
        QTest::addColumn<QString>("storedStartup");
        QTest::addColumn<QString>("storedMinimized");
        const QStringList none;
        QTest::newRow("start-up ticked")
            << none << QStringList {"Check4"} << true << false << true << false << "On"
            << "Off";
        QTest::newRow("both ticked")
            << none << QStringList {"Check4", "Check8"} << true << true << true << false << "On"
            << "On";
        QTest::newRow("start-up cleared again")
            << none << QStringList {"Check4", "Check8", "Check4"} << false << false << false
            << false << "Off"
            << "Off";
        QTest::newRow("both stored") << QStringList {"Windows Startup=On", "Minimized=On"} << none
                                     << true << true << true << true << "On"
                                     << "On";
        QTest::newRow("start-up stored alone")
            << QStringList {"Windows Startup=On"} << none << true << false << true << false << "On"
            << "Off";
        QTest::newRow("start-up in lower case")
            << QStringList {"Windows Startup=on", "Minimized=On"} << none << false << true << false
            << false << "on"
            << "On";
    }
    void startupOptions()
    {
        QFETCH(QStringList, presets);
        QFETCH(QStringList, clicks);
        Window w(presets);
        for (const QString &name : clicks)
            w.widget<QCheckBox>(name)->click();
        QTEST(w.widget<QCheckBox>("Check4")->isChecked(), "startup");
        QTEST(w.widget<QCheckBox>("Check8")->isChecked(), "minimized");
        QTEST(w.widget<QCheckBox>("Check8")->isVisibleTo(w.form.get()), "minimizedShown");
        QFETCH(bool, hiddenInTray);
        // A start with both boxes on goes straight to the tray once start-up is over.
        w.form->showAtStart();
        QTRY_COMPARE(w.form->parts().tray->hiddenInTray(), hiddenInTray);
        QCOMPARE(w.form->isVisible(), !hiddenInTray);
        // The session's autostart entry follows the box the user clicked.
        // Restoring the boxes at start-up writes no entry and removes none.
        QCOMPARE(QFile::exists(mStartUp::EntryPath()),
                 !clicks.isEmpty() && w.widget<QCheckBox>("Check4")->isChecked());
        QTEST(stored("Windows Startup"), "storedStartup");
        QTEST(stored("Minimized"), "storedMinimized");
        QCOMPARE(w.reports(), QStringList());
    }

    // "Also log when the network changes" and "Also ask the system's location service
    // (Wi-Fi)": off on a first run, shown as stored, saved when clicked and not when restored,
    // and as the next run finds them.
    void optionBox_data()
    {
        const DataTable<QString, QString, QStringList, int, bool, QString> table(
            {"box", "key", "presets", "clicks", "checked", "stored"});
        const QString network = QStringLiteral("CheckNetworkChange");
        const QString networkKey = QStringLiteral("Log On Network Change");
        table.row("first run", network, networkKey, {}, 0, false, "(unset)");
        table.row("stored on", network, networkKey, {"Log On Network Change=On"}, 0, true, "On");
        table.row("stored off", network, networkKey, {"Log On Network Change=Off"}, 0, false,
                  "Off");
        table.row("clicked on", network, networkKey, {}, 1, true, "On");
        table.row("stored on, clicked off", network, networkKey, {"Log On Network Change=On"}, 1,
                  false, "Off");
        table.row("clicked twice", network, networkKey, {}, 2, false, "Off");
        const QString location = QStringLiteral("UseLocationService");
        const QString locationKey = QStringLiteral("Use Location Service");
        table.row("location: first run", location, locationKey, {}, 0, false, "(unset)");
        table.row("location: stored on", location, locationKey, {"Use Location Service=On"}, 0,
                  true, "On");
        table.row("location: stored on, clicked off", location, locationKey,
                  {"Use Location Service=On"}, 1, false, "Off");
        table.row("location: clicked on", location, locationKey, {}, 1, true, "On");
    }
    void optionBox()
    {
        QFETCH(QString, box);
        QFETCH(QString, key);
        QFETCH(QStringList, presets);
        QFETCH(int, clicks);
        QFETCH(bool, checked);
        Window w(presets);
        auto *check = w.widget<QCheckBox>(box);
        QCOMPARE(check->accessibleName(), check->text());
        for (int i = 0; i < clicks; ++i)
            check->click();
        QCOMPARE(check->isChecked(), checked);
        QTEST(stored(key), "stored");
        // Whether a log asks the location service follows its box, clicked or restored.
        const bool asks = box == QLatin1String("UseLocationService") && checked;
        QCOMPARE(w.form->parts().lookup->asksWiFi(), asks);
        w.open();
        QCOMPARE(w.widget<QCheckBox>(box)->isChecked(), checked);
        QCOMPARE(w.form->parts().lookup->asksWiFi(), asks);
        QCOMPARE(w.reports(), QStringList());
    }

    // Minimizing sends the window to the tray with the balloon's own words, for 5 seconds, and
    // only the first time in a run.
    void minimizeToTray()
    {
        Window w;
        w.form->show();
        QTRY_VERIFY(w.tray() && w.tray()->InTray());
        for (int round = 0; round < 2; ++round) {
            w.form->setWindowState(Qt::WindowMinimized);
            QTRY_VERIFY(w.form->parts().tray->hiddenInTray());
            QVERIFY(!w.form->isVisible());
            w.form->restoreFromTray();
            QVERIFY(w.form->isVisible());
        }
        const cSysTray::Balloon balloon = w.tray()->lastBalloon();
        QCOMPARE(balloon.text,
                 "has been minimized to the system tray.\nClick on the blue 'B' icon (B for "
                 "Brenvatic) to bring the software back.");
        QCOMPARE(balloon.title, "Trovanel");
        QCOMPARE(balloon.seconds, 5);
        QCOMPARE(w.tray()->showOnceCount(), 1);
    }

    // A settings file that cannot be read (a folder in its place) is reported, the window runs
    // on the first-run values, and the folder is left as it is.
    void unreadableStore()
    {
        Window w({QStringLiteral("store=folder")});
        QVERIFY(w.widget<QRadioButton>("Option3")->isChecked());
        QCOMPARE(w.widget<QLineEdit>("Text1")->text(), QStringLiteral("1"));
        QCOMPARE(w.button("PushButton2")->text(), QStringLiteral("Turn Off"));
        const QList<ErrorReport::Report> reports = w.env.takeReports();
        QVERIFY(!reports.isEmpty());
        for (const ErrorReport::Report &r : reports)
            QCOMPARE(r.description, reports.first().description);
        QVERIFY(reports.first().description.contains(QStringLiteral("Trovanel.conf")));
        QVERIFY(QFileInfo(w.env.storeFile()).isDir());
        // Each restore is reported under a line of its own.
        QList<int> lines;
        for (const ErrorReport::Report &r : reports)
            lines += r.procedure == QLatin1String("Form_Load") ? r.line : 0;
        QVERIFY2(lines.contains(232) && lines.contains(234) && !lines.contains(214)
                     && !lines.contains(218),
                 qPrintable(QString::number(lines.size())));
    }

    // When the session's autostart folder cannot take the change, both boxes and both settings
    // say what is true instead of pretending.
    void autostartRefused_data()
    {
        QTest::addColumn<QStringList>("presets");
        QTest::addColumn<bool>("startup"); // what stays true after the refused click
        QTest::addColumn<bool>("minimized");
        QTest::newRow("adding refused") << QStringList() << false << false;
        QTest::newRow("removal refused, minimized")
            << QStringList {"Windows Startup=On", "Minimized=On"} << true << true;
        QTest::newRow("removal refused") << QStringList {"Windows Startup=On"} << true << false;
    }
    void autostartRefused()
    {
        QFETCH(QStringList, presets);
        QFETCH(bool, startup);
        QFETCH(bool, minimized);
        Window w(presets);
        if (startup) {
            // An entry that cannot be removed: a folder with something in it.
            QVERIFY(QDir().mkpath(mStartUp::EntryPath() + QStringLiteral("/kept")));
        } else {
            QFile blocker(w.env.configHome() + QStringLiteral("/autostart"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.close();
        }
        w.widget<QCheckBox>("Check4")->click();
        QCOMPARE(w.widget<QCheckBox>("Check4")->isChecked(), startup);
        QCOMPARE(w.widget<QCheckBox>("Check8")->isChecked(), minimized);
        QCOMPARE(w.widget<QCheckBox>("Check8")->isVisibleTo(w.form.get()), startup);
        QCOMPARE(stored("Windows Startup"), QLatin1String(startup ? "On" : "Off"));
        QCOMPARE(stored("Minimized"), QLatin1String(minimized ? "On" : "Off"));
        QCOMPARE(w.reports(), QStringList {QStringLiteral("Form1/Check4_Click:104")});
    }

    void shutdown_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("unload") << false;
        QTest::newRow("close") << true;
    }
    void shutdown()
    {
        QFETCH(bool, byClosing);
        Window w({"APIKey=k"});
        QVERIFY(w.server.port() != 0);
        w.server.setMode(LoopbackServer::Mode::Hold);
        const QString folder = w.env.runtimeDir() + QStringLiteral("/trovanel");
        QVERIFY(QDir(folder).exists());

        w.click("PushButton9");
        QTRY_COMPARE(w.server.requestCount(), 1);
        const qint64 pid = w.form->parts().lookup->runner().runningPid();
        QVERIFY(pid > 0);
        QVERIFY(w.form->parts().scheduler->timer().isActive());

        if (byClosing)
            QVERIFY(w.form->close());
        else
            w.form->Form_QueryUnload();

        QVERIFY(!w.form->parts().scheduler->timer().isActive());
        QVERIFY(!w.form->parts().lookup->isBusy());
        // The client is gone, not merely left behind as a zombie.
        const int killed = ::kill(pid_t(pid), 0);
        const int error = errno;
        QCOMPARE(killed, -1);
        QCOMPARE(error, ESRCH);
        QVERIFY(!QDir(folder).exists());
        QTest::qWait(300);
        QCOMPARE(w.form->parts().results->rows(), 0);
        QCOMPARE(w.reports(), QStringList());
    }

    void serviceKey_data()
    {
        QTest::addColumn<QString>("storedKey");
        QTest::addColumn<std::optional<QString>>("answer");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("request"); // what the next lookup asks for
        using Answer = std::optional<QString>;
        QTest::newRow("typed with a blank") << QString() << Answer("abc ") << "abc "
                                            << "/geo?token=abc";
        QTest::newRow("replaced") << "old" << Answer("new") << "new"
                                  << "/geo?token=new";
        QTest::newRow("cancelled") << "old" << Answer() << "old"
                                   << "/geo?token=old";
        QTest::newRow("left empty") << "old" << Answer("") << "old"
                                    << "/geo?token=old";
        QTest::newRow("cancelled without a key") << QString() << Answer() << Unset << "/";
    }
    void serviceKey()
    {
        QFETCH(QString, storedKey);
        QFETCH(std::optional<QString>, answer);
        Window w(storedKey.isNull() ? QStringList() : QStringList {"APIKey=" + storedKey});
        w.dialogs.textAnswers << answer;
        w.click("PushButton8");
        QCOMPARE(w.dialogs.prompts, QStringList {"Enter Your API Key|Please Enter Your API Key"});
        QCOMPARE(w.dialogs.proposed, QStringList {storedKey.isNull() ? QString() : storedKey});
        QTEST(stored("APIKey"), "kept");
        QVERIFY(w.dialogs.questions.isEmpty());
        w.click("PushButton9");
        QTRY_COMPARE(w.rows(), 1);
        QTEST(w.server.requestPaths().value(0), "request");
    }

    void keyOffer_data()
    {
        QTest::addColumn<QString>("storedKey");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("offers");
        const QStringList onThenLog {"switch", "logNow"};
        QTest::newRow("no key, switched on") << QString() << onThenLog << false << 1;
        QTest::newRow("no key, on, off, on")
            << QString() << QStringList {"switch", "switch", "switch"} << false << 1;
        QTest::newRow("no key, Log Now twice")
            << QString() << QStringList {"logNow", "logNow"} << false << 1;
        QTest::newRow("key of blanks") << "   " << QStringList {"switch"} << false << 1;
        QTest::newRow("key stored, switched on") << "abc" << onThenLog << false << 0;
        QTest::newRow("key stored, help twice")
            << "abc" << QStringList {"switch", "help", "help"} << false << 1;
        QTest::newRow("help after the offer")
            << QString() << QStringList {"switch", "help"} << false << 1;
        QTest::newRow("yes opens the sign-up page") << QString() << onThenLog << true << 1;
    }
    void keyOffer()
    {
        QFETCH(QString, storedKey);
        QFETCH(QStringList, actions);
        QFETCH(bool, yes);
        QFETCH(int, offers);
        QStringList presets {"StartStopState=Off"};
        if (!storedKey.isNull())
            presets << "APIKey=" + storedKey;
        Window w(presets);
        w.dialogs.yesNoAnswers = {yes, yes, yes};
        for (const QString &action : actions) {
            if (action == QLatin1String("switch"))
                w.click("PushButton2");
            else if (action == QLatin1String("logNow"))
                w.click("PushButton9");
            else
                w.click("PushButton7");
        }
        const QString offer = QStringLiteral(
            "Software can work without API key.\n\n"
            "But to log your location frequently, you may need to get API key from "
            "https://ipinfo.io/signup.\n\n"
            "Would you like me to open https://ipinfo.io/signup now?\n\n"
            "Questions? Please contact Team Brenvatic at https://brenvatic.example/contact");
        QCOMPARE(w.dialogs.questions, QStringList(offers, offer));
        QCOMPARE(w.dialogs.openedUrls,
                 yes ? QStringList {"https://ipinfo.io/signup"} : QStringList());
    }

    // A user who keeps the window in the tray learns from the icon's tip that logging fails,
    // until it works again; a screen reader finds the reason on the failed row.
    // A good log shared with a server that is gone waits, and the tip says so.
    void lastFailureInTray_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QStringList>("sharing");
        QTest::addColumn<QString>("tipAfter");
        const QString key = "The service answered HTTP 401: Please make sure your token is correct";
        QTest::newRow("key refused") << true << key << QStringList() << "Trovanel";
        QTest::newRow("no service")
            << false << "Could not connect to the location service." << QStringList() << "Trovanel";
        QTest::newRow("shared, server gone")
            << true << key << QStringList {"Share=HTTP", "Share URL=http://127.0.0.1:9/"}
            << "Trovanel\n1 log waiting to be shared";
    }
    void lastFailureInTray()
    {
        QFETCH(bool, reachable);
        QFETCH(QString, failure);
        QFETCH(QStringList, sharing);
        Window w(QStringList {"APIKey=k", "StartStopState=Off"} + sharing);
        QTRY_VERIFY(w.tray());
        QCOMPARE(w.tray()->TrayTip(), "Trovanel");
        w.server.setMode(reachable ? LoopbackServer::Mode::Reply
                                   : LoopbackServer::Mode::CloseAtOnce);
        w.server.setResponse({401,
                              "{\"error\":{\"title\":\"Wrong token\",\"message\":\"Please "
                              "make sure your token is correct\"}}"});

        w.click("PushButton9");
        QTRY_COMPARE_WITH_TIMEOUT(w.form->parts().results->rows(), 1, 5000);
        QCOMPARE(w.tray()->TrayTip(), "Trovanel\nLast log failed: " + failure);
        QAccessibleInterface *table
            = QAccessible::queryAccessibleInterface(w.widget<QTableView>("ListView1"));
        QVERIFY(table && table->tableInterface());
        QAccessibleInterface *time = table->tableInterface()->cellAt(0, ResultsList::Time);
        QVERIFY(time);
        QCOMPARE(time->text(QAccessible::Description), failure);

        w.server.setMode(LoopbackServer::Mode::Reply);
        w.server.setResponse({200, LoopbackServer::prettyAnswer()});
        w.click("PushButton9");
        QTRY_COMPARE_WITH_TIMEOUT(w.form->parts().results->rows(), 2, 5000);
        QTEST(w.tray()->TrayTip(), "tipAfter");
        QCOMPARE(w.form->parts().results->cell(1, ResultsList::Country), " BR");
        // The failed row keeps its reason; the good one has none.
        QCOMPARE(
            table->tableInterface()->cellAt(0, ResultsList::Time)->text(QAccessible::Description),
            failure);
        QCOMPARE(
            table->tableInterface()->cellAt(1, ResultsList::Time)->text(QAccessible::Description),
            QString());
        QCOMPARE(w.reports(), QStringList());
    }
};

QTEST_MAIN(TestForm1Startup)
#include "tst_form1_startup.moc"
