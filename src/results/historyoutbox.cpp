// The kept history's outbox: the messages waiting for the user's location server, and those
// the server would not take, set aside.

#include "results/historystore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// Each statement runs on every opening: what a file already has stays as it is.
const char *const OutboxSchema[] = {
    // The messages that share rows with the user's location server, until the server has them.
    "CREATE TABLE IF NOT EXISTS outbox ("
    "id INTEGER PRIMARY KEY,"
    "tst INTEGER NOT NULL,"
    "body BLOB NOT NULL,"
    "log INTEGER NOT NULL DEFAULT 0)",
    // The next message is found at once however many wait.
    "CREATE INDEX IF NOT EXISTS outbox_order ON outbox(tst, id)",
    // A table of its own: a program that knows nothing of it never sends these again.
    "CREATE TABLE IF NOT EXISTS outbox_aside ("
    "id INTEGER PRIMARY KEY,"
    "tst INTEGER NOT NULL,"
    "body BLOB NOT NULL,"
    "words TEXT NOT NULL,"
    "log INTEGER NOT NULL DEFAULT 0)",
};

} // namespace

void HistoryStore::prepareOutbox()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    for (const char *statement : OutboxSchema) {
        QSqlQuery query(db);
        if (!query.exec(QString::fromLatin1(statement)))
            fail(query.lastError());
    }
    nameOlderMessages("outbox", LogId::OlderWaiting);
    nameOlderMessages("outbox_aside", LogId::OlderSetAside);
}

void HistoryStore::nameOlderMessages(const char *table, quint64 from)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    const QString name = QString::fromLatin1(table);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM pragma_table_info('%1') "
                                   "WHERE name = 'log'")
                        .arg(name))
        || !query.next())
        fail(query.lastError());
    if (query.value(0).toInt() > 0)
        return;
    if (!query.exec(
            QStringLiteral("ALTER TABLE %1 ADD COLUMN log INTEGER NOT NULL DEFAULT 0").arg(name))
        || !query.exec(QStringLiteral("UPDATE %1 SET log = %2 + id").arg(name).arg(from)))
        fail(query.lastError());
}

void HistoryStore::carryOutbox()
{
    // Read only: the file aside stays byte for byte as the damage left it.
    const QString name = m_connection + QStringLiteral("-aside");
    QList<Outgoing> waiting;
    QList<Aside> setAside;
    {
        QSqlDatabase aside = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        aside.setDatabaseName(m_movedAside);
        aside.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (aside.open()) {
            QSqlQuery query(aside);
            if (query.exec(QStringLiteral("SELECT id, log, tst, body FROM outbox"))) {
                while (query.next())
                    waiting.append({query.value(0).toLongLong(),
                                    {query.value(1).toULongLong()},
                                    query.value(2).toLongLong(),
                                    query.value(3).toByteArray()});
            }
            if (query.exec(QStringLiteral("SELECT log, tst, body, words FROM outbox_aside"))) {
                while (query.next())
                    setAside.append({0,
                                     {query.value(0).toULongLong()},
                                     query.value(1).toLongLong(),
                                     query.value(2).toByteArray(),
                                     query.value(3).toString()});
            }
        }
        aside.close();
    }
    QSqlDatabase::removeDatabase(name);
    m_outboxCount = -1;
    if (waiting.isEmpty() && setAside.isEmpty())
        return;
    // Under their own numbers: a message on its way to the server is taken out when it arrives.
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(
        QStringLiteral("INSERT OR IGNORE INTO outbox (id, log, tst, body) VALUES (?, ?, ?, ?)"));
    for (const Outgoing &message : std::as_const(waiting)) {
        insert.addBindValue(message.id);
        insert.addBindValue(message.log.value);
        insert.addBindValue(message.tst);
        insert.addBindValue(message.body);
        insert.exec();
    }
    insert.prepare(
        QStringLiteral("INSERT INTO outbox_aside (log, tst, body, words) VALUES (?, ?, ?, ?)"));
    for (const Aside &message : std::as_const(setAside)) {
        insert.addBindValue(message.log.value);
        insert.addBindValue(message.tst);
        insert.addBindValue(message.body);
        insert.addBindValue(message.words);
        insert.exec();
    }
    db.commit();
}

QList<HistoryStore::Outgoing> HistoryStore::outbox(int limit)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT id, log, tst, body FROM outbox ORDER BY tst, id LIMIT ?"));
    query.addBindValue(limit);
    if (!query.exec())
        fail(query.lastError());
    QList<Outgoing> messages;
    while (query.next())
        messages.append({query.value(0).toLongLong(),
                         {query.value(1).toULongLong()},
                         query.value(2).toLongLong(),
                         query.value(3).toByteArray()});
    return messages;
}

qint64 HistoryStore::addToOutbox(LogId log, qint64 tst, const QByteArray &body)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("INSERT INTO outbox (log, tst, body) VALUES (?, ?, ?)"));
    query.addBindValue(log.value);
    query.addBindValue(tst);
    query.addBindValue(body);
    if (!query.exec())
        fail(query.lastError());
    if (m_outboxCount >= 0)
        ++m_outboxCount;
    return query.lastInsertId().toLongLong();
}

void HistoryStore::removeFromOutbox(qint64 id)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("DELETE FROM outbox WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        fail(query.lastError());
    if (m_outboxCount >= 0)
        m_outboxCount -= query.numRowsAffected();
}

bool HistoryStore::replaceInOutbox(LogId log, const QByteArray &now)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("UPDATE outbox SET body = ? WHERE log = ?"));
    query.addBindValue(now);
    query.addBindValue(log.value);
    if (!query.exec())
        fail(query.lastError());
    return query.numRowsAffected() > 0;
}

qint64 HistoryStore::outboxCount()
{
    if (m_outboxCount >= 0)
        return m_outboxCount;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT count(*) FROM outbox")) || !query.next())
        fail(query.lastError());
    m_outboxCount = query.value(0).toLongLong();
    return m_outboxCount;
}

int HistoryStore::moveMessage(const char *copy, const char *remove, qint64 id, const QString &words)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // Copied and removed together or not at all: the message is in one table or the other.
    if (!db.transaction())
        fail(db.lastError());
    QSqlQuery query(db);
    query.prepare(QString::fromLatin1(copy));
    if (!words.isNull())
        query.addBindValue(words);
    query.addBindValue(id);
    bool done = query.exec();
    const int moved = done ? query.numRowsAffected() : 0;
    if (done) {
        query.prepare(QString::fromLatin1(remove));
        query.addBindValue(id);
        done = query.exec();
    }
    if (!done || !db.commit()) {
        const QSqlError error = done ? db.lastError() : query.lastError();
        db.rollback();
        fail(error);
    }
    return moved;
}

void HistoryStore::setAside(qint64 id, const QString &words)
{
    const int moved = moveMessage("INSERT INTO outbox_aside (words, log, tst, body) "
                                  "SELECT ?, log, tst, body FROM outbox WHERE id = ?",
                                  "DELETE FROM outbox WHERE id = ?", id,
                                  words.isNull() ? QStringLiteral("") : words);
    if (m_outboxCount >= 0)
        m_outboxCount -= moved;
}

bool HistoryStore::sendAgain(qint64 id)
{
    // Under a number of its own: the one it had may be another message's by now.
    const int moved = moveMessage("INSERT INTO outbox (log, tst, body) "
                                  "SELECT log, tst, body FROM outbox_aside WHERE id = ?",
                                  "DELETE FROM outbox_aside WHERE id = ?", id, QString());
    if (m_outboxCount >= 0)
        m_outboxCount += moved;
    return moved > 0;
}

bool HistoryStore::discardSetAside(qint64 id)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("DELETE FROM outbox_aside WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        fail(query.lastError());
    return query.numRowsAffected() > 0;
}

QList<HistoryStore::Aside> HistoryStore::setAsideMessages()
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(
            QStringLiteral("SELECT id, log, tst, body, words FROM outbox_aside ORDER BY tst, id")))
        fail(query.lastError());
    QList<Aside> messages;
    while (query.next())
        messages.append({query.value(0).toLongLong(),
                         {query.value(1).toULongLong()},
                         query.value(2).toLongLong(),
                         query.value(3).toByteArray(),
                         query.value(4).toString()});
    return messages;
}

void HistoryStore::addAllToOutbox(const QList<Outgoing> &messages, const QList<Aside> &setAside)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        fail(db.lastError());
    QSqlQuery insert(db);
    bool done
        = insert.prepare(QStringLiteral("INSERT INTO outbox (log, tst, body) VALUES (?, ?, ?)"));
    for (qsizetype i = 0; done && i < messages.size(); ++i) {
        insert.addBindValue(messages[i].log.value);
        insert.addBindValue(messages[i].tst);
        insert.addBindValue(messages[i].body);
        done = insert.exec();
    }
    if (done && !setAside.isEmpty())
        done = insert.prepare(
            QStringLiteral("INSERT INTO outbox_aside (log, tst, body, words) VALUES (?, ?, ?, ?)"));
    for (qsizetype i = 0; done && i < setAside.size(); ++i) {
        insert.addBindValue(setAside[i].log.value);
        insert.addBindValue(setAside[i].tst);
        insert.addBindValue(setAside[i].body);
        insert.addBindValue(setAside[i].words);
        done = insert.exec();
    }
    if (!done || !db.commit()) {
        const QSqlError error = done ? db.lastError() : insert.lastError();
        db.rollback();
        m_outboxCount = -1;
        fail(error);
    }
    if (m_outboxCount >= 0)
        m_outboxCount += messages.size();
}

void HistoryStore::clearOutbox()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        fail(db.lastError());
    QSqlQuery query(db);
    const bool done = query.exec(QStringLiteral("DELETE FROM outbox"))
        && query.exec(QStringLiteral("DELETE FROM outbox_aside"));
    if (!done || !db.commit()) {
        const QSqlError error = done ? db.lastError() : query.lastError();
        db.rollback();
        fail(error);
    }
    m_outboxCount = 0;
}
