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
                      "mark TEXT NOT NULL DEFAULT '',"
                      "log INTEGER NOT NULL,"
                      "chosen INTEGER NOT NULL DEFAULT 0,"
                      "left_out INTEGER NOT NULL DEFAULT 0,"
                      "origin TEXT NOT NULL DEFAULT '',"
                      "import INTEGER NOT NULL DEFAULT 0)";

// A file of an older layout is brought up to this one, each step applied to the files below its
// version. SQLite adds columns without rewriting a row.
const struct
{
    int below;
    const char *statement;
} Upgrades[] = {
    // Each row's fixes: rows of the first layout read as logged without a radius or a Wi-Fi fix.
    {2, "ALTER TABLE rows ADD COLUMN address_accuracy REAL NOT NULL DEFAULT 0"},
    {2, "ALTER TABLE rows ADD COLUMN wifi_latitude REAL"},
    {2, "ALTER TABLE rows ADD COLUMN wifi_longitude REAL"},
    {2, "ALTER TABLE rows ADD COLUMN wifi_accuracy REAL"},
    {2, "ALTER TABLE rows ADD COLUMN mark TEXT NOT NULL DEFAULT ''"},
    // Rows kept before rows named their logs take their own key as their log's id (LogId).
    {3, "ALTER TABLE rows ADD COLUMN log INTEGER NOT NULL DEFAULT 0"},
    {3, "UPDATE rows SET log = id"},
    // The user's corrections: rows kept before read as uncorrected.
    {4, "ALTER TABLE rows ADD COLUMN chosen INTEGER NOT NULL DEFAULT 0"},
    {4, "ALTER TABLE rows ADD COLUMN left_out INTEGER NOT NULL DEFAULT 0"},
    // Where a log came from when not from the laptop's schedule: rows kept before say nothing.
    {4, "ALTER TABLE rows ADD COLUMN origin TEXT NOT NULL DEFAULT ''"},
    // Rows of an import still coming in (HistoryStore::beginImport): none before.
    {4, "ALTER TABLE rows ADD COLUMN import INTEGER NOT NULL DEFAULT 0"},
};

const char Insert[] = "INSERT INTO rows (instant_utc, utc_offset, time_text, country, region, "
                      "city, postal_code, coordinates, timezone, failure, http_status, answer, "
                      "ticked, address_accuracy, wifi_latitude, wifi_longitude, wifi_accuracy, "
                      "mark, log, chosen, left_out, origin, import) "
                      "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

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

// A record that names no log (made a cell at a time) is named as it is kept.
LogId bindRecord(QSqlQuery &query, const LogRecord &record, bool ticked, qint64 import = 0)
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
    const LogId log = record.id ? record.id : LogId::next(QDateTime::currentMSecsSinceEpoch());
    query.addBindValue(log.value);
    query.addBindValue(int(record.chosen));
    query.addBindValue(record.leftOut ? 1 : 0);
    query.addBindValue(text(record.origin.isEmpty() && record.askedBy == Asker::Server
                                ? ResultsListRow::Rare::askedByServer()
                                : record.origin));
    query.addBindValue(import);
    return log;
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
        startAfresh();
    } catch (const Damaged &) {
        // Met while the outbox's order was made.
        startAfresh();
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
    // One transaction: a new file is written once, and one on a full disk not at all.
    db.transaction();
    if (found == 0)
        run(db, m_path, QString::fromLatin1(Schema));
    for (const auto &step : Upgrades) {
        if (found > 0 && found < step.below)
            run(db, m_path, QString::fromLatin1(step.statement));
    }
    prepareOutbox();
    prepareImports();
    // A log's row is found at once however many there are.
    run(db, m_path, QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS rows_log ON rows(log)"));
    if (found < Version)
        run(db, m_path, QStringLiteral("PRAGMA user_version=%1").arg(Version));
    if (!db.commit())
        throw StoreError(m_path, db.lastError());
    // A run that logged faster than its clock named logs ahead of it: the next is past them.
    // Damage met here is left for the rows' reading, which moves the file aside after what can
    // still be read has come back.
    QSqlQuery last(db);
    if (last.exec(QStringLiteral("SELECT max(log) FROM rows")) && last.next())
        LogId::seen({quint64(last.value(0).toLongLong())});
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

void HistoryStore::close()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_open = false;
    m_outboxCount = -1;
}

void HistoryStore::fail(const QSqlError &error) const
{
    raise(m_path, error);
}

LogId HistoryStore::add(const LogRecord &record, bool ticked, const QByteArray &shareMessage)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // A row and the message that shares it are kept together or not at all.
    const bool shared = !shareMessage.isEmpty();
    if (shared && !db.transaction())
        raise(m_path, db.lastError());
    const auto fail = [&](const QSqlError &error) {
        if (shared)
            db.rollback();
        raise(m_path, error);
    };
    QSqlQuery query(db);
    query.prepare(QString::fromLatin1(Insert));
    const LogId log = bindRecord(query, record, ticked);
    if (!query.exec())
        fail(query.lastError());
    if (shared) {
        QSqlQuery message(db);
        message.prepare(QStringLiteral("INSERT INTO outbox (log, tst, body) VALUES (?, ?, ?)"));
        message.addBindValue(log.value);
        message.addBindValue(record.instant.toSecsSinceEpoch());
        message.addBindValue(shareMessage);
        if (!message.exec())
            fail(message.lastError());
        if (!db.commit())
            fail(db.lastError());
        if (m_outboxCount >= 0)
            ++m_outboxCount;
    }
    return log;
}

void HistoryStore::addAll(const QList<LogRecord> &records, const QList<bool> &ticked)
{
    insertAll(records.size(), [&](qsizetype i, QSqlQuery &query) {
        bindRecord(query, records[i], i < ticked.size() && ticked[i]);
    });
}

void HistoryStore::insertAll(qsizetype count,
                             const std::function<void(qsizetype, QSqlQuery &)> &bind)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        raise(m_path, db.lastError());
    QSqlQuery query(db);
    query.prepare(QString::fromLatin1(Insert));
    for (qsizetype i = 0; i < count; ++i) {
        bind(i, query);
        if (!query.exec()) {
            const QSqlError error = query.lastError();
            db.rollback();
            raise(m_path, error);
        }
    }
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        raise(m_path, error);
    }
}
