#include "results/historystore.h"

#include "core/failure.h"
#include "core/privatefiles.h"
#include "core/xdgfolders.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

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
                      "ticked INTEGER NOT NULL,"
                      "address_accuracy REAL NOT NULL DEFAULT 0,"
                      "wifi_latitude REAL,"
                      "wifi_longitude REAL,"
                      "wifi_accuracy REAL,"
                      "mark TEXT NOT NULL DEFAULT '')";

// The messages that share rows with the user's location server, until the server has them.
const char OutboxSchema[] = "CREATE TABLE outbox ("
                            "id INTEGER PRIMARY KEY,"
                            "tst INTEGER NOT NULL,"
                            "body BLOB NOT NULL)";

// A file of the first layout gains the columns of each row's fixes. SQLite adds them without
// rewriting a row, and its rows read as logged without a radius or a Wi-Fi fix.
const char *const UpgradeFromFirst[] = {
    "ALTER TABLE rows ADD COLUMN address_accuracy REAL NOT NULL DEFAULT 0",
    "ALTER TABLE rows ADD COLUMN wifi_latitude REAL",
    "ALTER TABLE rows ADD COLUMN wifi_longitude REAL",
    "ALTER TABLE rows ADD COLUMN wifi_accuracy REAL",
    "ALTER TABLE rows ADD COLUMN mark TEXT NOT NULL DEFAULT ''",
};

const char Insert[] = "INSERT INTO rows (instant_utc, utc_offset, time_text, country, region, "
                      "city, postal_code, coordinates, timezone, failure, http_status, answer, "
                      "ticked, address_accuracy, wifi_latitude, wifi_longitude, wifi_accuracy, "
                      "mark) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

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

// The same, once the history is open: damage met then goes aside like damage met reading.
QSqlQuery use(const QSqlDatabase &db, const QString &path, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        raise(path, query.lastError());
    return query;
}

// A null text would be stored as NULL; every text column holds text, if only an empty one.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
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
    query.addBindValue(record.addressAccuracyMetres);
    const std::optional<Fix> &wifi = record.wifi;
    query.addBindValue(wifi ? QVariant(wifi->latitude) : QVariant(QMetaType(QMetaType::Double)));
    query.addBindValue(wifi ? QVariant(wifi->longitude) : QVariant(QMetaType(QMetaType::Double)));
    query.addBindValue(wifi ? QVariant(wifi->accuracyMetres)
                            : QVariant(QMetaType(QMetaType::Double)));
    query.addBindValue(text(record.mark));
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

// The folder the program's own folders begin below: the data folder for the history in its
// place; a history kept elsewhere (tests, benchmarks) owns only the folder it is in.
QString baseFor(const QString &folder)
{
    const QString data = QDir::cleanPath(Xdg::dataHome());
    return folder.startsWith(data + QLatin1Char('/')) ? data : QFileInfo(folder).absolutePath();
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

void HistoryStore::keepPrivate(const QString &path)
{
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    QStringList files;
    const QStringList names
        = QDir(folder).entryList({file.fileName() + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QString &name : names)
        files << folder + QLatin1Char('/') + name;
    PrivateFiles::tighten(baseFor(folder), folder, files);
}

void HistoryStore::open(const QString &path)
{
    close();
    m_path = path;
    m_movedAside.clear();
    const QString folder = QFileInfo(path).absolutePath();
    if (!PrivateFiles::makeFolders(baseFor(folder), folder))
        throw Failure(QStringLiteral("The folder %1 for the kept history cannot be made.")
                          .arg(QDir::toNativeSeparators(folder)));
    keepPrivate(path);
    try {
        prepare();
    } catch (const StoreError &error) {
        close();
        if (error.code != NotADatabaseCode && error.code != DamagedCode)
            throw;
        moveAside();
        prepare();
        carryOutbox();
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
    // SQLite made a new file as the umask says; its journal files will take the file's mode.
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    run(db, m_path, QStringLiteral("PRAGMA journal_mode=WAL"));
    run(db, m_path, QStringLiteral("PRAGMA synchronous=FULL"));
    if (found < Version) {
        db.transaction();
        if (found == 0) {
            run(db, m_path, QString::fromLatin1(Schema));
        } else {
            for (const char *step : UpgradeFromFirst)
                run(db, m_path, QString::fromLatin1(step));
        }
        run(db, m_path, QString::fromLatin1(OutboxSchema));
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
    carryOutbox();
}

void HistoryStore::carryOutbox()
{
    // Read only: the file aside stays byte for byte as the damage left it.
    const QString name = m_connection + QStringLiteral("-aside");
    QList<Outgoing> waiting;
    {
        QSqlDatabase aside = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        aside.setDatabaseName(m_movedAside);
        aside.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (aside.open()) {
            QSqlQuery query(aside);
            if (query.exec(QStringLiteral("SELECT id, tst, body FROM outbox"))) {
                while (query.next())
                    waiting.append({query.value(0).toLongLong(), query.value(1).toLongLong(),
                                    query.value(2).toByteArray()});
            }
        }
        aside.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (waiting.isEmpty())
        return;
    // Under their own numbers: a message on its way to the server is taken out when it arrives.
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT OR IGNORE INTO outbox (id, tst, body) VALUES (?, ?, ?)"));
    for (const Outgoing &message : std::as_const(waiting)) {
        insert.addBindValue(message.id);
        insert.addBindValue(message.tst);
        insert.addBindValue(message.body);
        insert.exec();
    }
    db.commit();
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
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // A row and the message that shares it are kept together or not at all.
    const bool shared = !record.shareMessage.isEmpty();
    if (shared && !db.transaction())
        raise(m_path, db.lastError());
    const auto fail = [&](const QSqlError &error) {
        if (shared)
            db.rollback();
        raise(m_path, error);
    };
    QSqlQuery query(db);
    query.prepare(QString::fromLatin1(Insert));
    bindRecord(query, record, ticked);
    if (!query.exec())
        fail(query.lastError());
    const qint64 key = query.lastInsertId().toLongLong();
    if (shared) {
        QSqlQuery message(db);
        message.prepare(QStringLiteral("INSERT INTO outbox (tst, body) VALUES (?, ?)"));
        message.addBindValue(record.instant.toSecsSinceEpoch());
        message.addBindValue(record.shareMessage);
        if (!message.exec())
            fail(message.lastError());
        if (!db.commit())
            fail(db.lastError());
    }
    return key;
}

QList<HistoryStore::Outgoing> HistoryStore::outbox(int limit)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT id, tst, body FROM outbox ORDER BY tst, id LIMIT ?"));
    query.addBindValue(limit);
    if (!query.exec())
        raise(m_path, query.lastError());
    QList<Outgoing> messages;
    while (query.next())
        messages.append({query.value(0).toLongLong(), query.value(1).toLongLong(),
                         query.value(2).toByteArray()});
    return messages;
}

qint64 HistoryStore::addToOutbox(qint64 tst, const QByteArray &body)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("INSERT INTO outbox (tst, body) VALUES (?, ?)"));
    query.addBindValue(tst);
    query.addBindValue(body);
    if (!query.exec())
        raise(m_path, query.lastError());
    return query.lastInsertId().toLongLong();
}

void HistoryStore::removeFromOutbox(qint64 id)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("DELETE FROM outbox WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        raise(m_path, query.lastError());
}

bool HistoryStore::replaceInOutbox(const QByteArray &was, const QByteArray &now)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("UPDATE outbox SET body = ? WHERE body = ?"));
    query.addBindValue(now);
    query.addBindValue(was);
    if (!query.exec())
        raise(m_path, query.lastError());
    return query.numRowsAffected() > 0;
}

qint64 HistoryStore::outboxCount()
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT count(*) FROM outbox")) || !query.next())
        raise(m_path, query.lastError());
    return query.value(0).toLongLong();
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

void HistoryStore::setWiFiFix(qint64 key, const Fix &fix)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral(
        "UPDATE rows SET wifi_latitude = ?, wifi_longitude = ?, wifi_accuracy = ? WHERE id = ?"));
    query.addBindValue(fix.latitude);
    query.addBindValue(fix.longitude);
    query.addBindValue(fix.accuracyMetres);
    query.addBindValue(key);
    if (!query.exec())
        raise(m_path, query.lastError());
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
    use(QSqlDatabase::database(m_connection, false), m_path, QStringLiteral("DELETE FROM rows"));
}

qint64 HistoryStore::count()
{
    QSqlQuery query = use(QSqlDatabase::database(m_connection, false), m_path,
                          QStringLiteral("SELECT count(*) FROM rows"));
    return query.next() ? query.value(0).toLongLong() : 0;
}

qint64 HistoryStore::lastKey()
{
    QSqlQuery query = use(QSqlDatabase::database(m_connection, false), m_path,
                          QStringLiteral("SELECT max(id) FROM rows"));
    return query.next() ? query.value(0).toLongLong() : 0;
}

// Moving messages between the file and memory.

namespace {

// All that body writes, or nothing.
template<class Body> void inOneTransaction(QSqlDatabase &db, const QString &path, Body body)
{
    if (!db.transaction())
        raise(path, db.lastError());
    try {
        body();
    } catch (const Failure &) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        raise(path, error);
    }
}

} // namespace

void HistoryStore::addAllToOutbox(const QList<Outgoing> &messages)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    inOneTransaction(db, m_path, [&] {
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO outbox (tst, body) VALUES (?, ?)"));
        for (const Outgoing &message : messages) {
            insert.addBindValue(message.tst);
            insert.addBindValue(message.body);
            if (!insert.exec())
                raise(m_path, insert.lastError());
        }
    });
}

void HistoryStore::removeFromOutbox(const QList<qint64> &ids)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    inOneTransaction(db, m_path, [&] {
        for (const qint64 id : ids)
            removeFromOutbox(id);
    });
}
