#include "results/historystore.h"

#include "core/failure.h"

#include <QDateTime>
#include <QDir>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

#include <sqlite3.h>

// Reading the kept rows back: the table's at start-up, a batch at a time, and every column of
// every row for checks of what was kept.

namespace {

// The instant as the file holds it: UTC text as written below. A million rows come back at
// start-up, so the one form this program writes is read by hand; any other text goes through
// Qt's reader. False for an empty or unreadable text.
bool storedInstantMs(const char *text, int length, qint64 &utcMs)
{
    const auto number = [text](int from, int digits) {
        int value = 0;
        for (int i = from; i < from + digits; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    if (length == 24 && text[4] == '-' && text[7] == '-' && text[10] == 'T' && text[13] == ':'
        && text[16] == ':' && text[19] == '.' && text[23] == 'Z') {
        const QDate date(number(0, 4), number(5, 2), number(8, 2));
        const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
        const int ms = number(20, 3);
        if (date.isValid() && hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0
            && second < 60 && ms >= 0) {
            const qint64 day = date.toJulianDay() - QDate(1970, 1, 1).toJulianDay();
            utcMs = ((day * 24 + hour) * 60 + minute) * 60'000 + second * 1000 + ms;
            return true;
        }
    }
    if (length == 0)
        return false;
    const QDateTime parsed
        = QDateTime::fromString(QString::fromLatin1(text, length), Qt::ISODateWithMs);
    if (!parsed.isValid())
        return false;
    utcMs = parsed.toMSecsSinceEpoch();
    return true;
}

QDateTime storedInstant(const char *text, int length, int offset)
{
    qint64 utcMs = 0;
    if (!storedInstantMs(text, length, utcMs))
        return {};
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::OffsetFromUTC, offset);
}

} // namespace

// The table's rows come back through SQLite's own interface: Qt's would wrap every cell of a
// million rows in a QVariant, and loading would take more than twice as long. Each row is built
// as the table keeps it, its cells one text, so that a row costs one allocation.
HistoryStore::Batch HistoryStore::readAfter(qint64 after, int limit)
{
    sqlite3 *connection = handle();
    const auto fail = [&]() -> Failure {
        const QString text = QStringLiteral("The kept history %1 cannot be read: %2.")
                                 .arg(QDir::toNativeSeparators(m_path),
                                      QString::fromUtf8(sqlite3_errmsg(connection)));
        const int code = sqlite3_errcode(connection);
        if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB)
            throw Damaged(text);
        return Failure(text);
    };
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(connection,
                           "SELECT id, time_text, country, region, city, postal_code, "
                           "coordinates, timezone, failure, ticked, instant_utc, utc_offset, "
                           "address_accuracy, wifi_latitude, wifi_longitude, wifi_accuracy, mark, "
                           "log, chosen, left_out, origin FROM rows WHERE id > ?1 "
                           "ORDER BY id LIMIT ?2",
                           -1, &statement, nullptr)
        != SQLITE_OK)
        throw fail();
    const auto done = qScopeGuard([statement] { sqlite3_finalize(statement); });
    sqlite3_bind_int64(statement, 1, after);
    sqlite3_bind_int(statement, 2, limit);
    const auto bytes = [statement](int column) {
        return QByteArrayView(
            reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
            sqlite3_column_bytes(statement, column));
    };
    Batch batch;
    batch.rows.reserve(limit);
    QByteArray joined; // the row's cells as the file holds them, UTF-8
    std::array<quint32, LogTable::ColumnCount - 1> byteEnds {};
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        ResultsListRow &row = batch.rows.emplace_back();
        batch.lastKey = sqlite3_column_int64(statement, 0);
        row.id = LogId {quint64(sqlite3_column_int64(statement, 17))};
        row.kept = true;
        joined.clear();
        for (int column = 0; column < LogTable::ColumnCount; ++column) {
            joined += bytes(1 + column);
            if (column < LogTable::Timezone)
                byteEnds[std::size_t(column)] = quint32(joined.size());
        }
        // Qt's decoder turns the whole row into text in one pass. Where every byte is a
        // character of its own (as in most rows) the cells end where their bytes do; else
        // each cell is decoded on its own.
        row.text = QString::fromUtf8(joined);
        if (row.text.size() == joined.size()) {
            row.ends = byteEnds;
        } else {
            row.text.clear();
            for (int column = 0; column < LogTable::ColumnCount; ++column) {
                row.text += QString::fromUtf8(bytes(1 + column));
                if (column < LogTable::Timezone)
                    row.ends[std::size_t(column)] = quint32(row.text.size());
            }
            row.text.squeeze();
        }
        const QByteArrayView failure = bytes(8);
        const double addressAccuracy = sqlite3_column_double(statement, 12);
        const bool hasWiFi = sqlite3_column_type(statement, 15) != SQLITE_NULL;
        const QByteArrayView mark = bytes(16);
        const QByteArrayView origin = bytes(20);
        if (!failure.isEmpty() || addressAccuracy > 0 || hasWiFi || !mark.isEmpty()
            || !origin.isEmpty()) {
            row.rare = new ResultsListRow::Rare;
            row.rare->failure = QString::fromUtf8(failure);
            row.rare->addressAccuracyMetres = addressAccuracy;
            if (hasWiFi)
                row.rare->wifi = Fix {sqlite3_column_double(statement, 13),
                                      sqlite3_column_double(statement, 14),
                                      sqlite3_column_double(statement, 15), Fix::Source::WiFi};
            row.rare->mark = QString::fromUtf8(mark);
            row.rare->origin = QString::fromUtf8(origin);
        }
        row.checked = sqlite3_column_int(statement, 9) != 0;
        row.chosen = FixChoice(std::clamp(sqlite3_column_int(statement, 18), 0, 2));
        row.leftOut = sqlite3_column_int(statement, 19) != 0;
        const QByteArrayView instant = bytes(10);
        if (storedInstantMs(instant.data(), int(instant.size()), row.utcMs))
            row.offsetSeconds = sqlite3_column_int(statement, 11);
    }
    if (step != SQLITE_DONE)
        throw fail();
    return batch;
}

QList<HistoryStore::Stored> HistoryStore::readAll()
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT instant_utc, utc_offset, time_text, country, region, "
                                   "city, postal_code, coordinates, timezone, failure, "
                                   "http_status, answer, ticked, address_accuracy, wifi_latitude, "
                                   "wifi_longitude, wifi_accuracy, mark, log, chosen, left_out, "
                                   "origin FROM rows WHERE import NOT IN (SELECT id FROM imports) "
                                   "ORDER BY id")))
        throw Failure(QStringLiteral("The kept history %1 cannot be read: %2.")
                          .arg(QDir::toNativeSeparators(m_path), query.lastError().text()));
    QList<Stored> rows;
    while (query.next()) {
        Stored &row = rows.emplace_back();
        const QByteArray instant = query.value(0).toString().toLatin1();
        row.record.instant
            = storedInstant(instant.constData(), int(instant.size()), query.value(1).toInt());
        row.record.timeText = query.value(2).toString();
        for (int cell = 0; cell < 6; ++cell)
            row.record.cells[std::size_t(cell)] = query.value(3 + cell).toString();
        row.record.failure = query.value(9).toString();
        row.record.httpStatus = query.value(10).toInt();
        row.record.answer = query.value(11).toByteArray();
        row.ticked = query.value(12).toInt() != 0;
        row.record.addressAccuracyMetres = query.value(13).toDouble();
        if (!query.value(16).isNull())
            row.record.wifi = Fix {query.value(14).toDouble(), query.value(15).toDouble(),
                                   query.value(16).toDouble(), Fix::Source::WiFi};
        row.record.mark = query.value(17).toString();
        row.record.id = LogId {query.value(18).toULongLong()};
        row.record.chosen = FixChoice(std::clamp(query.value(19).toInt(), 0, 2));
        row.record.leftOut = query.value(20).toInt() != 0;
        row.record.origin = query.value(21).toString();
    }
    return rows;
}

qint64 HistoryStore::count()
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral(
            "SELECT count(*) FROM rows WHERE import NOT IN (SELECT id FROM imports)")))
        fail(query.lastError());
    return query.next() ? query.value(0).toLongLong() : 0;
}

qint64 HistoryStore::lastKey()
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT max(id) FROM rows")))
        fail(query.lastError());
    return query.next() ? query.value(0).toLongLong() : 0;
}
