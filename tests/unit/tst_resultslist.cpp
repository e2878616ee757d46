#include "core/coordinates.h"
#include "results/resultslist.h"
#include "support/instrumentedheap.h"
#include "support/logrows.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <malloc.h>

Q_DECLARE_METATYPE(Asker)

namespace {

const QString Hint = QStringLiteral("Move | line to right and out of window to reveal full names.");
const QString Failure = QStringLiteral("The service answered HTTP 429: Rate limit exceeded");

// Cells of differing lengths, one of them empty, so that a wrong offset shows up as a wrong
// neighbour.
const QStringList Original = {
    QStringLiteral("12/7/2026 10:15:02 AM"),
    QStringLiteral("DE"),
    QString(),
    QStringLiteral("Berlin"),
    QStringLiteral("10115"),
    QStringLiteral("52.5200, 13.4050"),
    QStringLiteral("Europe/Berlin"),
};

int append(ResultsList &list, const QStringList &cells, const QString &failure = {})
{
    LogRecord record = RecordOfCells(cells);
    record.failure = failure;
    return list.appendRecord(record).row;
}

QStringList rowCells(const ResultsList &list, int row)
{
    QStringList cells;
    for (int column = 0; column < ResultsList::ColumnCount; ++column)
        cells.append(list.cell(row, column));
    return cells;
}

QStringList displayedCells(const ResultsList &list, int row)
{
    QStringList cells;
    for (int column = 0; column < ResultsList::ColumnCount; ++column)
        cells.append(list.data(list.index(row, column)).toString());
    return cells;
}

// Bytes handed out by malloc, whether from the arenas or mapped on their own.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

} // namespace

class TestResultsList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void captions();
    void appendRecord();
    void appendCells_data();
    void appendCells();
    void outOfRange_data();
    void outOfRange();
    void setCheckState_data();
    void setCheckState();
    void flagsAndHints_data();
    void flagsAndHints();
    void instantPerRow_data();
    void instantPerRow();
    void coordinates_data();
    void coordinates();
    void clear();
    void heldAnswers();
    void modelTester();
    void millionRows();
};

void TestResultsList::captions()
{
    ResultsList list;
    const QStringList expected = {
        QStringLiteral("Time"),     QStringLiteral("Country"),     QStringLiteral("Region"),
        QStringLiteral("City"),     QStringLiteral("Postal Code"), QStringLiteral("Coordinates"),
        QStringLiteral("Timezone"),
    };
    QCOMPARE(list.columnCount(), expected.size());

    QStringList headers;
    QStringList captions;
    for (int column = 0; column < list.columnCount(); ++column) {
        headers.append(list.headerData(column, Qt::Horizontal).toString());
        captions.append(ResultsList::caption(column));
    }
    QCOMPARE(headers, expected);
    QCOMPARE(captions, expected);
    QVERIFY(ResultsList::caption(ResultsList::ColumnCount).isEmpty());
    QCOMPARE(list.headerData(0, Qt::Vertical).toInt(), 1);
    QCOMPARE(list.headerData(41, Qt::Vertical).toInt(), 42);
}

void TestResultsList::appendRecord()
{
    ResultsList list;
    QSignalSpy aboutToInsert(&list, &QAbstractItemModel::rowsAboutToBeInserted);
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);

    QCOMPARE(append(list, Original), 0);
    list.setData(list.index(0, 0), Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(append(list, {QStringLiteral("12/7/2026 10:20:02 AM")}), 1);

    QCOMPARE(list.rows(), 2);
    QCOMPARE(list.rowCount(), 2);
    QCOMPARE(aboutToInsert.count(), 2);
    QCOMPARE(inserted.count(), 2);
    for (int i = 0; i < inserted.count(); ++i) {
        const QList<QVariant> arguments = inserted.at(i);
        QVERIFY(!arguments.at(0).value<QModelIndex>().isValid());
        QCOMPARE(arguments.at(1).toInt(), i);
        QCOMPARE(arguments.at(2).toInt(), i);
    }

    QVERIFY(!list.isChecked(1));
    QCOMPARE(list.data(list.index(1, 0), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    const QStringList expected = {QStringLiteral("12/7/2026 10:20:02 AM"), {}, {}, {}, {}, {}, {}};
    QCOMPARE(rowCells(list, 1), expected);
    QCOMPARE(displayedCells(list, 1), expected);
    // The earlier row is left as it was.
    QCOMPARE(rowCells(list, 0), Original);
    QVERIFY(list.isChecked(0));
}

void TestResultsList::appendCells_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");

    const QStringList texts = {
        QString(),
        QStringLiteral("x"),
        QStringLiteral("Königs Wusterhausen, Landkreis Dahme-Spreewald"),
        QStringLiteral("東京都"),
    };
    const char *textNames[] = {"empty", "one letter", "long", "non-ASCII"};
    for (int column = 0; column < ResultsList::ColumnCount; ++column) {
        for (int i = 0; i < texts.size(); ++i) {
            QTest::addRow("%s, %s", qPrintable(ResultsList::caption(column)), textNames[i])
                << column << texts[i];
        }
    }
}

// Each cell of a row ends where it should between neighbours of every length.
void TestResultsList::appendCells()
{
    QFETCH(int, column);
    QFETCH(QString, text);

    ResultsList list;
    QStringList expected = Original;
    expected[column] = text;
    for (const QStringList &cells : {Original, expected, Original})
        append(list, cells);

    QCOMPARE(rowCells(list, 1), expected);
    QCOMPARE(displayedCells(list, 1), expected);
    QCOMPARE(list.cellView(1, column), QStringView(text));
    QCOMPARE(rowCells(list, 0), Original);
    QCOMPARE(rowCells(list, 2), Original);
}

void TestResultsList::outOfRange_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    QTest::newRow("negative row") << -1 << 0;
    QTest::newRow("row past the end") << 1 << 0;
    QTest::newRow("far row") << 1'000'000 << 3;
    QTest::newRow("negative column") << 0 << -1;
    QTest::newRow("column past the end") << 0 << ResultsList::ColumnCount;
}

void TestResultsList::outOfRange()
{
    QFETCH(int, row);
    QFETCH(int, column);

    ResultsList list;
    append(list, Original);

    QVERIFY(list.cellView(row, column).isEmpty());
    QVERIFY(list.cell(row, column).isEmpty());
    QCOMPARE(rowCells(list, 0), Original);

    const QModelIndex outside = list.index(row, column);
    QVERIFY(!outside.isValid());
    QVERIFY(!list.data(outside).isValid());
    QCOMPARE(list.flags(outside), Qt::NoItemFlags);
    QVERIFY(!list.setData(outside, Qt::Checked, Qt::CheckStateRole));
}

void TestResultsList::setCheckState_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("after");

    const int checkRole = Qt::CheckStateRole;
    QTest::newRow("tick by state")
        << false << 0 << checkRole << QVariant(int(Qt::Checked)) << true << true;
    QTest::newRow("untick by state")
        << true << 0 << checkRole << QVariant(int(Qt::Unchecked)) << true << false;
    QTest::newRow("tick by enum") << false << 0 << checkRole << QVariant::fromValue(Qt::Checked)
                                  << true << true;
    QTest::newRow("tick by bool") << false << 0 << checkRole << QVariant(true) << true << true;
    QTest::newRow("untick by bool") << true << 0 << checkRole << QVariant(false) << true << false;
    QTest::newRow("tick again") << true << 0 << checkRole << QVariant(int(Qt::Checked)) << true
                                << true;
    QTest::newRow("text refused") << false << 0 << checkRole << QVariant(QStringLiteral("ticked"))
                                  << false << false;
    QTest::newRow("other column") << false << 1 << checkRole << QVariant(int(Qt::Checked)) << false
                                  << false;
    QTest::newRow("edit role") << false << 0 << int(Qt::EditRole) << QVariant(int(Qt::Checked))
                               << false << false;
    QTest::newRow("display role") << true << 0 << int(Qt::DisplayRole) << QVariant(false) << false
                                  << true;
}

void TestResultsList::setCheckState()
{
    QFETCH(bool, before);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(bool, after);

    ResultsList list;
    append(list, {Original[0]});
    append(list, Original);
    if (before)
        QVERIFY(list.setData(list.index(1, 0), int(Qt::Checked), Qt::CheckStateRole));
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);

    QCOMPARE(list.setData(list.index(1, column), value, role), accepted);
    QCOMPARE(list.isChecked(1), after);
    QCOMPARE(list.data(list.index(1, 0), Qt::CheckStateRole).toInt(),
             int(after ? Qt::Checked : Qt::Unchecked));
    QVERIFY(!list.isChecked(0));
    QCOMPARE(rowCells(list, 1), Original);

    QCOMPARE(changed.count(), before == after ? 0 : 1);
    if (!changed.isEmpty()) {
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), list.index(1, 0));
        QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), list.index(1, 0));
    }
}

void TestResultsList::flagsAndHints_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<Asker>("asker");

    QTest::newRow("good row") << QString() << Asker::User;
    // The Time cell tells why the log failed, to the pointer and to a screen reader.
    QTest::newRow("failed row") << Failure << Asker::Schedule;
    // ... and that the user's location server asked for it.
    QTest::newRow("asked by the server") << QString() << Asker::Server;
}

void TestResultsList::flagsAndHints()
{
    QFETCH(QString, failure);
    QFETCH(Asker, asker);

    ResultsList list;
    LogRecord record = RecordOfCells(Original);
    record.failure = failure;
    record.askedBy = asker;
    list.appendRecord(record);
    QCOMPARE(list.failure(0), failure);
    QCOMPARE(list.record(0).askedBy == Asker::Server, asker == Asker::Server);
    const QString told = asker == Asker::Server ? QStringLiteral("Asked by your server") : failure;

    for (int column = 0; column < ResultsList::ColumnCount; ++column) {
        const QModelIndex index = list.index(0, column);
        const Qt::ItemFlags flags = list.flags(index);
        QVERIFY(flags.testFlag(Qt::ItemIsEnabled));
        QVERIFY(flags.testFlag(Qt::ItemIsSelectable));
        QVERIFY(!flags.testFlag(Qt::ItemIsEditable));
        QCOMPARE(flags.testFlag(Qt::ItemIsUserCheckable), column == ResultsList::Time);
        QCOMPARE(list.data(index, Qt::CheckStateRole).isValid(), column == ResultsList::Time);
        const bool tells = column == ResultsList::Time && !told.isEmpty();
        QCOMPARE(list.data(index, Qt::ToolTipRole).toString(), tells ? told : Hint);
        QCOMPARE(list.data(index, Qt::AccessibleDescriptionRole).toString(),
                 tells ? told : QString());
        // Without a graphical application there is no icon to draw, and asking is harmless.
        QVERIFY(!list.data(index, Qt::DecorationRole).isValid());
    }
    QCOMPARE(rowCells(list, 0), Original);
}

void TestResultsList::instantPerRow_data()
{
    QTest::addColumn<QDateTime>("instant");
    const QDateTime utc(QDate(2026, 3, 29), QTime(0, 59, 59, 999), Qt::UTC);
    QTest::newRow("ahead of UTC") << utc.toOffsetFromUtc(3600);
    QTest::newRow("behind UTC") << utc.toOffsetFromUtc(-3 * 3600);
    QTest::newRow("half hour offset") << utc.toOffsetFromUtc(5 * 3600 + 1800);
    QTest::newRow("UTC") << utc;
    QTest::newRow("before the epoch")
        << QDateTime(QDate(1969, 12, 31), QTime(23, 0), Qt::OffsetFromUTC, -7200);
    QTest::newRow("unknown") << QDateTime();
}

// The map exports write the moment of each log from the row, so the row must give back the
// same instant and the same offset, whichever way it came in.
void TestResultsList::instantPerRow()
{
    QFETCH(QDateTime, instant);
    LogRecord record;
    record.timeText = QStringLiteral("3/29/2026 1:59:59 AM");
    record.instant = instant;
    ResultsList list;
    list.appendRecord(record);
    list.appendRecords({record, record}, {true});
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(list.instant(row).isValid(), instant.isValid());
        if (instant.isValid()) {
            QCOMPARE(list.instant(row), instant);
            QCOMPARE(list.instant(row).offsetFromUtc(), instant.offsetFromUtc());
        }
    }
    // Asking past the end is harmless.
    QVERIFY(!list.instant(3).isValid());
    QVERIFY(!list.instant(4).isValid());
    QVERIFY(!list.instant(-1).isValid());
}

void TestResultsList::coordinates_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    const auto usable = [](const char *name, const char *cell, double lat, double lon) {
        QTest::newRow(name) << QString::fromUtf8(cell) << true << lat << lon;
    };
    const auto unusable = [](const char *name, const char *cell) {
        QTest::newRow(name) << QString::fromUtf8(cell) << false << 0.0 << 0.0;
    };
    usable("as the table shows it", "-23.5475, -46.6361", -23.5475, -46.6361);
    usable("as the service sends it", "52.5200,13.4050", 52.52, 13.405);
    usable("tenths", "0.3, -0.7", 0.3, -0.7);
    usable("spaced out", "  0 ,  0  ", 0, 0);
    usable("north pole, antimeridian", "90, 180", 90, 180);
    usable("south pole, antimeridian west", "-90, -180", -90, -180);
    usable("plus signs and exponent", "+1e1, -1.5E2", 10, -150);
    unusable("failed log", "");
    unusable("one number", "52.52");
    unusable("three numbers", "1, 2, 3");
    unusable("empty half", "52.52, ");
    unusable("latitude out of range", "90.0001, 0");
    unusable("longitude out of range", "0, -180.5");
    unusable("masked", "xx.xxxx, yy.yyyy");
    unusable("not a number", "nan, 0");
    unusable("infinite", "inf, 1");
    unusable("decimal comma", "52,52, 13,40");
    unusable("group separator", "1,000.5, 2");
    unusable("Arabic digits", "٥٢, ١٣");
    unusable("words", "Berlin, Germany");
}

// A row whose place cannot be read is left off the map and out of the exports that carry a
// place, never drawn at a wrong place.
void TestResultsList::coordinates()
{
    QFETCH(QString, cell);
    QFETCH(bool, usable);
    const std::optional<GeoPoint> point = ParseCoordinates(cell);
    QCOMPARE(point.has_value(), usable);
    // The reading, and the place the row keeps, are the very numbers the text says.
    ResultsList list;
    append(list, {{}, {}, {}, {}, {}, cell});
    QCOMPARE(list.place(0).has_value(), usable);
    if (usable) {
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        QCOMPARE(point->latitude, latitude);
        QCOMPARE(point->longitude, longitude);
        for (const GeoPoint &read : {*point, *list.place(0)})
            QVERIFY(read.latitude == latitude && read.longitude == longitude);
    }
}

void TestResultsList::clear()
{
    ResultsList list;
    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);

    list.clear();
    QCOMPARE(reset.count(), 0);
    QCOMPARE(list.rowCount(), 0);

    append(list, Original, Failure);
    for (int row = 1; row < 5; ++row)
        append(list, Original);
    list.clear();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(list.rows(), 0);
    QCOMPARE(list.rowCount(), 0);

    list.clear();
    QCOMPARE(reset.count(), 1);

    // The table is usable again afterwards, numbering from the start.
    QCOMPARE(append(list, {QStringLiteral("later")}), 0);
    QCOMPARE(list.cell(0, 0), QStringLiteral("later"));
    QVERIFY(list.cell(0, ResultsList::Timezone).isEmpty());
    // A failure of a cleared row does not pass to the row that takes its number.
    QVERIFY(list.failure(0).isEmpty());
    QCOMPARE(list.data(list.index(0, 0), Qt::ToolTipRole).toString(), Hint);
}

// A row not kept holds the service's answer to be kept later, up to a bound for all rows; once
// kept, it lets the answer go and makes room.
void TestResultsList::heldAnswers()
{
    ResultsList list;
    LogRecord record;
    record.answer = QByteArray(ResultsList::HeldAnswerBytes / 2, 'a');
    for (int row = 0; row < 3; ++row)
        list.appendRecord(record);
    QCOMPARE(list.record(1).answer, record.answer);
    QVERIFY(list.record(2).answer.isEmpty());
    list.setKept(0);
    QVERIFY(list.record(0).answer.isEmpty());
    list.appendRecord(record);
    QCOMPARE(list.record(3).answer, record.answer);
}

void TestResultsList::modelTester()
{
    ResultsList list;
    for (int row = 0; row < 4; ++row)
        append(list, Original);
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);

    append(list, {QStringLiteral("12/7/2026 10:25:02 AM"), {}, {}, QStringLiteral("Zürich")},
           Failure);
    QVERIFY(list.setData(list.index(2, 0), true, Qt::CheckStateRole));
    list.clear();
    append(list, {QStringLiteral("12/7/2026 10:30:02 AM")});
    QCOMPARE(list.rowCount(), 1);
}

// A logging run that goes on for days may gather a million rows; each must cost little more than
// its text.
void TestResultsList::millionRows()
{
#ifdef TROVANEL_HEAP_IS_INSTRUMENTED
    QSKIP("The address sanitizer keeps its own heap, which mallinfo2() does not see.");
#endif
    const int rows = 1'000'000;
    qint64 textBytes = 0;
    for (const QString &cell : Original)
        textBytes += cell.size() * qint64(sizeof(char16_t));
    textBytes *= rows;

    QElapsedTimer timer;
    timer.start();
    ResultsList list;
    const qint64 before = heapInUse();
    const LogRecord record = RecordOfCells(Original);
    for (int row = 0; row < rows; ++row)
        list.appendRecord(record);
    const qint64 full = heapInUse();
    QCOMPARE(list.rows(), rows);
    QCOMPARE(rowCells(list, rows - 1), Original);

    const double perRow = double(full - before - textBytes) / rows;
    qInfo("%.1f bytes per row beyond the text, filled in %lld ms", perRow, qint64(timer.elapsed()));
    QVERIFY2(perRow < 200, qPrintable(QStringLiteral("%1 bytes per row").arg(perRow)));

    list.clear();
    const qint64 left = heapInUse() - before;
    QVERIFY2(left < qint64(rows) * 4,
             qPrintable(QStringLiteral("%1 bytes still in use after clearing").arg(left)));
}

QTEST_GUILESS_MAIN(TestResultsList)
#include "tst_resultslist.moc"
