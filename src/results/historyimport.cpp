#include "results/historystore.h"

#include <QDir>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

// An import's rows are committed a slice at a time, so that the window keeps answering however
// many there are, and join the rows all at once when its entry in `imports` goes: until then
// every reading of the rows passes them by (VisibleRows).

namespace {

// The instant as the file keeps it, "2026-12-07T10:00:00.000Z", written by hand for the years
// of four digits: Qt's writer would build a date and a text for each of a million rows. Other
// years go through Qt, which writes them as every other row's are written.
QByteArray storedInstantText(qint64 utcMs)
{
    constexpr qint64 MsPerDay = 86'400'000;
    const qint64 days = utcMs >= 0 ? utcMs / MsPerDay : (utcMs - MsPerDay + 1) / MsPerDay;
    const QDate date = QDate(1970, 1, 1).addDays(days);
    if (date.year() < 1000 || date.year() > 9999)
        return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC)
            .toString(Qt::ISODateWithMs)
            .toLatin1();
    qint64 inDay = utcMs - days * MsPerDay;
    char text[24];
    const auto put = [&text](int at, int digits, qint64 value) {
        for (int i = at + digits - 1; i >= at; --i, value /= 10)
            text[i] = char('0' + value % 10);
    };
    put(0, 4, date.year());
    put(5, 2, date.month());
    put(8, 2, date.day());
    put(20, 3, inDay % 1000);
    inDay /= 1000;
    put(17, 2, inDay % 60);
    inDay /= 60;
    put(14, 2, inDay % 60);
    put(11, 2, inDay / 60);
    text[4] = text[7] = '-';
    text[10] = 'T';
    text[13] = text[16] = ':';
    text[19] = '.';
    text[23] = 'Z';
    return QByteArray(text, sizeof text);
}

} // namespace

sqlite3 *HistoryStore::handle() const
{
    const QVariant found = QSqlDatabase::database(m_connection, false).driver()->handle();
    sqlite3 *connection = found.isValid() && qstrcmp(found.typeName(), "sqlite3*") == 0
        ? *static_cast<sqlite3 *const *>(found.constData())
        : nullptr;
    if (!connection)
        throw Failure(QStringLiteral("The kept history %1 is not open.")
                          .arg(QDir::toNativeSeparators(m_path)));
    return connection;
}

// The rows go in through SQLite's own interface, bound straight from the table's rows: Qt's
// would make each a whole log of separate texts and wrap every value in a QVariant, which cost
// more than the reading and the making of the rows together.
void HistoryStore::stageImport(qint64 import, const QList<ResultsListRow> &rows, qsizetype from)
{
    if (from >= rows.size())
        return;
    sqlite3 *connection = handle();
    bool begun = false;
    const auto fail = [&]() {
        const int code = sqlite3_errcode(connection);
        const QString text = QString::fromUtf8(sqlite3_errmsg(connection));
        if (begun)
            sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
        const QString path = QDir::toNativeSeparators(m_path);
        if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB)
            throw Damaged(QStringLiteral("The kept history %1 is damaged: %2.").arg(path, text));
        throw Failure(QStringLiteral("The kept history %1 cannot be used: %2.").arg(path, text));
    };
    sqlite3_stmt *insert = nullptr;
    if (sqlite3_prepare_v2(connection,
                           "INSERT INTO rows (instant_utc, utc_offset, time_text, country, "
                           "region, city, postal_code, coordinates, timezone, failure, "
                           "http_status, answer, ticked, address_accuracy, wifi_latitude, "
                           "wifi_longitude, wifi_accuracy, mark, log, chosen, left_out, origin, "
                           "import) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                           -1, &insert, nullptr)
        != SQLITE_OK)
        fail();
    const auto done = qScopeGuard([insert] { sqlite3_finalize(insert); });
    // The rows are not the record's until the import finishes, whose commit is written through
    // to the disk with all that came before it: until then each slice's commit need not wait
    // for the disk, and a slice lost to a failing machine is an import that never finished.
    if (sqlite3_exec(connection, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr)
        != SQLITE_OK)
        fail();
    const auto surely = qScopeGuard([connection] {
        sqlite3_exec(connection, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    });
    if (sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
    begun = true;
    QByteArray cells, instant;
    std::array<int, LogTable::ColumnCount + 1> starts {};
    const auto bindText = [insert](int at, const QByteArray &bytes, int from, int to) {
        sqlite3_bind_text(insert, at, bytes.constData() + from, to - from, SQLITE_STATIC);
    };
    const auto bindString = [&](int at, const QString &value, QByteArray &holder) {
        holder = value.toUtf8();
        bindText(at, holder, 0, int(holder.size()));
    };
    QByteArray failure, answer, mark, origin;
    for (qsizetype i = from; i < rows.size(); ++i) {
        const ResultsListRow &row = rows[i];
        // The cells in one pass; where a character took more than a byte the ends are found
        // a cell at a time.
        cells = row.text.toUtf8();
        for (int column = 1; column < LogTable::ColumnCount; ++column)
            starts[std::size_t(column)] = int(row.ends[std::size_t(column - 1)]);
        starts[LogTable::ColumnCount] = int(row.text.size());
        if (cells.size() != row.text.size()) {
            for (int column = 1; column <= LogTable::ColumnCount; ++column)
                starts[std::size_t(column)]
                    = int(QStringView(row.text).first(starts[std::size_t(column)]).toUtf8().size());
        }
        const bool known = row.utcMs != ResultsListRow::UnknownInstant;
        instant = known ? storedInstantText(row.utcMs) : QByteArray("");
        bindText(1, instant, 0, int(instant.size()));
        sqlite3_bind_int(insert, 2, known ? row.offsetSeconds : 0);
        for (int column = 0; column < LogTable::ColumnCount; ++column)
            bindText(3 + column, cells, starts[std::size_t(column)],
                     starts[std::size_t(column) + 1]);
        const ResultsListRow::Rare *rare = row.rare.data();
        bindString(10, rare ? rare->failure : QString(), failure);
        sqlite3_bind_int(insert, 11, row.httpStatus);
        answer = rare ? rare->answer.left(MaxAnswerBytes) : QByteArray();
        // An empty answer is an empty blob, never NULL.
        if (answer.isEmpty())
            sqlite3_bind_zeroblob(insert, 12, 0);
        else
            sqlite3_bind_blob(insert, 12, answer.constData(), int(answer.size()), SQLITE_STATIC);
        sqlite3_bind_int(insert, 13, row.checked ? 1 : 0);
        sqlite3_bind_double(insert, 14, rare ? rare->addressAccuracyMetres : 0);
        if (rare && rare->wifi) {
            sqlite3_bind_double(insert, 15, rare->wifi->latitude);
            sqlite3_bind_double(insert, 16, rare->wifi->longitude);
            sqlite3_bind_double(insert, 17, rare->wifi->accuracyMetres);
        } else {
            for (int at = 15; at <= 17; ++at)
                sqlite3_bind_null(insert, at);
        }
        bindString(18, rare ? rare->mark : QString(), mark);
        const LogId log = row.id ? row.id : LogId::next(QDateTime::currentMSecsSinceEpoch());
        sqlite3_bind_int64(insert, 19, qint64(log.value));
        sqlite3_bind_int(insert, 20, int(row.chosen));
        sqlite3_bind_int(insert, 21, row.leftOut ? 1 : 0);
        bindString(22, rare ? rare->origin : QString(), origin);
        sqlite3_bind_int64(insert, 23, import);
        if (sqlite3_step(insert) != SQLITE_DONE)
            fail();
        sqlite3_reset(insert);
    }
    if (sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
}
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
