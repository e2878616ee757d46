#pragma once

#include "core/logtable.h"
#include "core/slicedjob.h"
#include "results/historystore.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <functional>
#include <optional>

class Dialogs;
class Failure;
class ResultsList;

// The results table as the lookup sees it when rows may be kept between runs: while keeping,
// each row is committed to the kept history before it shows, and each tick and untick is saved;
// at start-up the kept rows come back with their ticks, a slice at a time. A history that cannot
// be written is reported once, and the table goes on in memory; each later log tries again, and
// once the history can be written (space was freed) the rows logged meanwhile are kept too. A
// history found damaged goes aside and a fresh one keeps the table's rows. Whether a row is kept,
// under its log's id, and what it holds to be kept later is the table's to know, in the row.
class KeptResults : public QObject, public LogTable
{
    Q_OBJECT

public:
    KeptResults(ResultsList *table, Dialogs *dialogs, QObject *parent = nullptr);
    ~KeptResults() override;

    // Tests keep their history elsewhere.
    void setStorePath(const QString &path) { m_path = path; }
    HistoryStore &store() { return m_store; }

    // Once the window is on screen: with keep, opens the history and brings its rows back.
    void start(bool keep);
    // The user ticked or cleared "Keep results between runs". Cleared, the history the user
    // keeps for later stays open (its messages still go to the server from there), its rows
    // and ticks as they were.
    void setKeeping(bool keep);
    bool isKeeping() const { return m_keeping; }
    bool isLoading() const { return m_loader.isRunning(); }
    // How a row gets the message that shares it: made as the row is added, so that the history
    // commits both at once; told once the row is in, with whether the history kept it (else
    // the message is the sharing's to hold in memory).
    struct Messages
    {
        std::function<std::optional<QByteArray>(const LogRecord &record)> messageFor;
        std::function<void(const LogRecord &record, const QByteArray &message, bool kept)> added;
    };
    void setMessages(Messages messages) { m_messages = std::move(messages); }
    // "Clear Results": while keeping, asks first, and clears the history with the table.
    void clearResults();
    // Damage met in the history while the messages for the location server were read or
    // written there.
    void outboxDamaged();

    // Logs brought back from a file or a server (rows made by ResultsList::importedRow): while
    // keeping, committed a slice at a time as they come (stageImport, the rows from `from` on),
    // and all joining the record at once with finishImport, in time order in the table. Each
    // throws a Failure for the caller to report; then, or when the import is cancelled,
    // abandonImport leaves the record as it was. They are never shared.
    void beginImport();
    void stageImport(const QList<ResultsListRow> &rows, qsizetype from);
    void finishImport(QList<ResultsListRow> &&rows);
    void abandonImport();

    // LogTable: while keeping, the row is committed before it shows.
    AppendedRow appendRecord(const LogRecord &record) override;
    // LogTable: the fix joins the row, and the kept history's row too.
    bool joinWiFiFix(LogId log, const Fix &fix) override;

Q_SIGNALS:
    // Every kept row is in the table.
    void loaded();
    // The history could not be written, and now it can: the rows logged meanwhile are in it.
    void writableAgain();
    // The user chose to delete the kept history; it is still open, until this returns.
    void deleting();

private:
    bool openStore(bool quietly = false);
    void tellMovedAside();
    void makeRoom();
    void loadTurn();
    bool keep(const LogRecord &record, const QByteArray &message);
    void resume();
    bool startAfresh(int line);
    void saveTicks(const QModelIndex &from, const QModelIndex &to, const QList<int> &roles);
    // allTicks: also the ticks of rows kept already; else only those ticked while not keeping.
    void keepTableRows(bool allTicks);
    void lose(int line, const Failure &failure, bool mayResume);

    ResultsList *m_table;
    Dialogs *m_dialogs;
    QString m_path;
    HistoryStore m_store;
    SlicedJob m_loader;
    bool m_keeping = false;
    bool m_reported = false;
    Messages m_messages;
    // Whether saving may work again later (a full disk, a folder made writable again); a file of
    // a newer version, or a history whose rows did not all come back, is not tried again.
    bool m_mayResume = false;
    qint64 m_loadedUpTo = 0;
    // The log of the last row kept while the history was coming back, which the table shows
    // only later.
    LogId m_hidden;
    // The import coming into the history; 0 when none is, or it goes to the table alone.
    qint64 m_import = 0;
};
