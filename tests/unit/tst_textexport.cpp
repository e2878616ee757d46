#include "results/clipboardtext.h"
#include "results/textexport.h"
#include "support/datatable.h"
#include "support/logrows.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <functional>

namespace {

// A table for the tests: per row "+" (ticked) or "-", then the seven cells.
using Table = QList<QStringList>;

const QString SavePath = QStringLiteral("/home/user/Documents/results.txt");
const QString Writing = QStringLiteral("Writing file: results.txt");

QString sp(int count)
{
    return QString(count, u' ');
}

void appendTo(ResultsList &list, const QStringList &row)
{
    const int added = list.appendRecord(RecordOfCells(row.mid(1))).row;
    if (row[0] == u"+")
        list.setData(list.index(added, 0), Qt::Checked, Qt::CheckStateRole);
}

void fill(ResultsList &list, const Table &table)
{
    for (const QStringList &row : table)
        appendTo(list, row);
}

void fillNumbered(ResultsList &list, int rows, const QList<int> &ticked)
{
    for (int row = 1; row <= rows; ++row)
        list.appendRecord(RecordOfCells({QString::number(row)}));
    for (int row : ticked)
        list.setData(list.index(row - 1, 0), Qt::Checked, Qt::CheckStateRole);
}

// The signals of one save in order: progress as "position" or "position|text" (a null text
// gives no "|"), then "finished" or "failed|error".
QStringList runSave(ResultsList &list, QIODevice *device,
                    const std::function<void(int)> &onProgress = {})
{
    SpacedTextSave save(&list, device, SavePath);
    QStringList events;
    bool over = false;
    QObject::connect(&save, &SpacedTextSave::progress, [&](int position, const QString &text) {
        events.append(QString::number(position) + (text.isNull() ? QString() : u'|' + text));
        if (onProgress)
            onProgress(position);
    });
    QObject::connect(&save, &SpacedTextSave::finished, [&](bool ok, const QString &error) {
        events.append(ok ? QStringLiteral("finished") : QStringLiteral("failed|") + error);
        over = true;
    });
    save.start();
    if (!QTest::qWaitFor([&] { return over; }, 20000))
        events.append(QStringLiteral("timed out"));
    return events;
}

QByteArray saveToFile(ResultsList &list, const std::function<void(int)> &onProgress = {})
{
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("results.txt")));
    if (!file.open(QIODevice::WriteOnly))
        return "not opened";
    const QStringList events = runSave(list, &file, onProgress);
    file.close();
    if (events.last() != u"finished")
        return events.join(u'\n').toUtf8();
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// The clipboard text, or "null" when the job gave a null string.
QString runCopy(const ResultsList &list)
{
    ClipboardText copy(&list);
    QString result;
    bool over = false;
    QObject::connect(&copy, &ClipboardText::finished, [&](const QString &text) {
        result = text.isNull() ? QStringLiteral("null") : text;
        over = true;
    });
    copy.start();
    if (!QTest::qWaitFor([&] { return over; }, 20000))
        return QStringLiteral("timed out");
    return result;
}

// Refuses to store what it is given: every write fails outright or falls one byte short.
class RefusingDevice : public QIODevice
{
public:
    explicit RefusingDevice(bool outright) : m_outright(outright) { open(QIODevice::WriteOnly); }

    int writes = 0;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override
    {
        ++writes;
        setErrorString(QStringLiteral("Disk quota exceeded"));
        return m_outright ? -1 : length - 1;
    }

private:
    bool m_outright;
};

const QStringList Paris = {"+",     "1/2/2026 8:00:00 AM", "FR",          "Île-de-France", "Paris",
                           "75001", "48.8566, 2.3522",     "Europe/Paris"};

// Widths 19, 7, 13, 5, 11, 15, 12 from the captions and Paris.
const QString ParisHeader = "Time" + sp(15) + "\tCountry\tRegion" + sp(7) + "\tCity" + sp(1)
    + "\tPostal Code\tCoordinates" + sp(4) + "\tTimezone" + sp(4) + "\t\r\n";
const QString ParisLine = "1/2/2026 8:00:00 AM\tFR" + sp(5) + "\tÎle-de-France\tParis\t75001"
    + sp(6) + "\t48.8566, 2.3522\tEurope/Paris\t\r\n";

} // namespace

class TestTextExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void spacedFile_data();
    void spacedFile();
    void fileIsUtf8WithoutMark();
    void rowsChangingDuringSave_data();
    void rowsChangingDuringSave();
    void progress_data();
    void progress();
    void windowTurnsDuringSave();
    void failingDevice_data();
    void failingDevice();
    void widths_data();
    void widths();
    void fileNameOnly_data();
    void fileNameOnly();
    void clipboardText_data();
    void clipboardText();
    void clipboardAccess_data();
    void clipboardAccess();
};

void TestTextExport::spacedFile_data()
{
    QTest::addColumn<Table>("table");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty table") << Table {}
                                 << QStringLiteral("Time\tCountry\tRegion\tCity\tPostal Code\t"
                                                   "Coordinates\tTimezone\t\r\n");

    // Cells of 20, 2, 10, 8, 5, 17 and 19 characters: widths 20, 7, 10, 8, 11, 17, 19.
    QTest::newRow("one ticked row")
        << Table {{"+", "7/12/2026 9:15:02 AM", "US", "California", "San Jose", "95113",
                   "37.3382, -121.886", "America/Los_Angeles"}}
        << "Time" + sp(16) + "\tCountry\tRegion" + sp(4) + "\tCity" + sp(4)
            + "\tPostal Code\tCoordinates" + sp(6) + "\tTimezone" + sp(11) + "\t\r\n"
            + "7/12/2026 9:15:02 AM\tUS" + sp(5) + "\tCalifornia\tSan Jose\t95113" + sp(6)
            + "\t37.3382, -121.886\tAmerica/Los_Angeles\t\r\n";

    QTest::newRow("unticked rows widen columns")
        << Table {{"-", "7/12/2026 9:15:02 AM", "Deutschland", "", "", "", "", ""},
                  {"+", "8:00", "DE", "Berlin", "Berlin", "10115", "52.52, 13.405",
                   "Europe/Berlin"},
                  {"-", "", "", "", "", "", "", "America/Argentina/Buenos_Aires"}}
        << "Time" + sp(16) + "\tCountry" + sp(4) + "\tRegion\tCity" + sp(2)
            + "\tPostal Code\tCoordinates" + sp(2) + "\tTimezone" + sp(22) + "\t\r\n" + "8:00"
            + sp(16) + "\tDE" + sp(9) + "\tBerlin\tBerlin\t10115" + sp(6) + "\t52.52, 13.405"
            + "\tEurope/Berlin" + sp(17) + "\t\r\n";

    QTest::newRow("characters, not bytes")
        << Table {{"+", "t", "CH", "Zürich", "Zürich", "8001", "", "Europe/Zurich"},
                  {"+", "t", "JP", "東京", "東京", "100", "", "Asia/Tokyo"}}
        << "Time\tCountry\tRegion\tCity" + sp(2) + "\tPostal Code\tCoordinates\tTimezone" + sp(5)
            + "\t\r\n" + "t" + sp(3) + "\tCH" + sp(5) + "\tZürich\tZürich\t8001" + sp(7) + "\t"
            + sp(11) + "\tEurope/Zurich\t\r\n" + "t" + sp(3) + "\tJP" + sp(5) + "\t東京" + sp(4)
            + "\t東京" + sp(4) + "\t100" + sp(8) + "\t" + sp(11) + "\tAsia/Tokyo" + sp(3)
            + "\t\r\n";
}

void TestTextExport::spacedFile()
{
    QFETCH(Table, table);
    QFETCH(QString, expected);

    ResultsList list;
    fill(list, table);
    QCOMPARE(saveToFile(list), expected.toUtf8());
}

void TestTextExport::fileIsUtf8WithoutMark()
{
    ResultsList list;
    fill(list, {{"+", "t", "CH", "Zürich", "", "", "", ""}});
    const QByteArray bytes = saveToFile(list);
    QVERIFY(bytes.startsWith("Time\t"));
    QVERIFY(bytes.contains("\tZ\xc3\xbcrich\t"));
}

void TestTextExport::rowsChangingDuringSave_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QString>("expected");

    // The widths stay those of Paris: the longer cells of Marseille go out without padding.
    QTest::newRow("appended after the widths")
        << 10 << false
        << ParisHeader + ParisLine + "1/2/2026 10:00:00 AM\tFrance" + sp(1)
            + "\tProvence-Alpes-Côte d'Azur\tMarseille\t13001" + sp(6)
            + "\t43.2965, 5.3698\tEurope/Paris\t\r\n";
    QTest::newRow("appended after the header") << 20 << false << ParisHeader + ParisLine;
    QTest::newRow("cleared before the widths")
        << 1 << true
        << QStringLiteral("Time\tCountry\tRegion\tCity\tPostal Code\tCoordinates\tTimezone\t\r\n");
    QTest::newRow("cleared after the header") << 20 << true << ParisHeader;
    // Cleared by the slot of the row's own progress: its line is not written.
    QTest::newRow("cleared before a row") << 100 << true << ParisHeader;
}

void TestTextExport::rowsChangingDuringSave()
{
    QFETCH(int, at);
    QFETCH(bool, clear);
    QFETCH(QString, expected);

    ResultsList list;
    appendTo(list, Paris);
    bool changed = false;
    const QByteArray bytes = saveToFile(list, [&](int position) {
        if (position != at || changed)
            return;
        changed = true;
        if (clear)
            list.clear();
        else
            appendTo(list,
                     {"+", "1/2/2026 10:00:00 AM", "France", "Provence-Alpes-Côte d'Azur",
                      "Marseille", "13001", "43.2965, 5.3698", "Europe/Paris"});
    });
    QVERIFY(changed);
    QCOMPARE(bytes, expected.toUtf8());
}

void TestTextExport::progress_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<QStringList>("rowEvents");

    QTest::newRow("quarters") << 4 << QList<int> {1, 2, 4} << QStringList {"25", "50", "100"};
    QTest::newRow("thirds, rounded down") << 3 << QList<int> {2, 3} << QStringList {"66", "100"};
    QTest::newRow("nothing ticked") << 5 << QList<int> {} << QStringList {};
    QTest::newRow("same position once") << 200 << QList<int> {4, 5} << QStringList {"2"};
    QTest::newRow("thousandth ticked")
        << 2000 << QList<int> {999, 1000, 2000}
        << QStringList {"50", "50|" + Writing + " (1000)", "100|" + Writing + " (2000)"};
    QTest::newRow("thousandth unticked") << 2000 << QList<int> {999, 1001} << QStringList {"50"};
    // A long table's rows count a twentieth of a percent ahead: 1.025, not 0.975.
    QTest::newRow("long table counts ahead") << 20000 << QList<int> {195} << QStringList {"1"};
}

void TestTextExport::progress()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, ticked);
    QFETCH(QStringList, rowEvents);

    ResultsList list;
    fillNumbered(list, rows, ticked);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QStringList expected = QStringList {"1|" + Writing, "10|" + Writing, "20|" + Writing}
        + rowEvents + QStringList {"100|Done.", "0|Progress Bar", "finished"};
    QCOMPARE(runSave(list, &buffer), expected);
}

void TestTextExport::windowTurnsDuringSave()
{
    ResultsList list;
    QList<int> ticked;
    for (int row = 1; row <= 2000; ++row)
        ticked << row;
    fillNumbered(list, 2000, ticked);
    // The window's own events: repaints and input wait for a turn of the event loop.
    int turns = 0;
    QTimer window;
    window.setInterval(0);
    QObject::connect(&window, &QTimer::timeout, [&] { ++turns; });
    window.start();

    // A slow machine: each move of the bar takes a millisecond, a hundred of them up to the
    // last row.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QStringList events = runSave(list, &buffer, [&](int position) {
        QThread::msleep(1);
        if (position == 100)
            window.stop();
    });
    QCOMPARE(events.last(), QStringLiteral("finished"));
    QVERIFY2(turns >= 5, qPrintable(QStringLiteral("%1 turns").arg(turns)));
}

void TestTextExport::failingDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("rows");

    // Over a mebibyte goes out in several writes; a small file stays in the file's own buffer
    // until the end.
    QTest::newRow("full disk") << "/dev/full" << 20000;
    QTest::newRow("full disk, small file") << "/dev/full" << 1;
    QTest::newRow("write refused") << "refused" << 20000;
    QTest::newRow("short write") << "short" << 20000;
}

void TestTextExport::failingDevice()
{
    QFETCH(QString, device);
    QFETCH(int, rows);

    ResultsList list;
    for (int row = 0; row < rows; ++row)
        appendTo(list,
                 {"+", "7/12/2026 10:15:02 AM", "Germany", "North Rhine-Westphalia", "Cologne",
                  "50667", "50.9375, 6.9603", "Europe/Berlin"});

    QFile full(device);
    RefusingDevice refusing(device == u"refused");
    const bool isFile = device.startsWith(u'/');
    if (isFile)
        QVERIFY(full.open(QIODevice::WriteOnly));
    const QStringList events = runSave(list, isFile ? static_cast<QIODevice *>(&full) : &refusing);

    QVERIFY2(events.last().startsWith(u"failed|"), qPrintable(events.last()));
    QVERIFY(events.last().size() > QStringLiteral("failed|").size());
    QCOMPARE(events.filter(QStringLiteral("failed|")).size(), 1);
    QVERIFY(!events.contains(QStringLiteral("100|Done.")));
    QVERIFY(!events.contains(QStringLiteral("0|Progress Bar")));
    if (!isFile)
        QCOMPARE(refusing.writes, 1);
}

void TestTextExport::widths_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("spaced");
    QTest::addColumn<QList<int>>("clipboard");

    QTest::newRow("first two rows")
        << 2 << QList<int> {4, 7, 6, 4, 11, 11, 8} << QList<int> {2, 5, 0, 3, 0, 0, 0};
    QTest::newRow("beyond the table")
        << 9 << QList<int> {4, 7, 6, 4, 11, 11, 13} << QList<int> {2, 5, 0, 3, 0, 0, 13};
}

void TestTextExport::widths()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, spaced);
    QFETCH(QList<int>, clipboard);

    ResultsList list;
    fill(list,
         {{"-", "t", "Spain", "", "", "", "", ""},
          {"+", "tt", "", "", "Ulm", "", "", ""},
          {"-", "", "", "", "", "", "", "Europe/Berlin"}});
    const TextExport::Widths spacedWidths = TextExport::SpacedWidths(list, rows);
    const TextExport::Widths clipboardWidths = TextExport::ClipboardWidths(list, rows);
    QCOMPARE(QList<int>(spacedWidths.begin(), spacedWidths.end()), spaced);
    QCOMPARE(QList<int>(clipboardWidths.begin(), clipboardWidths.end()), clipboard);
}

void TestTextExport::fileNameOnly_data()
{
    const DataTable<QString, QString> table({"path", "expected"});

    table.row("absolute", "/home/user/results.txt", "results.txt");
    table.row("relative", "out/results.txt", "results.txt");
    table.row("no folder", "results.txt", "results.txt");
    table.row("ends with a slash", "/home/user/", "");
    table.row("root", "/", "");
    table.row("empty", "", "");
}

void TestTextExport::fileNameOnly()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);

    QCOMPARE(TextExport::FileNameOnly(path), expected);
}

void TestTextExport::clipboardText_data()
{
    QTest::addColumn<Table>("table");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty table") << Table {} << "null";
    QTest::newRow("nothing ticked") << Table {{"-", "8:00", "DE", "Berlin", "Berlin", "10115",
                                               "52.52, 13.405", "Europe/Berlin"}}
                                    << "";

    // Widths 20, 7, 10, 12, 5, 17, 19; the captions do not count.
    QTest::newRow("unticked row widens")
        << Table {{"+", "7/12/2026 9:15:02 AM", "US", "California", "San Jose", "95113",
                   "37.3382, -121.886", "Europe/Paris"},
                  {"-", "2026-07-12 10:15:02", "Germany", "Bayern", "Braunschweig", "381",
                   "48.1351, 11.582", "America/Los_Angeles"}}
        << "7/12/2026 9:15:02 AM\tUS" + sp(5) + "\tCalifornia\tSan Jose" + sp(4)
            + "\t95113\t37.3382, -121.886\tEurope/Paris\r\n";

    QTest::newRow("empty last cell")
        << Table {{"+", "t1", "DE", "Berlin", "Berlin", "10115", "52.5200, 13.4050", ""},
                  {"-", "t2", "DE", "Hamburg", "Hamburg", "20095", "53.5511, 9.9937",
                   "Europe/Berlin"}}
        << "t1\tDE\tBerlin" + sp(1) + "\tBerlin" + sp(1) + "\t10115\t52.5200, 13.4050\t\r\n";

    QTest::newRow("all cells empty")
        << Table {{"+", "", "", "", "", "", "", ""}} << QStringLiteral("\t\t\t\t\t\t\r\n");

    QTest::newRow("only trailing spaces of the line go")
        << Table {{"+", " 9:00", "DE", "Land  Berlin ", "x", "1", "2", " Europe Berlin  "},
                  {"-", "", "", "", "", "", "", "America/Argentina/Buenos_Aires"}}
        << " 9:00\tDE\tLand  Berlin \tx\t1\t2\t Europe Berlin\r\n";
    QTest::newRow("a no-break space is not a space")
        << Table {{"+", "t", "", "", "", "", "", "UTC\u00a0 "}} << "t\t\t\t\t\t\tUTC\u00a0\r\n";

    QTest::newRow("two ticked rows")
        << Table {{"+", "a", "DE", "", "", "", "", "Europe/Berlin"},
                  {"-", "bbb", "", "", "", "", "", ""},
                  {"+", "cc", "FR", "", "", "", "", "  "}}
        << "a" + sp(2) + "\tDE\t\t\t\t\tEurope/Berlin\r\ncc" + sp(1) + "\tFR\t\t\t\t\t\r\n";
}

void TestTextExport::clipboardText()
{
    QFETCH(Table, table);
    QFETCH(QString, expected);

    ResultsList list;
    fill(list, table);
    const QString text = runCopy(list);
    QCOMPARE(text, expected);
}

void TestTextExport::clipboardAccess_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("one line") << "Berlin";
    QTest::newRow("lines and tabs") << "a\tb\r\nc\td\r\n";
    QTest::newRow("non-ASCII") << "Zürich\t東京";
}

void TestTextExport::clipboardAccess()
{
    QFETCH(QString, text);

    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("left over"), QClipboard::Clipboard);
    TextExport::ClipboardSetText(text);
    QCOMPARE(clipboard->text(QClipboard::Clipboard), text);
    TextExport::ClipboardClear();
    QCOMPARE(clipboard->text(QClipboard::Clipboard), QString());
}

QTEST_MAIN(TestTextExport)
#include "tst_textexport.moc"
