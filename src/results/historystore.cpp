#include "results/historystore.h"

#include "core/failure.h"
#include "core/xdgfolders.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

namespace {

// SQLite's own codes for a file that is not a database, or one whose pages are damaged.
const QString NotADatabaseCode = QStringLiteral("26");
const QString DamagedCode = QStringLiteral("11");

const char Schema[] = "CREATE TABLE rows ("
                      "id INTEGER PRIMARY KEY,"
                      "instant_utc TEXT NOT NULL,"
                      "utc_offset INTEGER NOT NULL,"
                      "time_text TEXT NOT NULL,"
                      "country TEXT NOT NULL,"
                      "region TEXT NOT NULL,"
                      "city TEXT NOT NULL,"
                      "postal_code TEXT NOT NULL,"
                      "coordinates TEXT NOT NULL,"
                      "timezone TEXT NOT NULL,"
                      "failure TEXT NOT NULL,"
                      "http_status INTEGER NOT NULL,"
                      "answer BLOB NOT NULL,"
                      "ticked INTEGER NOT NULL)";

const char Insert[] = "INSERT INTO rows (instant_utc, utc_offset, time_text, country, region, "
                      "city, postal_code, coordinates, timezone, failure, http_status, answer, "
                      "ticked) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)";

class StoreError : public Failure
{
public:
    StoreError(const QString &path, const QSqlError &error)
        : Failure(QStringLiteral("The kept history %1 cannot be used: %2.")
                      .arg(QDir::toNativeSeparators(path), error.text())),
          code(error.nativeErrorCode())
    { }
    QString code;
};

// Damage met after opening is a failure of its own, so that the file can be moved aside.
[[noreturn]] void raise(const QString &path, const QSqlError &error)
{
    if (error.nativeErrorCode() == DamagedCode || error.nativeErrorCode() == NotADatabaseCode)
        throw HistoryStore::Damaged(QStringLiteral("The kept history %1 is damaged: %2.")
                                        .arg(QDir::toNativeSeparators(path), error.text()));
    throw StoreError(path, error);
}

QSqlQuery run(const QSqlDatabase &db, const QString &path, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw StoreError(path, query.lastError());
    return query;
}

// A null text would be stored as NULL; every text column holds text, if only an empty one.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

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

void bindRecord(QSqlQuery &query, const LogRecord &record, bool ticked)
{
    // A row whose moment is not known (made a cell at a time) keeps an empty instant.
    const QDateTime &instant = record.instant;
    query.addBindValue(
        text(instant.isValid() ? instant.toUTC().toString(Qt::ISODateWithMs) : QString()));
    query.addBindValue(instant.isValid() ? instant.offsetFromUtc() : 0);
    query.addBindValue(text(record.timeText));
    for (const QString &cell : record.cells)
        query.addBindValue(text(cell));
    query.addBindValue(text(record.failure));
    query.addBindValue(record.httpStatus);
    const QByteArray answer = record.answer.left(HistoryStore::MaxAnswerBytes);
    query.addBindValue(answer.isNull() ? QByteArray("") : answer);
    query.addBindValue(ticked ? 1 : 0);
}

// A name beside the file that nothing has yet: the damaged file is never written over.
QString asideName(const QString &path)
{
    const QString stamp
        = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = path + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    return candidate;
}

} // namespace

HistoryStore::HistoryStore()
{
    static QAtomicInt serial;
    m_connection = QStringLiteral("trovanel-history-%1").arg(serial.fetchAndAddRelaxed(1));
}

HistoryStore::~HistoryStore()
{
    close();
}

QString HistoryStore::defaultPath()
{
    return Xdg::dataHome() + QStringLiteral("/Brenvatic/Trovanel/history.sqlite");
}

void HistoryStore::open(const QString &path)
{
    close();
    m_path = path;
    m_movedAside.clear();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw Failure(QStringLiteral("The folder %1 for the kept history cannot be made.")
                          .arg(QDir::toNativeSeparators(folder)));
    try {
        prepare();
    } catch (const StoreError &error) {
        close();
        if (error.code != NotADatabaseCode && error.code != DamagedCode)
            throw;
        moveAside();
        prepare();
    }
}

void HistoryStore::prepare()
{
    int found = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_path);
        if (!db.open())
            throw StoreError(m_path, db.lastError());
        m_open = true;
        // The version is read before anything is written: a newer program's file stays as it is.
        QSqlQuery version = run(db, m_path, QStringLiteral("PRAGMA user_version"));
        found = version.next() ? version.value(0).toInt() : 0;
    }
    if (found > Version) {
        close();
        throw TooNew(QStringLiteral("The kept history %1 was written by a newer version of "
                                    "Trovanel and is left as it is. Rows are kept in this "
                                    "window only until you update Trovanel.")
                         .arg(QDir::toNativeSeparators(m_path)));
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    run(db, m_path, QStringLiteral("PRAGMA journal_mode=WAL"));
    run(db, m_path, QStringLiteral("PRAGMA synchronous=FULL"));
    if (found == 0) {
        db.transaction();
        run(db, m_path, QString::fromLatin1(Schema));
        run(db, m_path, QStringLiteral("PRAGMA user_version=%1").arg(Version));
        if (!db.commit())
            throw StoreError(m_path, db.lastError());
    }
}

void HistoryStore::moveAside()
{
    const QString aside = asideName(m_path);
    if (!QFile::rename(m_path, aside))
        throw Failure(QStringLiteral("The kept history %1 is damaged and cannot be moved aside.")
                          .arg(QDir::toNativeSeparators(m_path)));
    // Its journal belongs with it.
    for (const char *suffix : {"-wal", "-shm"}) {
        const QString companion = m_path + QLatin1String(suffix);
        if (QFileInfo::exists(companion))
            QFile::rename(companion, aside + QLatin1String(suffix));
    }
    m_movedAside = aside;
}

void HistoryStore::startAfresh()
{
    close();
    m_movedAside.clear();
    moveAside();
    prepare();
}

void HistoryStore::close()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_open = false;
}

qint64 HistoryStore::add(const LogRecord &record, bool ticked)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    query.prepare(QString::fromLatin1(Insert));
    bindRecord(query, record, ticked);
    if (!query.exec())
        raise(m_path, query.lastError());
    return query.lastInsertId().toLongLong();
}

QList<qint64> HistoryStore::addAll(const QList<LogRecord> &records, const QList<bool> &ticked)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QList<qint64> keys;
    if (!db.transaction())
        raise(m_path, db.lastError());
    QSqlQuery query(db);
    query.prepare(QString::fromLatin1(Insert));
    for (qsizetype i = 0; i < records.size(); ++i) {
        bindRecord(query, records[i], i < ticked.size() && ticked[i]);
        if (!query.exec()) {
            const QSqlError error = query.lastError();
            db.rollback();
            raise(m_path, error);
        }
        keys.append(query.lastInsertId().toLongLong());
    }
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        raise(m_path, error);
    }
    return keys;
}

void HistoryStore::setTicked(qint64 key, bool ticked)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("UPDATE rows SET ticked = ? WHERE id = ?"));
    query.addBindValue(ticked ? 1 : 0);
    query.addBindValue(key);
    if (!query.exec())
        raise(m_path, query.lastError());
}

void HistoryStore::setTicked(const QList<qint64> &keys, const QList<bool> &ticked)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        raise(m_path, db.lastError());
    try {
        for (qsizetype i = 0; i < keys.size(); ++i)
            setTicked(keys[i], ticked.value(i));
    } catch (const Failure &) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        raise(m_path, error);
    }
}

void HistoryStore::removeAll()
{
    run(QSqlDatabase::database(m_connection, false), m_path, QStringLiteral("DELETE FROM rows"));
}

qint64 HistoryStore::count()
{
    QSqlQuery query = run(QSqlDatabase::database(m_connection, false), m_path,
                          QStringLiteral("SELECT count(*) FROM rows"));
    return query.next() ? query.value(0).toLongLong() : 0;
}

qint64 HistoryStore::lastKey()
{
    QSqlQuery query = run(QSqlDatabase::database(m_connection, false), m_path,
                          QStringLiteral("SELECT max(id) FROM rows"));
    return query.next() ? query.value(0).toLongLong() : 0;
}

// The table's rows come back through SQLite's own interface: Qt's would wrap every cell of a
// million rows in a QVariant, and loading would take more than twice as long. Each row is built
// as the table keeps it, its cells one text, so that a row costs one allocation.
HistoryStore::Batch HistoryStore::readAfter(qint64 after, int limit)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const QVariant handle = db.driver()->handle();
    sqlite3 *connection = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
        ? *static_cast<sqlite3 *const *>(handle.constData())
        : nullptr;
    if (!connection)
        throw Failure(QStringLiteral("The kept history %1 is not open.")
                          .arg(QDir::toNativeSeparators(m_path)));
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
                           "coordinates, timezone, failure, ticked, instant_utc, utc_offset "
                           "FROM rows WHERE id > ?1 "
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
    batch.keys.reserve(limit);
    QByteArray joined; // the row's cells as the file holds them, UTF-8
    std::array<quint32, LogTable::ColumnCount> byteEnds {};
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        ResultsListRow &row = batch.rows.emplace_back();
        batch.keys.append(sqlite3_column_int64(statement, 0));
        joined.clear();
        for (int column = 0; column < LogTable::ColumnCount; ++column) {
            joined += bytes(1 + column);
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
                row.ends[std::size_t(column)] = quint32(row.text.size());
            }
            row.text.squeeze();
        }
        if (const QByteArrayView failure = bytes(8); !failure.isEmpty())
            batch.failures.insert(batch.rows.size() - 1, QString::fromUtf8(failure));
        row.checked = sqlite3_column_int(statement, 9) != 0;
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
    QSqlQuery query = run(QSqlDatabase::database(m_connection, false), m_path,
                          QStringLiteral("SELECT instant_utc, utc_offset, time_text, country, "
                                         "region, city, postal_code, coordinates, timezone, "
                                         "failure, http_status, answer, ticked FROM rows "
                                         "ORDER BY id"));
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
    }
    return rows;
}
