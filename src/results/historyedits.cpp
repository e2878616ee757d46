// Kept rows changed after they were kept: a tick, a Wi-Fi fix that joined, the user's
// corrections, and rows removed (and put back).

#include "results/historystore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// Rows and messages removed last, held in the connection's own temporary tables: nothing of them
// stays in the file, and they are gone with the connection.
const char *const Removing[] = {
    "CREATE TEMP TABLE IF NOT EXISTS removing (log INTEGER PRIMARY KEY)",
    "DELETE FROM temp.removing",
    "DROP TABLE IF EXISTS temp.removed_rows",
    "DROP TABLE IF EXISTS temp.removed_outbox",
};
const char *const Removed[] = {
    "CREATE TEMP TABLE removed_rows AS SELECT * FROM main.rows "
    "WHERE log IN (SELECT log FROM temp.removing)",
    "CREATE TEMP TABLE removed_outbox AS SELECT * FROM main.outbox "
    "WHERE log IN (SELECT log FROM temp.removing)",
    "DELETE FROM main.rows WHERE log IN (SELECT log FROM temp.removing)",
};
// Keys taken by rows kept since are given anew past the last, so that no row is put back over
// another; the others come back under their own key, in their place among the rows.
const char *const PuttingBack[] = {
    "UPDATE temp.removed_rows SET id = (SELECT ifnull(max(id), 0) FROM main.rows) + rowid "
    "WHERE id IN (SELECT id FROM main.rows)",
    "INSERT INTO main.rows SELECT * FROM temp.removed_rows",
    "UPDATE temp.removed_outbox SET id = (SELECT ifnull(max(id), 0) FROM main.outbox) + rowid "
    "WHERE id IN (SELECT id FROM main.outbox)",
};

} // namespace

void HistoryStore::setWiFiFix(LogId log, const Fix &fix)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral(
        "UPDATE rows SET wifi_latitude = ?, wifi_longitude = ?, wifi_accuracy = ? WHERE log = ?"));
    query.addBindValue(fix.latitude);
    query.addBindValue(fix.longitude);
    query.addBindValue(fix.accuracyMetres);
    query.addBindValue(log.value);
    if (!query.exec())
        fail(query.lastError());
}

void HistoryStore::setTicked(LogId log, bool ticked)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("UPDATE rows SET ticked = ? WHERE log = ?"));
    query.addBindValue(ticked ? 1 : 0);
    query.addBindValue(log.value);
    if (!query.exec())
        fail(query.lastError());
}

void HistoryStore::setTicked(const QList<LogId> &logs, const QList<bool> &ticked)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        fail(db.lastError());
    try {
        for (qsizetype i = 0; i < logs.size(); ++i)
            setTicked(logs[i], ticked.value(i));
    } catch (const Failure &) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        fail(error);
    }
}

void HistoryStore::removeAll()
{
    // An import coming in meanwhile is cleared with the rows: it can no longer be finished.
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("DELETE FROM rows"))
        || !query.exec(QStringLiteral("DELETE FROM imports")))
        fail(query.lastError());
}

void HistoryStore::setChosen(const QList<LogId> &logs, FixChoice choice)
{
    setEach(logs, "chosen", int(choice));
}

void HistoryStore::setLeftOut(const QList<LogId> &logs, bool leftOut)
{
    setEach(logs, "left_out", leftOut ? 1 : 0);
}

void HistoryStore::setEach(const QList<LogId> &logs, const char *column, int value)
{
    inTransaction([&](QSqlQuery &query) {
        query.prepare(
            QStringLiteral("UPDATE rows SET %1 = ? WHERE log = ?").arg(QLatin1String(column)));
        for (const LogId log : logs) {
            query.addBindValue(value);
            query.addBindValue(log.value);
            if (!query.exec())
                return false;
        }
        return true;
    });
}

void HistoryStore::remove(const QList<LogId> &logs)
{
    int messages = 0;
    inTransaction([&](QSqlQuery &query) {
        for (const char *statement : Removing) {
            if (!query.exec(QString::fromLatin1(statement)))
                return false;
        }
        query.prepare(QStringLiteral("INSERT OR IGNORE INTO temp.removing VALUES (?)"));
        for (const LogId log : logs) {
            query.addBindValue(log.value);
            if (!query.exec())
                return false;
        }
        for (const char *statement : Removed) {
            if (!query.exec(QString::fromLatin1(statement)))
                return false;
        }
        if (!query.exec(QStringLiteral(
                "DELETE FROM main.outbox WHERE log IN (SELECT log FROM temp.removing)")))
            return false;
        messages = query.numRowsAffected();
        return true;
    });
    if (m_outboxCount >= 0)
        m_outboxCount -= messages;
}

bool HistoryStore::canPutBack()
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    return m_open
        && query.exec(
            QStringLiteral("SELECT count(*) FROM sqlite_temp_master WHERE name = 'removed_rows'"))
        && query.next() && query.value(0).toInt() > 0;
}

void HistoryStore::putBack()
{
    int messages = 0;
    inTransaction([&](QSqlQuery &query) {
        for (const char *statement : PuttingBack) {
            if (!query.exec(QString::fromLatin1(statement)))
                return false;
        }
        if (!query.exec(
                QStringLiteral("INSERT INTO main.outbox SELECT * FROM temp.removed_outbox")))
            return false;
        messages = query.numRowsAffected();
        return query.exec(QStringLiteral("DROP TABLE temp.removed_rows"))
            && query.exec(QStringLiteral("DROP TABLE temp.removed_outbox"));
    });
    if (m_outboxCount >= 0)
        m_outboxCount += messages;
}

void HistoryStore::inTransaction(const std::function<bool(QSqlQuery &query)> &work)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        fail(db.lastError());
    QSqlQuery query(db);
    if (!work(query)) {
        const QSqlError error = query.lastError();
        db.rollback();
        fail(error);
    }
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        fail(error);
    }
}
