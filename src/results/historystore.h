#pragma once

#include "core/failure.h"
#include "core/logtable.h"
#include "results/resultslist.h"

#include <QList>
#include <QString>

#include <functional>

class QSqlError;
class QSqlQuery;
struct sqlite3;

// The kept history on disk: one SQLite file (WAL journal) with a row for each log, committed
// one at a time, so that a program killed outright loses at most the row it was writing. Every
// operation that fails raises a Failure that says, for the user, what went wrong.
class HistoryStore
{
public:
    // The file was written by a newer version of the program; it is left as it is.
    class TooNew : public Failure
    {
        using Failure::Failure;
    };
    // Damaged pages were met after the file was opened, reading or writing.
    class Damaged : public Failure
    {
        using Failure::Failure;
    };

    // The version of the file's layout this program writes (PRAGMA user_version).
    // 2: each row's fixes (its answer's radius, the Wi-Fi fix) and its mark; the messages waiting
    // to share rows with the user's location server. The messages the server would not take
    // live in a table of their own that the same version adds where it is missing: a program
    // that knows nothing of it reads the rows and the waiting messages as they are, and leaves
    // those set aside where they are.
    // 3: each row and each message names its log; rows and messages kept before are named as
    // they are brought up to it (LogId).
    // 4: each row keeps the user's corrections: the fix chosen as its place, and whether it is
    // left out of the days per country.
    static constexpr int Version = 4;
    // Longer answers are cut here: a lookup reads no more.
    static constexpr qsizetype MaxAnswerBytes = 1024 * 1024;

    HistoryStore();
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // $XDG_DATA_HOME/Brenvatic/Trovanel/history.sqlite
    static QString defaultPath();
    // Makes the history at `path` the user's alone, where there is one: the file, its journal,
    // the damaged files moved aside, and the program's folders that hold them. What cannot be
    // changed is told once (PrivateFiles).
    static void keepPrivate(const QString &path);

    // Opens the file, making it and its folder, private, when there is none. A file that is not a
    // database is moved aside (movedAside() says where) and a fresh one started; a file of a
    // newer layout is refused and left as it is.
    void open(const QString &path = defaultPath());
    void close();
    // After Damaged: the damaged file goes aside (movedAside() says where), never written over,
    // and a fresh one is started in its place, with the messages that waited in the damaged one.
    void startAfresh();
    bool isOpen() const { return m_open; }
    QString path() const { return m_path; }
    QString movedAside() const { return m_movedAside; }

    // Commits one row, with the message that shares it if it has one. A record that names no
    // log is named as it is kept; returns the name.
    LogId add(const LogRecord &record, bool ticked = false, const QByteArray &message = {});
    // Commits many rows in one transaction.
    void addAll(const QList<LogRecord> &records, const QList<bool> &ticked);
    // Logs brought back from a file or a server come in a slice at a time and join the rows
    // all at once: until finishImport() count() and readAll() pass them by, and they are gone
    // at the next open if the program ends first (the rows are read back only while no import
    // runs). beginImport() names the import; stageImport() commits the rows
    // from `from` on as the table holds them; finishImport() is false when the import is not
    // there to finish (the history was cleared or started afresh meanwhile).
    qint64 beginImport();
    void stageImport(qint64 import, const QList<ResultsListRow> &rows, qsizetype from);
    bool finishImport(qint64 import);
    void abandonImport(qint64 import);
    void setTicked(LogId log, bool ticked);
    // The location service's fix joined the log's row after it was committed.
    void setWiFiFix(LogId log, const Fix &fix);
    // Sets the ticks of many rows in one transaction.
    void setTicked(const QList<LogId> &logs, const QList<bool> &ticked);
    // Clears the rows; the messages waiting to share them stay until the server has them.
    void removeAll();

    // The user's corrections, each in one transaction. The logs' rows take the choice, or leave
    // the days per country; their cells stay as the service gave them.
    void setChosen(const QList<LogId> &logs, FixChoice choice);
    void setLeftOut(const QList<LogId> &logs, bool leftOut);
    // The logs' rows and their waiting messages leave the file, held aside in this connection
    // until the next removal, so that putBack() brings them back as they were, in their places.
    void remove(const QList<LogId> &logs);
    // Whether the rows last removed are still held aside (the file was not opened again since).
    bool canPutBack();
    void putBack();

    // The messages waiting for the user's location server, oldest log first.
    struct Outgoing
    {
        qint64 id = 0;
        LogId log;
        qint64 tst = 0;
        QByteArray body;
    };
    QList<Outgoing> outbox(int limit);
    qint64 addToOutbox(LogId log, qint64 tst, const QByteArray &body);
    void removeFromOutbox(qint64 id);
    // The log's waiting message made again (its row's fix got better); false when it is not
    // waiting.
    bool replaceInOutbox(LogId log, const QByteArray &now);
    // Known without reading the outbox but once after opening.
    qint64 outboxCount();

    // The messages the server would not take, kept with its words until the user sends them
    // again or discards them; oldest log first.
    struct Aside
    {
        qint64 id = 0;
        LogId log;
        qint64 tst = 0;
        QByteArray body;
        QString words;
    };
    // The waiting message `id` waits no more, kept with the server's words.
    void setAside(qint64 id, const QString &words);
    QList<Aside> setAsideMessages();
    // The set-aside message `id` waits again; false when there is none such.
    bool sendAgain(qint64 id);
    bool discardSetAside(qint64 id);

    qint64 count();
    // The key of the last row kept, at once however many there are; no fewer rows than this
    // were ever kept.
    qint64 lastKey();

    // Rows as the table keeps them, each with its key.
    struct Batch
    {
        QList<ResultsListRow> rows;
        qint64 lastKey = 0; // the key of the last row read; the next batch is read after it
    };
    // Up to `limit` rows after the key `after`, in the order they were logged, with their ticks.
    // The answers are not read: the table does not show them.
    Batch readAfter(qint64 after, int limit);

    // A kept row as it is stored, answer included (for checks of what was kept).
    struct Stored
    {
        LogRecord record;
        bool ticked = false;
    };
    QList<Stored> readAll();

    // Messages moved between the file and memory, all or none: each call is one transaction.
    void addAllToOutbox(const QList<Outgoing> &messages, const QList<Aside> &setAside = {});
    // Every message, waiting or set aside, leaves the file.
    void clearOutbox();

private:
    void insertAll(qsizetype count, const std::function<void(qsizetype, QSqlQuery &)> &bind);
    // The imports table; rows of an import the program ended during go.
    void prepareImports();
    void prepare();
    // The outbox's order, kept as an index, and the table of the messages set aside: added to
    // a file that has none, whichever version of the layout made it.
    void prepareOutbox();
    // Names the messages kept before messages named their logs, in one of the outbox's tables.
    void nameOlderMessages(const char *table, quint64 from);
    [[noreturn]] void fail(const QSqlError &error) const;
    // The open file's SQLite connection, for the reading and writing of rows by the million.
    sqlite3 *handle() const;
    // Runs the work in one transaction, all or nothing; work returns false when a statement of
    // the query failed.
    void inTransaction(const std::function<bool(QSqlQuery &query)> &work);
    // The column of the logs' rows takes the value, in one transaction.
    void setEach(const QList<LogId> &logs, const char *column, int value);
    // Copies the message `id` from one table to the other and removes it from the first, in one
    // transaction; words, unless null, go before the id. Returns how many were copied.
    int moveMessage(const char *copy, const char *remove, qint64 id, const QString &words);
    void moveAside();
    // The messages that waited for the user's location server in the file just moved aside go
    // on waiting in the fresh one, as many as the damage lets be read.
    void carryOutbox();

    QString m_connection;
    QString m_path;
    QString m_movedAside;
    bool m_open = false;
    // -1 until counted after opening; then kept as messages come and go.
    qint64 m_outboxCount = -1;
};
