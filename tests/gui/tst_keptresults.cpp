// Rows kept between runs: a real SQLite file in the test's own data folder, two windows one
// after the other, the questions of Clear Results and of the box, and a history that cannot
// be written.

#include "core/failure.h"
#include "lookup/curlfunctions.h"
#include "results/historystore.h"
#include "results/keptresults.h"
#include "results/resultslist.h"
#include "settings/settingsstore.h"
#include "support/datatable.h"
#include "support/form1fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <ctime>

namespace {

constexpr int LookupWaitMs = 5000;
const QString Keep = QStringLiteral("Keep Results=On");

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
        QTRY_VERIFY(!form->lookup()->isBusy());
    }
    void tick(int row, bool on)
    {
        form->results()->setData(form->results()->index(row, 0), on ? Qt::Checked : Qt::Unchecked,
                                 Qt::CheckStateRole);
    }
    QCheckBox *keepBox() { return widget<QCheckBox>(QStringLiteral("KeepResults")); }
    // Every row as "time|country|...|ticked".
    QStringList table() const
    {
        QStringList lines;
        const ResultsList *list = form->results();
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
};

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
        const QString failure = w.form->results()->failure(1);
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

        w.open();
        QTRY_COMPARE(w.table(), before);
        QCOMPARE(w.form->results()->failure(1), failure);
        // Ticks made after the restart are kept too.
        w.tick(1, false);
        w.open();
        QTRY_COMPARE(w.rows(), 3);
        QVERIFY(!w.form->results()->isChecked(1));
        QCOMPARE(w.reports(), QStringList());
    }

    void offByDefault()
    {
        Window w;
        QVERIFY(!w.keepBox()->isChecked());
        w.logNow();
        QVERIFY(!QFile::exists(w.historyFile()));
        w.open();
        QTest::qWait(50);
        QCOMPARE(w.rows(), 0);
    }

    void tickingTheBoxKeepsTheTable()
    {
        Window w;
        w.logNow();
        w.logNow();
        w.tick(1, true);
        w.keepBox()->click();
        QCOMPARE(Settings::get(SettingKeys::KeepResults), QStringLiteral("On"));
        const QList<HistoryStore::Stored> kept = w.kept();
        QCOMPARE(kept.size(), 2);
        QVERIFY(!kept[0].ticked);
        QVERIFY(kept[1].ticked);
        QCOMPARE(kept[1].record.timeText, w.form->results()->cell(1, 0));
        const QStringList before = w.table();
        w.open();
        QTRY_COMPARE(w.table(), before);
    }

    void clearResults_data()
    {
        const DataTable<bool, bool, QStringList, int, int> table(
            {"keep", "answer", "questions", "rowsLeft", "keptLeft"});
        const QStringList asked {"Clear 2 rows from the table and from the kept history?"};
        table.row("kept, yes", true, true, asked, 0, 0);
        table.row("kept, no", true, false, asked, 2, 2);
        table.row("not kept", false, true, {}, 0, 0);
    }
    void clearResults()
    {
        QFETCH(bool, keep);
        QFETCH(bool, answer);
        Window w(keep ? QStringList {Keep} : QStringList {});
        w.logNow();
        w.logNow();
        w.dialogs.yesNoAnswers = {answer};
        w.click("PushButton1");
        QTEST(w.dialogs.questions, "questions");
        QTEST(w.rows(), "rowsLeft");
        QTEST(int(w.kept().size()), "keptLeft");
    }

    void untickingTheBoxAsks_data()
    {
        const DataTable<bool, bool, int> table({"answer", "fileLeft", "rowsNextRun"});
        table.row("delete", true, false, 0);
        table.row("keep for later", false, true, 2);
    }
    void untickingTheBoxAsks()
    {
        QFETCH(bool, answer);
        Window w({Keep});
        w.logNow();
        w.logNow();
        w.dialogs.yesNoAnswers = {answer};
        w.keepBox()->click();
        QCOMPARE(w.dialogs.questions.size(), 1);
        QVERIFY(w.dialogs.questions[0].startsWith("Delete the kept history?"));
        QCOMPARE(w.rows(), 2);
        QTEST(QFile::exists(w.historyFile()), "fileLeft");
        // Rows logged while the box is clear are not kept.
        w.logNow();
        QCOMPARE(Settings::get(SettingKeys::KeepResults), QStringLiteral("Off"));
        Settings::save(SettingKeys::KeepResults, QStringLiteral("On"));
        w.open();
        QTest::qWait(50);
        QTEST(w.rows(), "rowsNextRun");
    }
};

QTEST_MAIN(tst_KeptResults)
#include "tst_keptresults.moc"
