#include "results/historystore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// An import's rows are committed a slice at a time, so that the window keeps answering however
// many there are, and join the rows all at once when its entry in `imports` goes: until then
// every reading of the rows passes them by (VisibleRows).

void HistoryStore::prepareImports()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS imports (id INTEGER PRIMARY KEY)"))
        || !query.exec(QStringLiteral("SELECT count(*) FROM imports")))
        fail(query.lastError());
    // An import the program ended during never happened. The rows are gone through only then:
    // a start reads no more of a big history than it must.
    if (!query.next() || query.value(0).toLongLong() == 0)
        return;
    if (!query.exec(QStringLiteral("DELETE FROM rows WHERE import IN (SELECT id FROM imports)"))
        || !query.exec(QStringLiteral("DELETE FROM imports")))
        fail(query.lastError());
}

qint64 HistoryStore::beginImport()
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("INSERT INTO imports DEFAULT VALUES")))
        fail(query.lastError());
    return query.lastInsertId().toLongLong();
}

bool HistoryStore::finishImport(qint64 import)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("DELETE FROM imports WHERE id = ?"));
    query.addBindValue(import);
    if (!query.exec())
        fail(query.lastError());
    return query.numRowsAffected() == 1;
}

void HistoryStore::abandonImport(qint64 import)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        fail(db.lastError());
    for (const char *statement :
         {"DELETE FROM rows WHERE import = ?", "DELETE FROM imports WHERE id = ?"}) {
        QSqlQuery query(db);
        query.prepare(QString::fromLatin1(statement));
        query.addBindValue(import);
        if (!query.exec()) {
            const QSqlError error = query.lastError();
            db.rollback();
            fail(error);
        }
    }
    if (!db.commit())
        fail(db.lastError());
}
