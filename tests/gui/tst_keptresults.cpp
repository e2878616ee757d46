// Rows kept between runs: a real SQLite file in the test's own data folder, two windows one
// after the other, the questions of Clear Results and of the box, and a history that cannot
// be written.

#include "app/importdialog.h"
#include "app/sharing.h"
#include "core/failure.h"
#include "lookup/curlfunctions.h"
#include "results/historystore.h"
#include "results/keptresults.h"
#include "results/resultslist.h"
#include "settings/settingsstore.h"
#include "share/sharer.h"
#include "support/datatable.h"
#include "support/form1fixture.h"
#include "support/logrows.h"
#include "support/testenv.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <optional>
#include <unistd.h>

namespace {

constexpr int LookupWaitMs = 5000;
const QString Keep = QStringLiteral("Keep Results=On");
// Each good log is shared with a server that is not there: its message waits.
const QStringList Shared {"Share=HTTP", "Share URL=http://127.0.0.1:9/"};

// A window whose lookups the loopback server answers with a one-line answer.
struct Window : Form1Fixture
{
    explicit Window(const QStringList &presets = {}, bool open = true)
        : Form1Fixture({.presets = QStringList {"APIKey=key", "StartStopState=Off"} + presets,
                        .start = QDateTime(QDate(2026, 12, 11), QTime(9, 15, 30)),
                        .open = false})
    {
        server.setResponse({200, LoopbackServer::singleLineAnswer()});
        if (open)
            this->open();
    }

    // "Log Now (Test)", and the row it adds.
    void logNow()
    {
        const int before = rows();
        now = now.addSecs(61);
        click("PushButton9");
        QTRY_COMPARE_WITH_TIMEOUT(rows(), before + 1, LookupWaitMs);
        QTRY_VERIFY(!form->parts().lookup->isBusy());
    }
    void tick(int row, bool on)
    {
        form->parts().results->setData(form->parts().results->index(row, 0),
                                       on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
    QCheckBox *keepBox() { return widget<QCheckBox>(QStringLiteral("KeepResults")); }
    // Every row as "time|country|...|ticked".
    QStringList table() const
    {
        QStringList lines;
        const ResultsList *list = form->parts().results;
        for (int row = 0; row < list->rows(); ++row) {
            QStringList cells;
            for (int column = 0; column < ResultsList::ColumnCount; ++column)
                cells << list->cell(row, column);
            cells << (list->isChecked(row) ? QStringLiteral("ticked") : QString());
            lines << cells.join(u'|');
        }
        return lines;
    }
    // The rows the file holds now, read as the next run reads them.
    QList<HistoryStore::Stored> kept() const
    {
        HistoryStore store;
        try {
            store.open(historyFile());
            return store.readAll();
        } catch (const Failure &failure) {
            qWarning("%s", failure.what());
            return {};
        }
    }
    // The messages waiting in the file for the user's location server.
    qint64 waitingInFile() const
    {
        HistoryStore store;
        try {
            store.open(historyFile());
            return store.outboxCount();
        } catch (const Failure &failure) {
            qWarning("%s", failure.what());
            return -1;
        }
    }
    qint64 waitingToShare() const { return form->parts().sharing->sharer()->waiting(); }
    // Selects the rows, opens their menu by `key` and picks the item by its mnemonic; returns
    // the names of the items that were enabled.
    QStringList correct(const QList<int> &rows, QKeyCombination key, Qt::Key item)
    {
        auto *view = widget<QTableView>(QStringLiteral("ListView1"));
        view->setFocus();
        view->clearSelection();
        view->selectionModel()->setCurrentIndex(view->model()->index(rows.value(0), 0),
                                                QItemSelectionModel::NoUpdate);
        for (const int row : rows)
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (key.key() == Qt::Key_unknown) { // a right click
            QContextMenuEvent click(QContextMenuEvent::Mouse, {5, 5},
                                    view->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(view->viewport(), &click);
        } else {
            QTest::keyClick(view, key.key(), key.keyboardModifiers());
        }
        auto *menu = widget<QMenu>(QStringLiteral("MenuRows"));
        if (!QTest::qWaitFor([menu] { return menu->isVisible(); }))
            return {QStringLiteral("(no menu)")};
        QStringList enabled;
        QAccessibleInterface *items = QAccessible::queryAccessibleInterface(menu);
        for (int i = 0; i < items->childCount(); ++i) {
            if (!items->child(i)->state().disabled
                && items->child(i)->role() != QAccessible::Separator)
                enabled << items->child(i)->text(QAccessible::Name);
        }
        QTest::keyClick(menu, item);
        return enabled;
    }
};

// A small file system of its own at `folder`, unmounted when the guard goes; empty when this
// process may not mount (not root), else why mounting failed.
struct Mount
{
    QString folder;
    QString error;
    Mount(const QString &at, const QString &options) : folder(at)
    {
        QDir().mkpath(at);
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {"-t", "tmpfs", "-o", options, "trovanel-test", folder});
        mount.waitForFinished(10000);
        if (mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
            error = QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
    }
    bool remount(const QString &options) const
    {
        return QProcess::execute(QStringLiteral("mount"),
                                 {"-o", QStringLiteral("remount,") + options, folder})
            == 0;
    }
    ~Mount()
    {
        if (error.isEmpty())
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder});
    }
};

// A history of `count` rows kept in an earlier run, their Time cells 0, 1, ...; ticked as given.
// Open to others, with its folders, as earlier versions left it.
void keepEarlierRows(const QString &path, int count, const QList<bool> &ticked)
{
    HistoryStore store;
    QList<LogRecord> records(count);
    for (int n = 0; n < count; ++n)
        records[n].timeText = QString::number(n);
    try {
        store.open(path);
        store.addAll(records, ticked);
    } catch (const Failure &failure) {
        QFAIL(failure.what());
    }
    QCOMPARE(QProcess::execute("chmod", {"-R", "go+rX", QFileInfo(path).path() + "/.."}), 0);
}

// The history's files (with its journal's while open) and its folders are the user's alone.
void expectPrivate(const QString &path)
{
    const QDir folder = QFileInfo(path).absoluteDir();
    for (const QString &name : QStringList {".", ".."} + folder.entryList(QDir::Files))
        QCOMPARE(FileMode(folder.filePath(name)) & 0077, 0);
}

// An answer the service could give, padded to `bytes`.
QByteArray paddedAnswer(int bytes)
{
    QByteArray answer = LoopbackServer::singleLineAnswer();
    answer.chop(1); // the closing brace
    answer += ",\"padding\":\"";
    answer += QByteArray(bytes, 'x');
    answer += "\"}";
    return answer;
}

} // namespace

class tst_KeptResults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    void rowsAndTicksSurviveARestart()
    {
        Window w({Keep});
        QVERIFY(w.keepBox()->isChecked());
        w.logNow();
        w.server.setResponse({429, LoopbackServer::rateLimitAnswer()});
        w.logNow();
        w.server.setResponse({200, LoopbackServer::singleLineAnswer()});
        w.logNow();
        w.tick(0, true);
        w.tick(2, true);
        w.tick(2, false);
        w.tick(1, true);
        const QStringList before = w.table();
        const QString failure = w.form->parts().results->failure(1);
        QVERIFY(!failure.isEmpty());

        const QList<HistoryStore::Stored> kept = w.kept();
        QCOMPARE(kept.size(), 3);
        QCOMPARE(kept[0].record.httpStatus, 200);
        QCOMPARE(kept[0].record.answer, LoopbackServer::singleLineAnswer());
        QCOMPARE(kept[1].record.httpStatus, 429);
        QCOMPARE(kept[1].record.answer, LoopbackServer::rateLimitAnswer());
        // The instant in UTC and the offset of the moment: Berlin is an hour ahead in December.
        QCOMPARE(kept[0].record.instant.toUTC(),
                 QDateTime(QDate(2026, 12, 11), QTime(8, 16, 31), Qt::UTC));
        QCOMPARE(kept[0].record.instant.offsetFromUtc(), 3600);
        QVERIFY(QFileInfo::exists(w.historyFile() + "-wal")); // kept through its journal
        expectPrivate(w.historyFile());

        w.open();
        QTRY_COMPARE(w.table(), before);
        QCOMPARE(w.form->parts().results->failure(1), failure);
        // The instant comes back with the row, offset and all: the map exports write it.
        QCOMPARE(w.form->parts().results->instant(0), kept[0].record.instant);
        QCOMPARE(w.form->parts().results->instant(0).offsetFromUtc(), 3600);
        // Ticks made after the restart are kept too.
        w.tick(1, false);
        w.open();
        QTRY_COMPARE(w.rows(), 3);
        QVERIFY(!w.form->parts().results->isChecked(1));
        QCOMPARE(w.reports(), QStringList());
    }

    // Corrections made through the rows' menu are kept, each as it is made, and a removal is
    // put back with its waiting message; the cells stay as they were logged.
    void correctionsSurviveARestart()
    {
        Window w(QStringList {Keep} + Shared);
        for (int log = 0; log < 3; ++log)
            w.logNow();
        ResultsList *list = w.form->parts().results;
        const Fix paris {48.8566, 2.3522, 30, Fix::Source::WiFi};
        QVERIFY(w.form->parts().kept->joinWiFiFix(list->id(0), paris));
        const QStringList before = w.table();
        QCOMPARE(w.correct({1}, Qt::Key_unknown, Qt::Key_Escape),
                 QStringList({"Remove From Results", "Leave Out Of Days Per Country"}));
        QCOMPARE(w.correct({0}, Qt::SHIFT | Qt::Key_F10, Qt::Key_W),
                 QStringList({"Remove From Results", "Use Wi-Fi Position", "Use Address Position",
                              "Leave Out Of Days Per Country"}));
        QCOMPARE(list->mark(0), QStringLiteral("You chose the Wi-Fi position."));
        QCOMPARE(w.correct({1, 0}, Qt::Key_Menu, Qt::Key_L).size(), 3);
        QCOMPARE(w.correct({0}, Qt::Key_Menu, Qt::Key_C).last(), "Count In Days Per Country");
        QTRY_COMPARE(w.waitingInFile(), 3);
        HistoryStore store;
        store.open(w.historyFile());
        QVERIFY(store.outbox(1).value(0).body.contains("\"lat\":48.8566"));
        store.close();

        w.dialogs.yesNoAnswers = {true, true};
        w.correct({2, 0}, Qt::Key_Menu, Qt::Key_R);
        QCOMPARE(w.dialogs.questions, QStringList {"Remove 2 rows from the results?"});
        QCOMPARE(w.table(), QStringList {before[1]});
        QCOMPARE(w.kept().size(), 1);
        QCOMPARE(w.waitingInFile(), 1);
        w.form->show();
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        QTest::keyClick(w.form->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.table(), before);
        QCOMPARE(w.waitingInFile(), 3);
        w.correct({2}, Qt::Key_Menu, Qt::Key_R);

        w.open();
        QTRY_COMPARE(w.table(), before.mid(0, 2));
        list = w.form->parts().results;
        QCOMPARE(list->mark(0), QStringLiteral("You chose the Wi-Fi position."));
        QVERIFY(!list->isLeftOut(0) && list->isLeftOut(1));
        QCOMPARE(w.kept().value(0).record.answer, LoopbackServer::singleLineAnswer());
        QCOMPARE(w.waitingInFile(), 2);
        QCOMPARE(w.reports(), QStringList());
    }

    // Many kept rows come back over several turns; a row logged meanwhile is kept at once and
    // shows after them.
    void rowLoggedWhileRowsComeBack()
    {
        Window w({Keep}, false);
        constexpr int Earlier = 50000;
        keepEarlierRows(w.historyFile(), Earlier, {true, false, true});
        w.open();
        // Nothing comes back during start-up itself, only once the window is up.
        QCOMPARE(w.rows(), 0);
        QCoreApplication::processEvents();
        QVERIFY(w.form->parts().kept->isLoading());
        QVERIFY(w.rows() < Earlier);
        LogRecord late;
        late.timeText = QStringLiteral("late");
        late.cells[0] = QStringLiteral("NO");
        QCOMPARE(w.form->parts().kept->appendRecord(late).row, -1);
        // Clear counts the rows still to come back too.
        w.dialogs.yesNoAnswers = {false};
        w.click("PushButton1");
        QCOMPARE(w.dialogs.questions,
                 QStringList {"Clear 50001 rows from the table and from the kept history?"});
        QTRY_VERIFY(!w.form->parts().kept->isLoading());
        QCOMPARE(w.rows(), Earlier + 1);
        const ResultsList *list = w.form->parts().results;
        for (int row = 0; row < Earlier; ++row)
            QCOMPARE(list->cell(row, 0), QString::number(row));
        QCOMPARE(list->cell(Earlier, ResultsList::Country), QStringLiteral("NO"));
        QVERIFY(list->isChecked(0) && !list->isChecked(1) && list->isChecked(2));
        QVERIFY(!list->isChecked(3));
        QCOMPARE(w.kept().size(), Earlier + 1);
        QCOMPARE(w.reports(), QStringList());
        expectPrivate(w.historyFile());
    }

    void rowsComeBack_data()
    {
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<double>("radius"); // the answer's, in metres
        QTest::addColumn<double>("wifiAccuracy"); // 0: no Wi-Fi fix
        QTest::addColumn<QString>("mark");
        const QStringList plain {"DE",    "Berlin",           "Berlin",
                                 "10117", "52.5200, 13.4050", "Europe/Berlin"};
        QTest::newRow("leap day, last millisecond")
            << QDateTime(QDate(2028, 2, 29), QTime(23, 59, 59, 999), Qt::OffsetFromUTC, 3600)
            << plain << QString() << 0.0 << 0.0 << QString();
        QTest::newRow("before the epoch")
            << QDateTime(QDate(1969, 12, 31), QTime(20, 30), Qt::OffsetFromUTC, -5 * 3600) << plain
            << QString() << 0.0 << 0.0 << QString();
        QTest::newRow("quarter-hour offset, letters beyond ASCII")
            << QDateTime(QDate(2026, 12, 7), QTime(0, 0), Qt::OffsetFromUTC, 5 * 3600 + 2700)
            << QStringList {"NP", "Bāgmatī", "काठमाडौं", "", "27.7, 85.3", "Asia/Kathmandu"}
            << QString() << 0.0 << 0.0 << QString();
        QTest::newRow("UTC, a letter beyond the first plane")
            << QDateTime(QDate(2100, 1, 1), QTime(0, 0), Qt::UTC)
            << QStringList {"JP", "Tōkyō 𠮷", "東京", "100-0001", "35.6, 139.7", "Asia/Tokyo"}
            << QString() << 0.0 << 0.0 << QString();
        QTest::newRow("unknown, failed")
            << QDateTime() << QStringList {"", "", "", "", "", ""}
            << QStringLiteral("The service said: “rate limit”.") << 0.0 << 0.0 << QString();
        QTest::newRow("both fixes, a radius") << QDateTime(QDate(2026, 12, 8), QTime(9, 0)) << plain
                                              << QString() << 20000.0 << 35.5 << QString();
        QTest::newRow("the answer's mark") << QDateTime(QDate(2026, 12, 8), QTime(9, 0))
                                           << QStringList {"United States", "", "", "", "", ""}
                                           << QString() << 0.0 << 0.0 << Fixes::countryOnlyMark();
    }

    // Rows come back as they were kept, by both ways of reading the file.
    void rowsComeBack()
    {
        QFETCH(QDateTime, instant);
        QFETCH(QStringList, cells);
        QFETCH(QString, failure);
        QTemporaryDir dir;
        HistoryStore store;
        LogRecord record;
        record.timeText = QStringLiteral("12/7/2026 12:00:00 AM");
        record.instant = instant;
        std::copy(cells.cbegin(), cells.cend(), record.cells.begin());
        record.failure = failure;
        QFETCH(double, radius);
        QFETCH(double, wifiAccuracy);
        QFETCH(QString, mark);
        record.addressAccuracyMetres = radius;
        record.mark = mark;
        const Fix wifi {52.5164, 13.3777, wifiAccuracy, Fix::Source::WiFi};
        HistoryStore::Batch read;
        QList<HistoryStore::Stored> all;
        try {
            store.open(dir.filePath(QStringLiteral("history.sqlite")));
            store.add(record, true);
            const LogId second = store.add(record);
            if (wifiAccuracy > 0)
                store.setWiFiFix(second, wifi); // joined after the row was kept
            read = store.readAfter(0, 10);
            all = store.readAll();
        } catch (const Failure &failure) {
            QFAIL(failure.what());
        }
        QCOMPARE(read.rows.size(), 2);
        QCOMPARE(all.size(), 2);
        ResultsList table;
        table.appendRecord(RecordOfCells({"already there"}));
        table.appendRows(std::move(read.rows));
        QCOMPARE(table.rows(), 3);
        for (int row = 1; row <= 2; ++row) {
            QCOMPARE(table.cell(row, 0), record.timeText);
            for (int column = 1; column < ResultsList::ColumnCount; ++column)
                QCOMPARE(table.cell(row, column), cells[column - 1]);
            QCOMPARE(table.failure(row), failure);
            QCOMPARE(table.place(row).has_value(), ParseCoordinates(cells[4]).has_value());
            QCOMPARE(table.isChecked(row), row == 1);
            QCOMPARE(table.mark(row), mark);
            if (const std::optional<Fix> address = table.addressFix(row))
                QCOMPARE(address->accuracyMetres,
                         radius > 0 ? radius : Fixes::AddressEstimateMetres);
        }
        const std::optional<Fix> joined = table.wiFiFix(2);
        QCOMPARE(joined.has_value(), wifiAccuracy > 0);
        QCOMPARE(all[1].record.wifi.has_value(), wifiAccuracy > 0);
        if (joined) {
            QCOMPARE(joined->latitude, wifi.latitude);
            QCOMPARE(joined->accuracyMetres, all[1].record.wifi->accuracyMetres);
            QVERIFY(!table.wiFiFix(1));
        }
        QVERIFY(table.failure(0).isEmpty());
        for (const QDateTime &back : {table.instant(1), all[0].record.instant}) {
            QCOMPARE(back.isValid(), instant.isValid());
            QCOMPARE(back, instant);
            QCOMPARE(back.offsetFromUtc(), instant.offsetFromUtc());
        }
    }

    void offByDefault()
    {
        Window w;
        QVERIFY(!w.keepBox()->isChecked());
        w.logNow();
        QVERIFY(!QFile::exists(w.historyFile()));
        keepEarlierRows(w.historyFile(), 1, {}); // kept for later, and closed at start
        w.open();
        QTest::qWait(50);
        QCOMPARE(w.rows(), 0);
        expectPrivate(w.historyFile());
    }

    void tickingTheBoxKeepsTheTable()
    {
        Window w;
        w.logNow();
        w.logNow();
        w.tick(1, true);
        w.keepBox()->click();
        QCOMPARE(Settings::Store().get(SettingKeys::KeepResults), QStringLiteral("On"));
        const QList<HistoryStore::Stored> kept = w.kept();
        QCOMPARE(kept.size(), 2);
        QVERIFY(!kept[0].ticked);
        QVERIFY(kept[1].ticked);
        QCOMPARE(kept[1].record.timeText, w.form->parts().results->cell(1, 0));
        // Rows kept later keep all a row kept at once does: the moment, the status, the answer.
        for (const HistoryStore::Stored &row : kept) {
            QCOMPARE(row.record.httpStatus, 200);
            QCOMPARE(row.record.answer, LoopbackServer::singleLineAnswer());
            QVERIFY(row.record.instant.isValid());
        }
        const QStringList before = w.table();
        w.open();
        QTRY_COMPARE(w.table(), before);
    }

    // Import… from the keyboard: the file chosen, keeping offered and taken, the track's points
    // in the table before the logged row and in the history, the summary in the dialog.
    void importThroughTheWindow()
    {
        Window w;
        w.logNow();
        QTemporaryDir folder;
        QFile track(folder.filePath(QStringLiteral("trip.gpx")));
        QVERIFY(track.open(QIODevice::WriteOnly));
        track.write("<gpx version='1.1' xmlns='http://www.topografix.com/GPX/1/1'>"
                    "<wpt lat='46.2' lon='6.1'><time>2026-12-10T08:00:00Z</time></wpt>"
                    "<wpt lat='46.3' lon='6.2'><time>2026-12-10T09:00:00Z</time></wpt></gpx>");
        track.close();
        w.dialogs.openAnswers = {{track.fileName()}};
        w.dialogs.yesNoAnswers = {true};
        QTest::keyClick(w.widget<QPushButton>(QStringLiteral("PushButtonImport")), Qt::Key_Space);
        auto *dialog = w.form->findChild<ImportDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QTest::keyClick(dialog->findChild<QPushButton *>(QStringLiteral("ImportFromFiles")),
                        Qt::Key_Space);
        QTRY_COMPARE(dialog->findChild<QLabel *>(QStringLiteral("ImportOutcome"))->text(),
                     QStringLiteral("2 new, 0 already in the record"));
        QVERIFY(w.keepBox()->isChecked());
        QCOMPARE(w.kept().size(), 3);
        QCOMPARE(w.table().size(), 3);
        QVERIFY(w.table()[2].startsWith(w.kept()[0].record.timeText));
    }

    void clearResults_data()
    {
        const DataTable<int, bool, bool, QStringList, int, int> table(
            {"logs", "keep", "answer", "questions", "rowsLeft", "keptLeft"});
        const QStringList asked {"Clear 2 rows from the table and from the kept history?"};
        table.row("kept, yes", 2, true, true, asked, 0, 0);
        table.row("kept, no", 2, true, false, asked, 2, 2);
        table.row("not kept", 2, false, true, {}, 0, 0);
        table.row("kept, one row", 1, true, true,
                  {"Clear 1 row from the table and from the kept history?"}, 0, 0);
        table.row("kept, nothing to clear", 0, true, true, {}, 0, 0);
    }
    void clearResults()
    {
        QFETCH(int, logs);
        QFETCH(bool, keep);
        QFETCH(bool, answer);
        Window w(keep ? QStringList {Keep} : QStringList {});
        for (int log = 0; log < logs; ++log)
            w.logNow();
        QTRY_COMPARE(w.form->parts().kept->store().isOpen(), keep);
        w.dialogs.yesNoAnswers = {answer};
        w.click("PushButton1");
        QTEST(w.dialogs.questions, "questions");
        QTEST(w.rows(), "rowsLeft");
        QTEST(int(w.kept().size()), "keptLeft");
    }

    void untickingTheBoxAsks_data()
    {
        const DataTable<bool, bool, int> table({"answer", "fileLeft", "keptLeft"});
        table.row("delete", true, false, 0);
        table.row("keep for later", false, true, 2);
    }
    void untickingTheBoxAsks()
    {
        QFETCH(bool, answer);
        Window w(QStringList {Keep} + Shared);
        w.logNow();
        w.logNow();
        // One the server would not take: the user alone may let it go.
        w.form->parts().kept->store().addAllToOutbox({}, {{0, {}, 1, "{}", "too large"}});
        w.dialogs.yesNoAnswers = {answer};
        w.keepBox()->click();
        QTRY_COMPARE(w.form->parts().sharing->sharer()->setAside().size(), 1);
        QCOMPARE(w.dialogs.questions.size(), 1);
        QVERIFY(w.dialogs.questions[0].startsWith("Delete the kept history?"));
        QCOMPARE(Settings::Store().get(SettingKeys::KeepResults), QStringLiteral("Off"));
        QCOMPARE(w.rows(), 2);
        QTEST(QFile::exists(w.historyFile()), "fileLeft");
        // No message waiting to be shared is lost: kept for later, the file still holds them.
        QTRY_COMPARE(w.waitingToShare(), 2);
        if (!answer)
            QCOMPARE(w.waitingInFile(), 2);
        // Rows logged and ticked while the box is clear are not kept.
        w.logNow();
        w.tick(0, true);
        QTEST(int(w.kept().size()), "keptLeft");
        // Ticked again, the box keeps the table as it is, rows kept for later only once.
        const QStringList before = w.table();
        w.keepBox()->click();
        QTRY_COMPARE(w.table(), before);
        QCOMPARE(w.kept().size(), 3);
        QCOMPARE(w.waitingInFile(), 3);
        w.open();
        QTRY_COMPARE(w.table(), before);
    }

    // A history that cannot be written is told once; every log still shows its row.
    void historyCannotBeWritten_data()
    {
        const DataTable<QString, QString, QString, QString> table(
            {"folder", "report", "says", "remedy"});
        table.row("read-only folder", "read-only", "KeptResults/KeepRow:100", "unable to open",
                  "rw,size=4m");
        table.row("disk full", "full", "KeptResults/KeepRow:104", "disk is full", "size=4m");
    }
    void historyCannotBeWritten()
    {
        QFETCH(QString, folder);
        Window w(QStringList {Keep} + Shared, false);
        const QString at = QFileInfo(w.historyFile()).absolutePath();
        std::optional<Mount> mount;
        if (geteuid() == 0) {
            // Root writes into any folder whatever its mode: a file system of its own it cannot.
            mount.emplace(at,
                          folder == u"full" ? QStringLiteral("size=96k,mode=0700")
                                            : QStringLiteral("ro,size=64k,mode=0700"));
            if (!mount->error.isEmpty())
                QSKIP(qPrintable(QStringLiteral("cannot mount: ") + mount->error));
        } else if (folder == u"read-only") {
            QVERIFY(QDir().mkpath(at));
            QVERIFY(QFile::setPermissions(at, QFile::ReadOwner | QFile::ExeOwner));
        } else {
            QSKIP("a full disk needs a file system of its own, and mounting one needs root");
        }
        w.server.setResponse({200, paddedAnswer(200 * 1024)});
        w.open();
        for (int log = 0; log < 3; ++log)
            w.logNow();
        QFETCH(QString, report);
        QFETCH(QString, says);
        QCOMPARE(w.env.reports().size(), 1);
        QVERIFY2(w.env.reports()[0].description.contains(says),
                 qPrintable(w.env.reports()[0].description));
        QCOMPARE(w.reports(), QStringList {report});
        QCOMPARE(w.rows(), 3);
        QCOMPARE(w.form->parts().results->cell(2, ResultsList::Country), QStringLiteral("DE"));
        // Ticks go on in memory, without a report.
        w.tick(0, true);
        QVERIFY(w.form->parts().results->isChecked(0));
        QCOMPARE(w.reports(), QStringList());

        // Once the user has made room (or the folder writable), the next log keeps itself and
        // every row logged meanwhile, with its tick and its answer.
        QFETCH(QString, remedy);
        if (mount)
            QVERIFY(mount->remount(remedy));
        else
            QVERIFY(
                QFile::setPermissions(at, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        w.logNow();
        QCOMPARE(w.reports(), QStringList());
        const QList<HistoryStore::Stored> kept = w.kept();
        QCOMPARE(kept.size(), 4);
        QCOMPARE(w.waitingInFile(), 4); // the messages of the rows logged meanwhile too
        QVERIFY(kept[0].ticked && !kept[1].ticked);
        for (const HistoryStore::Stored &row : kept) {
            QCOMPARE(row.record.answer, paddedAnswer(200 * 1024));
            QCOMPARE(row.record.cells[0], QStringLiteral("DE"));
            QVERIFY(row.record.instant.isValid());
        }
        // And ticks are saved again as they are made.
        w.tick(1, true);
        QVERIFY(w.kept()[1].ticked);
        w.form.reset(); // lets go of the file before its file system goes
    }

    // Damage met long after opening, by a write or by the sharing reading its messages: the
    // file goes aside, a fresh one keeps the rows and the messages that can still be read.
    void damageMetWhileWriting_data()
    {
        QTest::addColumn<QString>("by");
        QTest::addColumn<int>("page"); // the page that goes bad: the rows', the outbox's order
        QTest::addColumn<int>("keptLeft");
        QTest::newRow("a log") << "log" << 2 << 2;
        QTest::newRow("Clear Results") << "clear" << 2 << 0;
        QTest::newRow("the next message to share") << "share" << 4 << 1;
    }
    void damageMetWhileWriting()
    {
        QFETCH(QString, by);
        QFETCH(int, page);
        Window w({Keep});
        w.logNow();
        const QString path = w.historyFile();
        // A message waits for the user's location server, another the server would not take
        // is set aside; another program moves the row into the file from its journal; then a
        // page goes bad.
        QCOMPARE(QProcess::execute("sqlite3",
                                   {path, "INSERT INTO outbox (id, tst, body) VALUES (9, 7, 'w')",
                                    "INSERT INTO outbox_aside (id, tst, body, words) "
                                    "VALUES (4, 6, 'q', 'too large')",
                                    "PRAGMA wal_checkpoint(TRUNCATE)"}),
                 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek((page - 1) * 4096)
                && file.write(QByteArray(4096, 'x')) == 4096 && file.flush());
        const QByteArray damaged = FileBytes(path);
        w.dialogs.yesNoAnswers = {true};
        if (by == u"share") {
            ShareSettings stopped; // the message stays: nothing answers there
            stopped.mode = ShareSettings::Mode::Http;
            stopped.url = QStringLiteral("http://127.0.0.1:1/pub");
            w.form->parts().sharing->sharer()->setSettings(stopped);
        } else {
            by == u"clear" ? w.click("PushButton1") : w.logNow();
        }
        QTRY_COMPARE(w.dialogs.notices.size(), 1);
        const qsizetype at = w.dialogs.notices[0].indexOf(path + ".damaged-");
        QCOMPARE(FileBytes(w.dialogs.notices[0].mid(at).section(u' ', 0, 0)), damaged);
        QTEST(int(w.kept().size()), "keptLeft");
        HistoryStore fresh;
        fresh.open(path);
        QCOMPARE(fresh.outbox(2).value(0).body, QByteArray("w"));
        QCOMPARE(fresh.setAsideMessages().value(0).words, QStringLiteral("too large"));
    }

    void damagedFileIsMovedAside()
    {
        Window w({Keep}, false);
        QVERIFY(QDir().mkpath(QFileInfo(w.historyFile()).absolutePath()));
        QByteArray damage(8192, '\0');
        for (int i = 0; i < damage.size(); ++i)
            damage[i] = char(i * 37 % 251);
        {
            QFile file(w.historyFile());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(damage);
        }
        w.open();
        QTRY_COMPARE(w.dialogs.notices.size(), 1);
        const QString notice = w.dialogs.notices[0];
        const qsizetype at = notice.indexOf(w.historyFile() + QStringLiteral(".damaged-"));
        QVERIFY2(at > 0, qPrintable(notice));
        const QString aside = notice.mid(at).section(u' ', 0, 0);
        QCOMPARE(FileBytes(aside), damage);
        // A fresh history in its place keeps what comes next.
        w.logNow();
        QCOMPARE(w.kept().size(), 1);
        QCOMPARE(w.reports(), QStringList());
    }

    // Damage deep in a big file shows only when the rows there come back: the file goes aside
    // as it was, and a fresh one keeps the rows that did come back.
    void damageFoundWhileRowsComeBack()
    {
        Window w({Keep}, false);
        constexpr int Earlier = 50000;
        keepEarlierRows(w.historyFile(), Earlier, {true});
        QByteArray damaged = FileBytes(w.historyFile());
        // The rows' last pages, short of the end: the table's inner pages, made last, lie there,
        // and without them no row could be read at all.
        for (qsizetype at = damaged.size() * 2 / 3; at < damaged.size() * 9 / 10; ++at)
            damaged[at] = char(at * 37 % 251);
        {
            QFile file(w.historyFile());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(damaged);
        }
        w.open();
        QTRY_COMPARE(w.dialogs.notices.size(), 1);
        QVERIFY(!w.form->parts().kept->isLoading());
        const QString notice = w.dialogs.notices[0];
        const qsizetype at = notice.indexOf(w.historyFile() + QStringLiteral(".damaged-"));
        QVERIFY2(at > 0, qPrintable(notice));
        QCOMPARE(FileBytes(notice.mid(at).section(u' ', 0, 0)), damaged);
        const int cameBack = w.rows();
        QVERIFY2(cameBack > 0 && cameBack < Earlier, qPrintable(QString::number(cameBack)));
        QVERIFY(w.form->parts().results->isChecked(0));
        w.logNow();
        const QList<HistoryStore::Stored> kept = w.kept();
        QCOMPARE(kept.size(), cameBack + 1);
        QVERIFY(kept[0].ticked);
        QCOMPARE(kept[cameBack - 1].record.timeText, QString::number(cameBack - 1));
        QCOMPARE(kept[cameBack].record.cells[0], QStringLiteral("DE"));
        QCOMPARE(w.reports(), QStringList());
    }

    // A history kept before rows had fixes: its rows read with the estimate, and it takes new rows
    // with theirs.
    void olderFileReads()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        QCOMPARE(QProcess::execute(
                     QStringLiteral("sqlite3"),
                     {path,
                      "CREATE TABLE rows (id INTEGER PRIMARY KEY, instant_utc TEXT NOT NULL,"
                      "utc_offset INTEGER NOT NULL, time_text TEXT NOT NULL, country TEXT NOT "
                      "NULL, region TEXT NOT NULL, city TEXT NOT NULL, postal_code TEXT NOT "
                      "NULL, coordinates TEXT NOT NULL, timezone TEXT NOT NULL, failure TEXT "
                      "NOT NULL, http_status INTEGER NOT NULL, answer BLOB NOT NULL, ticked "
                      "INTEGER NOT NULL);"
                      "INSERT INTO rows VALUES (1, '2025-03-01T10:00:00.000Z', 3600, 'then',"
                      "'FR', 'IDF', 'Paris', '75001', '48.8566, 2.3522', 'Europe/Paris', '',"
                      "200, '{}', 1); PRAGMA user_version = 1;"}),
                 0);
        LogRecord added = RecordOfCells({"now", "DE", "", "", "", "52.52, 13.40", ""});
        added.wifi = Fix {52.5, 13.4, 25, Fix::Source::WiFi};
        HistoryStore store;
        ResultsList table;
        try {
            store.open(path);
            store.add(added);
            table.appendRows(std::move(store.readAfter(0, 10).rows));
        } catch (const Failure &failure) {
            QFAIL(failure.what());
        }
        QCOMPARE(table.rows(), 2);
        QCOMPARE(table.cell(0, ResultsList::City), QStringLiteral("Paris"));
        QVERIFY(table.isChecked(0));
        QCOMPARE(table.addressFix(0)->accuracyMetres, Fixes::AddressEstimateMetres);
        QVERIFY(!table.wiFiFix(0));
        QCOMPARE(table.wiFiFix(1)->accuracyMetres, 25.0);
        // The older row is named by its key, below any name a new log takes, and found by it.
        QCOMPARE(table.id(0).value, 1u);
        QVERIFY(table.id(1) > LogId {LogId::FirstNew});
        store.setWiFiFix(table.id(0), *added.wifi);
        QVERIFY(store.readAll().value(0).record.wifi);
        // It takes the user's corrections too.
        store.setChosen({table.id(0)}, FixChoice::WiFi);
        store.setLeftOut({table.id(0)}, true);
        QCOMPARE(store.readAll().value(0).record.chosen, FixChoice::WiFi);
        QVERIFY(store.readAll().value(0).record.leftOut);
    }

    void newerFileIsRefused()
    {
        Window w({Keep}, false);
        QVERIFY(QDir().mkpath(QFileInfo(w.historyFile()).absolutePath()));
        QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"),
                                   {w.historyFile(),
                                    "CREATE TABLE rows (later TEXT);"
                                    "INSERT INTO rows VALUES ('kept by a later "
                                    "version'); PRAGMA user_version = 7;"}),
                 0);
        const QByteArray before = FileBytes(w.historyFile());
        w.open();
        QTRY_COMPARE(w.env.reports().size(), 1);
        QVERIFY(w.env.reports()[0].description.contains("newer version"));
        QCOMPARE(w.reports(), QStringList {"KeptResults/KeepRow:100"});
        w.logNow();
        w.tick(0, true);
        QCOMPARE(w.rows(), 1);
        QCOMPARE(w.reports(), QStringList());
        w.form.reset();
        QCOMPARE(FileBytes(w.historyFile()), before);
    }
};

QTEST_MAIN(tst_KeptResults)
#include "tst_keptresults.moc"
