#include "app/failure.h"
#include "results/resultslist.h"
#include "results/spreadsheetexport.h"
#include "results/xlsxwriterlibrary.h"
#include "support/fixtures.h"
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
#include <optional>

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
    for (const QStringList &cells : table) {
        const int row = list.appendRow(cells[0]);
        for (int column = 1; column < ResultsList::ColumnCount; ++column)
            list.setCell(row, column, cells[column]);
    }
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

void TestSpreadsheet::removeOldExports_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<int>("ageHours");
    QTest::addColumn<int>("maxAgeHours");
    QTest::addColumn<bool>("kept");

    QTest::newRow("old export") << "Trovanel results 2026-12-06 101502.xlsx" << false << 25 << 24
                                << false;
    QTest::newRow("new export") << "Trovanel results 2026-12-07 091502.xlsx" << false << 23 << 24
                                << true;
    QTest::newRow("older than a shorter age")
        << "Trovanel results 2026-12-07 091502.xlsx" << false << 2 << 1 << false;
    QTest::newRow("old file of another name") << "notes.xlsx" << false << 25 << 24 << true;
    QTest::newRow("old export of another type")
        << "Trovanel results 2026-12-06 101502.txt" << false << 25 << 24 << true;
    QTest::newRow("old name in other case")
        << "trovanel results 2026-12-06 101502.xlsx" << false << 25 << 24 << true;
    QTest::newRow("old folder named like an export")
        << "Trovanel results 2026-12-06 101502.xlsx" << true << 25 << 24 << true;
}

void TestSpreadsheet::removeOldExports()
{
    QFETCH(QString, name);
    QFETCH(bool, isFolder);
    QFETCH(int, ageHours);
    QFETCH(int, maxAgeHours);
    QFETCH(bool, kept);

    TestEnv world;
    EnvOverride env;
    env.set("XDG_CACHE_HOME", world.root() + "/cache");
    const QDateTime now = QDateTime::currentDateTime();
    // Nothing to clean up yet: the folder is made with the first export.
    Spreadsheet::RemoveOldExports(now, maxAgeHours * 3600);
    QVERIFY(!QFileInfo::exists(Spreadsheet::CacheFolder()));

    QVERIFY(QDir().mkpath(Spreadsheet::CacheFolder()));
    const QString path = Spreadsheet::CacheFolder() + "/" + name;
    const QDateTime modified = now.addSecs(-qint64(ageHours) * 3600);
    if (isFolder) {
        QVERIFY(QDir().mkpath(path));
        const timespec times[2]
            = {{modified.toSecsSinceEpoch(), 0}, {modified.toSecsSinceEpoch(), 0}};
        QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    Spreadsheet::RemoveOldExports(now, maxAgeHours * 3600);
    QCOMPARE(QFileInfo::exists(path), kept);
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
    QTest::newRow("default handler") << true;
    QTest::newRow("no handler") << false;
}

void TestSpreadsheet::desktopHandler()
{
    QFETCH(bool, withHandler);
    for (const char *office : {"localc", "libreoffice", "soffice", "gnumeric"}) {
        if (!withHandler && !QStandardPaths::findExecutable(QString::fromLatin1(office)).isEmpty())
            QSKIP("A spreadsheet application is installed on this computer.");
    }
    TestEnv world;
    EnvOverride env;
    setUpDesktop(env, world, withHandler);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(Spreadsheet::IsExcelInstalled(), withHandler);
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
