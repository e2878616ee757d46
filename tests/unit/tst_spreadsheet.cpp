#include "core/failure.h"
#include "results/resultslist.h"
#include "results/spreadsheetexport.h"
#include "results/spreadsheethandlercheck.h"
#include "results/xlsxwriterlibrary.h"
#include "support/fixtures.h"
#include "support/logrows.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

using Table = QList<QStringList>;

namespace {

// Reads the workbook back the way another program would: openpyxl prints each worksheet cell
// of rows 1 to the last one used, with its value and its type, and each column's width.
const char *ReadBack = R"(
import json, sys, openpyxl
from openpyxl.utils import get_column_letter
book = openpyxl.load_workbook(sys.argv[1])
sheet = book.worksheets[0]
cells = [[[c.value, c.data_type] for c in row]
         for row in sheet.iter_rows(min_row=1, max_row=sheet.max_row, max_col=7)]
widths = [sheet.column_dimensions[get_column_letter(c)].width for c in range(1, 8)]
json.dump({"sheets": len(book.worksheets), "cells": cells, "widths": widths}, sys.stdout)
)";

struct ReadSheet
{
    int sheets = 0;
    Table values;
    Table types;
    QList<double> widths;
};

ReadSheet readXlsx(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromUtf8(ReadBack), path});
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        qWarning() << "openpyxl:" << python.readAllStandardError();
    const QJsonObject read = QJsonDocument::fromJson(python.readAllStandardOutput()).object();

    ReadSheet sheet;
    sheet.sheets = read[u"sheets"].toInt();
    for (const QJsonValue row : read[u"cells"].toArray()) {
        QStringList values, types;
        for (const QJsonValue cell : row.toArray()) {
            values.append(cell[0].toString());
            types.append(cell[1].toString());
        }
        sheet.values.append(values);
        sheet.types.append(types);
    }
    for (const QJsonValue width : read[u"widths"].toArray())
        sheet.widths.append(width.toDouble());
    return sheet;
}

const QStringList Captions = {
    QStringLiteral("Time"),     QStringLiteral("Country"),     QStringLiteral("Region"),
    QStringLiteral("City"),     QStringLiteral("Postal Code"), QStringLiteral("Coordinates"),
    QStringLiteral("Timezone"),
};
const QStringList EmptyRow(ResultsList::ColumnCount);

void fill(ResultsList &list, const Table &table, const QList<int> &ticked)
{
    for (const QStringList &cells : table)
        list.appendRecord(RecordOfCells(cells));
    for (int row : ticked)
        list.setData(list.index(row, 0), Qt::Checked, Qt::CheckStateRole);
}

struct Finished
{
    bool ok = false;
    QString path;
    QString error;
};

// Starts an export, lets `meanwhile` change the table before the first slice runs, and waits.
std::optional<Finished> runExport(ResultsList &list, const QString &path,
                                  const std::function<void()> &meanwhile = {})
{
    SpreadsheetExport exporter(&list, path);
    QSignalSpy finished(&exporter, &SpreadsheetExport::finished);
    exporter.start();
    if (!exporter.isRunning() || !finished.isEmpty())
        return std::nullopt;
    if (meanwhile)
        meanwhile();
    if (!finished.wait(30000) || finished.size() != 1 || exporter.isRunning())
        return std::nullopt;
    const QList<QVariant> arguments = finished.first();
    return Finished {arguments[0].toBool(), arguments[1].toString(), arguments[2].toString()};
}

int codePoints(const QString &text)
{
    return int(text.toUcs4().size());
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// The file's (or folder's) last change, as the file system keeps it.
bool setModified(const QString &path, const QDateTime &when)
{
    const timespec times[2] = {{when.toSecsSinceEpoch(), 0}, {when.toSecsSinceEpoch(), 0}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// The hidden files of the folder: the program's records and files being written.
QStringList hiddenFiles(const QString &folder)
{
    QStringList hidden;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        if (name.startsWith(u'.'))
            hidden << name;
    }
    return hidden;
}

} // namespace

class TestSpreadsheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exportTicked_data();
    void exportTicked();
    void writeFailure_data();
    void writeFailure();
    void destroyedWhileWriting();
    void writerLibrary_data();
    void writerLibrary();
    void cacheFolder_data();
    void cacheFolder();
    void exportNames_data();
    void exportNames();
    void removeOldExports_data();
    void removeOldExports();
    void desktopHandler_data();
    void desktopHandler();

private:
    // A desktop of its own, with no application for .xlsx files or, `withHandler`, one that
    // records what it was asked to open and is the default.
    void setUpDesktop(EnvOverride &env, const TestEnv &world, bool withHandler);
};

void TestSpreadsheet::exportTicked_data()
{
    QTest::addColumn<Table>("table");
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<Table>("expected");

    const Table places = {
        {"=1+1", "CH", "A=B", "Zürich", "=123", "47.3769, 8.5417", "Europe/Zurich"},
        {"12/7/2026 10:15:02 AM", "US", "=Texas", "Austin", "73301", "30.2672, -97.7431",
         "America/Chicago"},
        {"12/7/2026 10:20:02 AM", "==", "東京都", "東京", "100-0001", "35.6895, 139.6917",
         "Asia/Tokyo"},
    };
    const Table sheet = {
        {"=1+1", "CH", "AB", "Zürich", "123", "47.3769, 8.5417", "Europe/Zurich"},
        EmptyRow,
        {"12/7/2026 10:20:02 AM", "", "東京都", "東京", "100-0001", "35.6895, 139.6917",
         "Asia/Tokyo"},
    };
    QTest::newRow("first and last ticked") << places << QList<int> {0, 2} << "" << sheet;
    QTest::newRow("none ticked") << places << QList<int> {} << "" << Table {};
    QTest::newRow("empty table") << Table {} << QList<int> {} << "" << Table {};
    // The rows are counted when the export starts; a table cleared meanwhile ends it early.
    QTest::newRow("rows added meanwhile") << places << QList<int> {0, 2} << "add" << sheet;
    QTest::newRow("cleared meanwhile") << places << QList<int> {0, 2} << "clear" << Table {};

    const QString longName(300, u'x');
    const QString overlong(40000, u'y');
    QTest::newRow("cells longer than a sheet takes")
        << Table {{"t", "c", "r", longName, overlong, "", ""}} << QList<int> {0} << ""
        << Table {{"t", "c", "r", longName, overlong.first(32767), "", ""}};
}

void TestSpreadsheet::exportTicked()
{
    QFETCH(Table, table);
    QFETCH(QList<int>, ticked);
    QFETCH(QString, meanwhile);
    QFETCH(Table, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Trovanel results 2026-12-07 101502.xlsx"));
    ResultsList list;
    fill(list, table, ticked);

    const std::optional<Finished> finished = runExport(list, path, [&] {
        if (meanwhile == "add")
            fill(list, {table[0]}, {list.rows()});
        else if (meanwhile == "clear")
            list.clear();
    });
    QVERIFY(finished);
    QVERIFY2(finished->ok, qPrintable(finished->error));
    QCOMPARE(finished->path, path);
    // Only the workbook itself is left in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList {QFileInfo(path).fileName()});

    const ReadSheet sheet = readXlsx(path);
    QCOMPARE(sheet.sheets, 1);
    QCOMPARE(sheet.values, Table {Captions} + expected);
    for (int row = 0; row < sheet.values.size(); ++row) {
        for (int column = 0; column < ResultsList::ColumnCount; ++column) {
            if (!sheet.values[row][column].isEmpty())
                QCOMPARE(sheet.types[row][column], QStringLiteral("s"));
        }
    }

    QCOMPARE(sheet.widths.size(), ResultsList::ColumnCount);
    for (int column = 0; column < ResultsList::ColumnCount; ++column) {
        int longest = 0;
        for (const QStringList &row : sheet.values)
            longest = std::max(longest, codePoints(row[column]));
        const double width = sheet.widths[column];
        QVERIFY2(width >= std::min(longest, 255) && width <= std::min(2 * longest + 4, 256),
                 qPrintable(QString::number(width)));
    }
}

void TestSpreadsheet::writeFailure_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("isFile");
    QTest::addColumn<bool>("readOnly");

    QTest::newRow("missing folder") << "missing" << false << false;
    QTest::newRow("folder is a file") << "plain" << true << false;
    QTest::newRow("read-only folder") << "locked" << false << true;
}

void TestSpreadsheet::writeFailure()
{
    QFETCH(QString, folder);
    QFETCH(bool, isFile);
    QFETCH(bool, readOnly);
    if (readOnly && geteuid() == 0)
        QSKIP("Permissions do not hold back the superuser.");

    QTemporaryDir dir;
    const QString parent = dir.filePath(folder);
    if (isFile)
        QVERIFY(writeFile(parent, "not a folder"));
    if (readOnly) {
        QVERIFY(QDir().mkpath(parent));
        QVERIFY(QFile::setPermissions(parent, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QString path = parent + QStringLiteral("/Trovanel results 2026-12-07 101502.xlsx");
    ResultsList list;
    fill(list, {{"t", "c", "r", "c", "p", "x", "z"}}, {0});

    const std::optional<Finished> finished = runExport(list, path);
    QVERIFY(finished);
    QVERIFY(!finished->ok);
    QCOMPARE(finished->path, path);
    QVERIFY2(finished->error.contains(path), qPrintable(finished->error));
    QVERIFY(!QFileInfo::exists(path));
    if (readOnly) {
        QCOMPARE(QDir(parent).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList {});
        QFile::setPermissions(parent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

void TestSpreadsheet::destroyedWhileWriting()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    constexpr int Rows = 20000;
    ResultsList list;
    for (int row = 0; row < Rows; ++row) {
        fill(list,
             {{"12/7/2026 10:15:02 AM", "DE", "Berlin", "Berlin", "10115", "52.5200, 13.4050",
               "Europe/Berlin"}},
             {row});
    }

    // Once the worker has begun its file, the export is dropped; the worker finishes the file
    // all the same and reports to nobody.
    auto *exporter = new SpreadsheetExport(&list, path);
    exporter->start();
    QTRY_VERIFY_WITH_TIMEOUT(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size() == 1,
                             30000);
    delete exporter;
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path), 30000);
    QCOMPARE(readXlsx(path).values.size(), 1 + Rows);
}

void TestSpreadsheet::writerLibrary_data()
{
    QTest::addColumn<QByteArray>("fileName");
    QTest::addColumn<QStringList>("told");

    QTest::newRow("absent") << QByteArray("libtrovanel-absent-writer.so.0")
                            << QStringList {"libtrovanel-absent-writer.so.0",
                                            "could not be loaded"};
    QTest::newRow("another library")
        << QByteArray("libz.so.1") << QStringList {"libz.so.1", "lacks", "workbook_new_opt"};
    QTest::newRow("the writer") << QByteArray(XlsxWriterLibrary::DefaultFileName) << QStringList {};
}

void TestSpreadsheet::writerLibrary()
{
    QFETCH(QByteArray, fileName);
    QFETCH(QStringList, told);

    // Asked twice: a library that failed is tried again rather than remembered as missing.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            const XlsxWriterLibrary &writer = XlsxWriterLibrary::get(fileName.constData());
            QVERIFY2(told.isEmpty(), "loaded a library that cannot write sheets");
            QVERIFY(writer.workbook_new_opt && writer.workbook_add_worksheet
                    && writer.workbook_close && writer.lxw_workbook_free
                    && writer.worksheet_write_string && writer.worksheet_set_column
                    && writer.lxw_strerror);
            QCOMPARE(QString::fromUtf8(writer.lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED)),
                     QStringLiteral("Memory error, failed to malloc() required memory."));
        } catch (const Failure &failure) {
            QVERIFY2(!told.isEmpty(), qPrintable(failure.description()));
            for (const QString &part : told)
                QVERIFY2(failure.description().contains(part), qPrintable(failure.description()));
        }
    }
}

void TestSpreadsheet::cacheFolder_data()
{
    QTest::addColumn<QString>("cacheHome");
    QTest::addColumn<QString>("expected");

    QTest::newRow("cache home set") << "/var/tmp/c"
                                    << "/var/tmp/c/Brenvatic/Trovanel";
    QTest::newRow("cache home unset") << QString() << "HOME/.cache/Brenvatic/Trovanel";
    QTest::newRow("relative cache home") << "cache"
                                         << "HOME/.cache/Brenvatic/Trovanel";
}

void TestSpreadsheet::cacheFolder()
{
    QFETCH(QString, cacheHome);
    QFETCH(QString, expected);

    TestEnv world;
    EnvOverride env;
    if (cacheHome.isNull())
        env.unset("XDG_CACHE_HOME");
    else
        env.set("XDG_CACHE_HOME", cacheHome);
    QCOMPARE(Spreadsheet::CacheFolder(), expected.replace("HOME", world.root() + "/home"));

    // Hours past noon, so that a 12-hour clock shows.
    QCOMPARE(Spreadsheet::ExportFileName(QDateTime(QDate(2026, 12, 7), QTime(22, 5, 9))),
             QStringLiteral("Trovanel results 2026-12-07 220509.xlsx"));
}

void TestSpreadsheet::exportNames_data()
{
    // Files already in the folder, as the user left them.
    QTest::addColumn<QStringList>("taken");
    // Exports started at once, all for the same second.
    QTest::addColumn<int>("exports");
    QTest::addColumn<QStringList>("expected");

    const QString at = QStringLiteral("Trovanel results 2026-12-07 101502");
    QTest::newRow("two in the same second")
        << QStringList {} << 2 << QStringList {at + ".xlsx", at + " (2).xlsx"};
    QTest::newRow("name taken by the user's file")
        << QStringList {at + ".xlsx"} << 1 << QStringList {at + " (2).xlsx"};
    QTest::newRow("three at once, one name taken")
        << QStringList {at + " (2).xlsx"} << 3
        << QStringList {at + ".xlsx", at + " (3).xlsx", at + " (4).xlsx"};
}

void TestSpreadsheet::exportNames()
{
    QFETCH(QStringList, taken);
    QFETCH(int, exports);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    for (const QString &name : taken)
        QVERIFY(writeFile(dir.filePath(name), "the user's own " + name.toUtf8()));
    const QString wanted = dir.filePath(QStringLiteral("Trovanel results 2026-12-07 101502.xlsx"));

    // Each export holds a row of its own, so that each file can be told apart.
    std::vector<std::unique_ptr<ResultsList>> lists;
    std::vector<std::unique_ptr<SpreadsheetExport>> exporters;
    std::vector<std::unique_ptr<QSignalSpy>> finished;
    for (int e = 0; e < exports; ++e) {
        lists.push_back(std::make_unique<ResultsList>());
        fill(*lists.back(), {{"t", "CH", "r", QStringLiteral("City %1").arg(e), "p", "x", "z"}},
             {0});
        exporters.push_back(std::make_unique<SpreadsheetExport>(lists.back().get(), wanted));
        exporters.back()->setLifetime(Spreadsheet::Lifetime::Removable);
        finished.push_back(
            std::make_unique<QSignalSpy>(exporters.back().get(), &SpreadsheetExport::finished));
    }
    for (const auto &exporter : exporters)
        exporter->start();

    QStringList names;
    for (int e = 0; e < exports; ++e) {
        QTRY_COMPARE_WITH_TIMEOUT(finished[e]->size(), 1, 30000);
        const QList<QVariant> arguments = finished[e]->first();
        QVERIFY2(arguments[0].toBool(), qPrintable(arguments[2].toString()));
        const QString path = arguments[1].toString();
        names << QFileInfo(path).fileName();
        QCOMPARE(
            readXlsx(path).values,
            (Table {Captions, {"t", "CH", "r", QStringLiteral("City %1").arg(e), "p", "x", "z"}}));
    }
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);
    for (const QString &name : taken)
        QCOMPARE(FileBytes(dir.filePath(name)), "the user's own " + name.toUtf8());
    // Each export has its own record, and no file being written is left behind.
    QCOMPARE(hiddenFiles(dir.path()).size(), exports);
}

void TestSpreadsheet::removeOldExports_data()
{
    QTest::addColumn<QString>("name");
    // What became of the file the program wrote: "" nothing; "folder" it is a folder instead;
    // "same size" or "other size" the user saved to it; "no record" a version that kept no
    // record wrote it; "unreadable" it cannot be read; "gone" the user removed it; "ended while
    // written" the program ended while writing it, leaving the hidden file it was written in.
    QTest::addColumn<QString>("since");
    QTest::addColumn<int>("ageHours");
    QTest::addColumn<int>("maxAgeHours");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<bool>("recordKept");

    const QString old = QStringLiteral("Trovanel results 2026-12-06 101502.xlsx");
    QTest::newRow("old export") << old << "" << 25 << 24 << false << false;
    QTest::newRow("new export") << "Trovanel results 2026-12-07 091502.xlsx"
                                << "" << 23 << 24 << true << true;
    QTest::newRow("older than a shorter age") << "Trovanel results 2026-12-07 091502.xlsx"
                                              << "" << 2 << 1 << false << false;
    QTest::newRow("old file of another name") << "notes.xlsx"
                                              << "" << 25 << 24 << true << true;
    QTest::newRow("old export of another type") << "Trovanel results 2026-12-06 101502.txt"
                                                << "" << 25 << 24 << true << true;
    QTest::newRow("old name in other case") << "trovanel results 2026-12-06 101502.xlsx"
                                            << "" << 25 << 24 << true << true;
    QTest::newRow("old folder named like an export")
        << old << "folder" << 25 << 24 << true << false;
    // The user saved the sheet in place: it is theirs now, for good.
    QTest::newRow("old export saved, same size") << old << "same size" << 25 << 24 << true << false;
    QTest::newRow("old export saved, other size")
        << old << "other size" << 25 << 24 << true << false;
    QTest::newRow("old export without record") << old << "no record" << 25 << 24 << true << false;
    QTest::newRow("old export unreadable") << old << "unreadable" << 25 << 24 << true << true;
    QTest::newRow("new export removed by the user") << old << "gone" << 2 << 24 << false << false;
    QTest::newRow("old export left half written")
        << old << "ended while written" << 25 << 24 << false << false;
    QTest::newRow("export being written")
        << old << "ended while written" << 2 << 24 << true << true;
    QTest::newRow("old hidden file of another name")
        << "notes.xlsx"
        << "ended while written" << 25 << 24 << true << true;
}

void TestSpreadsheet::removeOldExports()
{
    QFETCH(QString, name);
    QFETCH(QString, since);
    QFETCH(int, ageHours);
    QFETCH(int, maxAgeHours);
    QFETCH(bool, kept);
    QFETCH(bool, recordKept);
    if (since == "unreadable" && geteuid() == 0)
        QSKIP("Permissions do not hold back the superuser.");

    TestEnv world;
    EnvOverride env;
    env.set("XDG_CACHE_HOME", world.root() + "/cache");
    const QDateTime now = QDateTime::currentDateTime();
    // Nothing to clean up yet: the folder is made with the first export.
    Spreadsheet::RemoveOldExports(now, maxAgeHours * 3600);
    QVERIFY(!QFileInfo::exists(Spreadsheet::CacheFolder()));

    const QString folder = Spreadsheet::CacheFolder();
    QVERIFY(QDir().mkpath(folder));
    QString path = folder + "/" + name;
    if (since == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (since == "ended while written") {
        path = folder + "/." + name + ".Xq3vZa";
        QVERIFY(writeFile(path, "PK\x03\x04 the first part of a workbook"));
    } else {
        QCOMPARE(Spreadsheet::WriteXlsx({Captions, {}}, path, Spreadsheet::Lifetime::Removable),
                 path);
        QByteArray contents = FileBytes(path);
        if (since == "same size") {
            contents[contents.size() / 2] = char(contents[contents.size() / 2] ^ 0x20);
            QVERIFY(writeFile(path, contents));
        } else if (since == "other size") {
            QVERIFY(writeFile(path, contents + "PK"));
        } else if (since == "no record") {
            for (const QString &hidden : hiddenFiles(folder))
                QVERIFY(QFile::remove(folder + "/" + hidden));
        } else if (since == "gone") {
            QVERIFY(QFile::remove(path));
        }
    }
    if (since != "gone")
        QVERIFY(setModified(path, now.addSecs(-qint64(ageHours) * 3600)));
    QCOMPARE(QProcess::execute("chmod", {"-R", "go+rX", folder}), 0); // as earlier versions did
    if (since == "unreadable")
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));

    Spreadsheet::RemoveOldExports(now, maxAgeHours * 3600);
    QCOMPARE(QFileInfo::exists(path), kept);
    QCOMPARE(hiddenFiles(folder).size(), recordKept ? 1 : 0);
    QCOMPARE(FileMode(folder), 0700);
    for (const QString &file : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        QCOMPARE(FileMode(folder + "/" + file) & 0077, 0);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

void TestSpreadsheet::setUpDesktop(EnvOverride &env, const TestEnv &world, bool withHandler)
{
    const QString data = world.root() + "/data";
    QVERIFY(QDir().mkpath(data + "/applications"));
    QVERIFY(QDir().mkpath(world.root() + "/sysconfig"));
    if (withHandler) {
        const QString handler = world.root() + "/handler.sh";
        QVERIFY(writeFile(handler,
                          "#!/bin/sh\nprintf '%s' \"$1\" > '" + QFile::encodeName(world.root())
                              + "/opened.txt'\n"));
        QVERIFY(
            QFile::setPermissions(handler, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(writeFile(data + "/applications/testsheet.desktop",
                          "[Desktop Entry]\nType=Application\nName=Test sheet\nExec="
                              + QFile::encodeName(handler)
                              + " %f\nMimeType=application/"
                                "vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n"));
        QVERIFY(writeFile(world.configHome() + "/mimeapps.list",
                          "[Default Applications]\napplication/"
                          "vnd.openxmlformats-officedocument.spreadsheetml.sheet="
                          "testsheet.desktop\n"));
    }

    env.set("XDG_DATA_HOME", data);
    // The system's share keeps its MIME database for telling the file's type, but without a
    // handler under test none of its applications may count.
    env.set("XDG_DATA_DIRS", withHandler ? data + ":/usr/share" : data);
    env.set("XDG_CONFIG_DIRS", world.root() + "/sysconfig");
    // No desktop environment, so the desktop's tools take their generic route through the
    // files above; that route wants a display, though the handler never uses it.
    env.set("XDG_CURRENT_DESKTOP", QString());
    for (const char *name :
         {"DE", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID",
          "DESKTOP_SESSION", "LXQT_SESSION_CONFIG", "WAYLAND_DISPLAY", "BROWSER"})
        env.unset(name);
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        env.set("DISPLAY", QStringLiteral(":97"));
    env.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + world.root() + "/no-bus");
}

void TestSpreadsheet::desktopHandler_data()
{
    QTest::addColumn<bool>("withHandler");
    // After the first answer the user installs a handler, and it is asked again.
    QTest::addColumn<bool>("installedMeanwhile");
    QTest::newRow("default handler") << true << false;
    QTest::newRow("no handler") << false << false;
    QTest::newRow("handler installed after none") << false << true;
}

void TestSpreadsheet::desktopHandler()
{
    QFETCH(bool, withHandler);
    QFETCH(bool, installedMeanwhile);
    for (const char *office : {"localc", "libreoffice", "soffice", "gnumeric"}) {
        if (!withHandler && !QStandardPaths::findExecutable(QString::fromLatin1(office)).isEmpty())
            QSKIP("A spreadsheet application is installed on this computer.");
    }
    TestEnv world;
    EnvOverride env;
    setUpDesktop(env, world, withHandler);
    if (QTest::currentTestFailed())
        return;
    SpreadsheetHandlerCheck check;
    QSignalSpy answered(&check, &SpreadsheetHandlerCheck::answered);
    check.check();
    QVERIFY(answered.wait(15000));
    QCOMPARE(answered.takeFirst().value(0).toBool(), withHandler);
    QCOMPARE(check.answer(),
             withHandler ? SpreadsheetHandlerCheck::Answer::Yes
                         : SpreadsheetHandlerCheck::Answer::None);
    if (installedMeanwhile) {
        setUpDesktop(env, world, true);
        if (QTest::currentTestFailed())
            return;
        check.check();
        QVERIFY(answered.wait(15000));
        QCOMPARE(answered.takeFirst().value(0).toBool(), true);
        QCOMPARE(check.answer(), SpreadsheetHandlerCheck::Answer::Yes);
    }
    if (!withHandler)
        return;

    const QString path = world.root() + "/Trovanel results 2026-12-07 101502.xlsx";
    Spreadsheet::WriteXlsx({Captions, {}}, path);
    QVERIFY(Spreadsheet::OpenInSpreadsheet(path));
    auto opened = [&] {
        QFile record(world.root() + "/opened.txt");
        return record.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(record.readAll())
                                                : QString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(opened(), path, 15000);
}

QTEST_MAIN(TestSpreadsheet)
#include "tst_spreadsheet.moc"
