#include "app/exportcontroller.h"
#include "app/form1.h"
#include "app/look.h"
#include "app/statusframe.h"
#include "results/resultslist.h"
#include "results/spreadsheetexport.h"
#include "results/spreadsheethandlercheck.h"
#include "settings/settingsstore.h"
#include "support/filesizelimit.h"
#include "support/form1fixture.h"
#include "support/logrows.h"
#include "support/testenv.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <optional>

using Table = QList<QStringList>;

namespace {

const QString Copied = QStringLiteral(
    "Results have been copied to the clipboard.\n\nClick a text area where you normally type "
    "and press Ctrl+V to paste the clipboard.");
const QString NoSpreadsheet = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this feature.");

// Ticked: 20, 2, 10, 8, 5, 17 and 12 characters; unticked: 19, 7, 6, 12, 3, 15 and 19.
const QStringList Chur = {"12/7/2026 9:15:30 AM", "CH",          "Graubünden", "Chur Süd", " 7000",
                          "46.84986, 9.53287",    "Europe/Vaduz"};
const QStringList Garmisch
    = {"1/8/2027 9:20:02 AM", "Germany", "Bayern", "Garmisch Süd", "821", "47.4917, 11.095",
       "Europe/Berlin (CET)"};

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// A loaded window with logging off on a private store, its clock on Friday 11 December 2026
// at 9:15:30, its cache folder in the private world.
struct Window : Form1Fixture
{
    Window()
        : Form1Fixture({.presets = {"StartStopState=Off"},
                        .start = QDateTime(QDate(2026, 12, 11), QTime(9, 15, 30)),
                        .loopback = false,
                        .open = false})
    {
        variables.set("XDG_CACHE_HOME", env.root() + "/cache");
        open();
    }

    void fill(const Table &table, const QList<int> &ticked)
    {
        ResultsList *list = form->parts().results;
        for (const QStringList &cells : table)
            list->appendRecord(RecordOfCells(cells));
        for (int row : ticked)
            list->setData(list->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }

    PointerRule::Pointer pointer() const { return form->parts().pointer->pointer(); }
    QProgressBar *progressBar() const { return widget<QProgressBar>("ProgressBar1"); }
};

// A desktop of its own: no application for .xlsx files, or one that writes the path it was
// asked to open to <root>/opened.txt and is the default.
bool setUpDesktop(EnvOverride &env, const TestEnv &world, bool withHandler)
{
    const QString data = world.root() + "/data";
    if (!QDir().mkpath(data + "/applications") || !QDir().mkpath(world.root() + "/sysconfig"))
        return false;
    if (withHandler) {
        const QString handler = world.root() + "/handler.sh";
        const QByteArray sheetType
            = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
        if (!writeFile(handler,
                       "#!/bin/sh\nprintf '%s' \"$1\" > '" + QFile::encodeName(world.root())
                           + "/opened.txt'\n")
            || !QFile::setPermissions(handler,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
            || !writeFile(data + "/applications/testsheet.desktop",
                          "[Desktop Entry]\nType=Application\nName=Test sheet\nExec="
                              + QFile::encodeName(handler) + " %f\nMimeType=" + sheetType + ";\n")
            || !writeFile(world.configHome() + "/mimeapps.list",
                          "[Default Applications]\n" + sheetType + "=testsheet.desktop\n"))
            return false;
    }
    env.set("XDG_DATA_HOME", data);
    // The system's MIME database tells the file's type; its applications must not count.
    env.set("XDG_DATA_DIRS", withHandler ? data + ":/usr/share" : data);
    env.set("XDG_CONFIG_DIRS", world.root() + "/sysconfig");
    // No desktop environment: the desktop's tools take their generic route through the files
    // above; that route wants a display, though the handler never uses it.
    env.set("XDG_CURRENT_DESKTOP", QString());
    for (const char *name : {"DE", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                             "DESKTOP_SESSION", "WAYLAND_DISPLAY", "BROWSER"})
        env.unset(name);
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        env.set("DISPLAY", QStringLiteral(":97"));
    env.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + world.root() + "/no-bus");
    return true;
}

// Puts a desktop query tool first on the PATH that takes two seconds before it hands over to
// the real one, as on a loaded system.
bool slowDesktopQuery(EnvOverride &env, const TestEnv &world)
{
    const QString real = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    const QString bin = world.root() + "/slowbin";
    if (real.isEmpty() || !QDir().mkpath(bin)
        || !writeFile(bin + "/xdg-mime",
                      "#!/bin/sh\nsleep 2\nexec '" + QFile::encodeName(real) + "' \"$@\"\n")
        || !QFile::setPermissions(bin + "/xdg-mime",
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return false;
    env.set("PATH", bin.toLocal8Bit() + ':' + qgetenv("PATH"));
    return true;
}

// The first worksheet's cells of columns A to G, row by row, as openpyxl reads them.
Table readXlsx(const QString &path)
{
    const char *script = R"(
import json, sys, openpyxl
sheet = openpyxl.load_workbook(sys.argv[1]).worksheets[0]
json.dump([[c.value or "" for c in row] for row in sheet.iter_rows(max_col=7)], sys.stdout)
)";
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromUtf8(script), path});
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        qWarning() << "openpyxl:" << python.readAllStandardError();
    Table table;
    for (const QJsonValue row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue cell : row.toArray())
            cells << cell.toString();
        table << cells;
    }
    return table;
}

} // namespace

class TestForm1Exports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("TROVANEL_SERVICE_URL", "http://127.0.0.1:9"); }

    void saveCancelled()
    {
        Window w;
        w.fill({Chur}, {0});
        w.form->parts().Frame4->setProgressText(QStringLiteral("Next log in 5 s"));
        w.progressBar()->setValue(37);
        const QStringList before = QDir(w.env.root()).entryList(QDir::AllEntries);

        w.click("PushButton4");
        QCOMPARE(w.pointer(), PointerRule::Pointer::Default);
        QTest::qWait(50);
        QCOMPARE(w.dialogs.saveTitles, QStringList {"Save"});
        const QStringList filters {"Text Files (*.txt)", "All Files (*)"};
        QCOMPARE(w.dialogs.saveFilters, QList<QStringList> {filters});
        QCOMPARE(QDir(w.env.root()).entryList(QDir::AllEntries), before);
        QCOMPARE(w.form->parts().Frame4->progressText(), "Next log in 5 s");
        QCOMPARE(w.progressBar()->value(), 37);
        QCOMPARE(w.pointer(), PointerRule::Pointer::Default);
        QCOMPARE(w.reports(), QStringList());
    }

    void saveWritten_data()
    {
        QTest::addColumn<QByteArray>("old");
        QTest::newRow("new file") << QByteArray();
        QTest::newRow("replaces a file") << QByteArray("old contents\r\n");
    }
    void saveWritten()
    {
        QFETCH(QByteArray, old);
        Window w;
        // Ticked: 20, 2, 10, 8, 5, 17 and 19 characters.
        QStringList ticked = Chur;
        ticked[ResultsList::Timezone] = "Europe/Zurich (CET)";
        w.fill({ticked, {"t", "", "", "", "", "", ""}}, {0});
        const QString path = w.env.root() + "/out/results.txt";
        QVERIFY(QDir().mkpath(w.env.root() + "/out"));
        // The old file as a reader holding it open sees it: replaced, never rewritten in place.
        QFile held(path);
        if (!old.isNull()) {
            QVERIFY(writeFile(path, old));
            QVERIFY(held.open(QIODevice::ReadOnly));
        }
        w.dialogs.saveAnswers << path;

        w.click("PushButton4");
        QCOMPARE(w.pointer(), PointerRule::Pointer::Hourglass);
        if (old.isNull())
            QVERIFY(!QFileInfo::exists(path));
        else
            QCOMPARE(FileBytes(path), old);
        QTRY_COMPARE(w.pointer(), PointerRule::Pointer::Default);

        QCOMPARE(FileBytes(path),
                 "Time                \tCountry\tRegion    \tCity    \tPostal Code\t"
                 "Coordinates      \tTimezone           \t\r\n"
                 "12/7/2026 9:15:30 AM\tCH     \tGraubünden\tChur Süd\t 7000      \t"
                 "46.84986, 9.53287\tEurope/Zurich (CET)\t\r\n");
        QCOMPARE(FileMode(path), NewFileMode()); // as a desktop program's save
        if (!old.isNull())
            QCOMPARE(held.readAll(), old);
        QCOMPARE(QDir(w.env.root() + "/out").entryList(QDir::Files | QDir::Hidden),
                 QStringList {"results.txt"});
        QCOMPARE(w.form->parts().Frame4->progressText(), "Progress Bar");
        QCOMPARE(w.progressBar()->value(), 0);
        QCOMPARE(w.reports(), QStringList());
    }

    void saveFails_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("sizeLimit");
        QTest::addColumn<QString>("report");
        QTest::newRow("folder missing")
            << "missing/results.txt" << 0 << "Form1/PushButton4_Click:104";
        QTest::newRow("target is a folder") << "out" << 0 << "Form1/PushButton4_Click:104";
        // The disk fills up while the file is written.
        QTest::newRow("disk full")
            << "out/results.txt" << 40 << "Main/SaveListviewProperlySpaced:108";
    }
    void saveFails()
    {
        QFETCH(QString, target);
        QFETCH(int, sizeLimit);
        QFETCH(QString, report);
        Window w;
        w.fill({Chur}, {0});
        QVERIFY(QDir().mkpath(w.env.root() + "/out"));
        const QString old = w.env.root() + "/out/results.txt";
        QVERIFY(writeFile(old, "old contents\r\n"));
        const QString path = w.env.root() + "/" + target;
        w.dialogs.saveAnswers << path;
        const QStringList before = QDir(w.env.root()).entryList(QDir::AllEntries);

        {
            std::optional<FileSizeLimit> limit;
            if (sizeLimit > 0) {
                limit.emplace(sizeLimit);
                QVERIFY(limit->ok());
            }
            w.click("PushButton4");
            QTRY_COMPARE(w.pointer(), PointerRule::Pointer::Default);
            QTest::qWait(50);
        }

        // Told once, whatever the cause.
        QCOMPARE(w.reports(), QStringList {report});
        QCOMPARE(FileBytes(old), "old contents\r\n");
        QCOMPARE(QDir(w.env.root() + "/out")
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList {"results.txt"});
        QCOMPARE(QDir(w.env.root()).entryList(QDir::AllEntries), before);
        QVERIFY(w.form->parts().Frame4->progressText() != "Done.");
        QCOMPARE(w.pointer(), PointerRule::Pointer::Default);
    }

    void copy_data()
    {
        QTest::addColumn<Table>("table");
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<QString>("clipboard");

        QTest::newRow("first of two ticked")
            << Table {Chur, Garmisch} << QList<int> {0}
            << "12/7/2026 9:15:30 AM\tCH     \tGraubünden\tChur Süd    \t 7000\t"
               "46.84986, 9.53287\tEurope/Vaduz\r\n";
        QTest::newRow("none ticked") << Table {Chur, Garmisch} << QList<int> {} << "";
        // An empty table leaves the clipboard as it was.
        QTest::newRow("empty table") << Table {} << QList<int> {} << "held before";
    }
    void copy()
    {
        QFETCH(Table, table);
        QFETCH(QList<int>, ticked);
        Window w;
        w.fill(table, ticked);
        QGuiApplication::clipboard()->setText(QStringLiteral("held before"));

        // The notice follows every copy, the second one included.
        for (int copies = 1; copies <= 2; ++copies) {
            w.click("PushButton5");
            QTRY_COMPARE(w.dialogs.notices.size(), copies);
            QTEST(QGuiApplication::clipboard()->text(), "clipboard");
        }
        QCOMPARE(w.dialogs.notices, QStringList(2, Copied));
        QCOMPARE(w.reports(), QStringList());
    }

    void secondClickWhileRunning_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("saveTitles");
        QTest::addColumn<QStringList>("notices");

        QTest::newRow("save") << "PushButton4" << QStringList {"Save"} << QStringList {};
        QTest::newRow("copy") << "PushButton5" << QStringList {} << QStringList {Copied};
    }
    void secondClickWhileRunning()
    {
        QFETCH(QString, button);
        Window w;
        w.fill({Chur, Garmisch}, {0});
        // Answers for two saves, so that a second save would go ahead.
        const QString first = w.env.root() + "/first.txt";
        const QString second = w.env.root() + "/second.txt";
        w.dialogs.saveAnswers << first << second;
        QPushButton *pressed = w.button(button);

        // A double click: the second comes before the export has had a turn of the event loop.
        pressed->click();
        pressed->click();
        QTRY_VERIFY(QFileInfo::exists(first) || !w.dialogs.notices.isEmpty());
        QTest::qWait(200);
        QTEST(w.dialogs.saveTitles, "saveTitles");
        QTEST(w.dialogs.notices, "notices");
        QVERIFY(!QFileInfo::exists(second));
        QCOMPARE(w.pointer(), PointerRule::Pointer::Default);
        QCOMPARE(w.reports(), QStringList());
    }

    void spreadsheetWithoutApplication()
    {
        for (const char *office : {"localc", "libreoffice", "soffice", "gnumeric"}) {
            if (!QStandardPaths::findExecutable(QString::fromLatin1(office)).isEmpty())
                QSKIP("A spreadsheet application is installed on this computer.");
        }
        Window w;
        QVERIFY(setUpDesktop(w.variables, w.env, false));
        w.fill({Chur}, {0});

        w.click("PushButton6");
        QTRY_VERIFY_WITH_TIMEOUT(!w.form->parts().exports->spreadsheetCheck().isChecking(), 15000);
        QTest::qWait(100);
        QCOMPARE(w.dialogs.notices, QStringList {NoSpreadsheet});
        QCOMPARE(QDir(Spreadsheet::CacheFolder()).entryList(QDir::Files), QStringList());
        QCOMPARE(w.pointer(), PointerRule::Pointer::Default);
        QCOMPARE(w.reports(), QStringList());

        // The user installs a spreadsheet application after the notice: the next click finds it
        // without a restart.
        QVERIFY(setUpDesktop(w.variables, w.env, true));
        w.click("PushButton6");
        QTRY_COMPARE_WITH_TIMEOUT(
            QString::fromLocal8Bit(FileBytes(w.env.root() + "/opened.txt")),
            Spreadsheet::CacheFolder() + "/Trovanel results 2026-12-11 091530.xlsx", 15000);
        QCOMPARE(w.dialogs.notices, QStringList {NoSpreadsheet});
        QCOMPARE(w.reports(), QStringList());
    }

    void spreadsheetWhileDesktopSlow_data()
    {
        QTest::addColumn<bool>("withHandler");
        QTest::newRow("default handler") << true;
        QTest::newRow("no handler") << false;
    }
    void spreadsheetWhileDesktopSlow()
    {
        QFETCH(bool, withHandler);
        for (const char *office : {"localc", "libreoffice", "soffice", "gnumeric"}) {
            if (!withHandler
                && !QStandardPaths::findExecutable(QString::fromLatin1(office)).isEmpty())
                QSKIP("A spreadsheet application is installed on this computer.");
        }
        Window w;
        QVERIFY(setUpDesktop(w.variables, w.env, withHandler));
        QVERIFY(slowDesktopQuery(w.variables, w.env));
        w.fill({Chur}, {0});
        const QString path
            = Spreadsheet::CacheFolder() + "/Trovanel results 2026-12-11 091530.xlsx";

        // The click is over while the desktop is still being asked.
        w.click("PushButton6");
        QVERIFY(w.form->parts().exports->spreadsheetCheck().isChecking());
        QCOMPARE(w.dialogs.notices, QStringList());
        QCOMPARE(w.pointer(), PointerRule::Pointer::Hourglass);
        // Clicked again meanwhile: still the one sheet, or the one notice.
        w.click("PushButton6");

        QTRY_VERIFY_WITH_TIMEOUT(!w.form->parts().exports->spreadsheetCheck().isChecking(), 15000);
        if (withHandler) {
            QTRY_COMPARE_WITH_TIMEOUT(
                QString::fromLocal8Bit(FileBytes(w.env.root() + "/opened.txt")), path, 20000);
            QCOMPARE(w.dialogs.notices, QStringList());
        } else {
            QTest::qWait(100);
            QCOMPARE(w.dialogs.notices, QStringList {NoSpreadsheet});
        }
        QTRY_COMPARE(w.pointer(), PointerRule::Pointer::Default);
        QCOMPARE(QDir(Spreadsheet::CacheFolder()).entryList(QDir::Files),
                 withHandler ? QStringList {QFileInfo(path).fileName()} : QStringList());
        QCOMPARE(w.reports(), QStringList());
    }

    void spreadsheetOpened()
    {
        Window w;
        QVERIFY(setUpDesktop(w.variables, w.env, true));
        const QString opened = w.env.root() + "/opened.txt";
        const QString path
            = Spreadsheet::CacheFolder() + "/Trovanel results 2026-12-11 091530.xlsx";

        // Nothing to open in an empty table.
        w.click("PushButton6");
        QTRY_VERIFY_WITH_TIMEOUT(!w.form->parts().exports->spreadsheetCheck().isChecking(), 15000);
        QTest::qWait(100);
        QCOMPARE(w.dialogs.notices, QStringList());
        QCOMPARE(QDir(Spreadsheet::CacheFolder()).entryList(QDir::Files), QStringList());

        QStringList first = Chur, third = Garmisch;
        first[0] = "=12/7/2026";
        first[2] = "=Graubünden";
        third[3] = "a=b=c";
        w.fill({first, Chur, third}, {0, 2});
        w.click("PushButton6");
        QCOMPARE(w.pointer(), PointerRule::Pointer::Hourglass);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromLocal8Bit(FileBytes(opened)), path, 15000);
        QCOMPARE(w.pointer(), PointerRule::Pointer::Default);
        QCOMPARE(QDir(Spreadsheet::CacheFolder()).entryList(QDir::Files),
                 QStringList {QFileInfo(path).fileName()});
        QCOMPARE(FileMode(path), 0600);
        QCOMPARE(FileMode(Spreadsheet::CacheFolder() + "/.."), 0700);

        QStringList firstInSheet = Chur, thirdInSheet = Garmisch;
        firstInSheet[0] = "=12/7/2026";
        thirdInSheet[3] = "abc";
        const Table expected = {
            {"Time", "Country", "Region", "City", "Postal Code", "Coordinates", "Timezone"},
            firstInSheet,
            QStringList(ResultsList::ColumnCount),
            thirdInSheet,
        };
        QCOMPARE(readXlsx(path), expected);
        QCOMPARE(w.dialogs.notices, QStringList());
        QCOMPARE(w.reports(), QStringList());
    }

    void clearResults()
    {
        Window w;
        w.fill({Chur, Garmisch}, {1});
        w.click("PushButton1");
        QCOMPARE(w.form->parts().results->rows(), 0);
        QCOMPARE(w.dialogs.notices, QStringList());
        QCOMPARE(w.dialogs.questions, QStringList());
        QCOMPARE(w.reports(), QStringList());
    }
};

QTEST_MAIN(TestForm1Exports)
#include "tst_form1_exports.moc"
