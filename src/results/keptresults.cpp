#include "results/keptresults.h"

#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/failure.h"
#include "results/resultslist.h"

#include <QDir>
#include <QFile>

namespace {

// Rows read from the history per batch: a batch takes under a millisecond, so that a turn ends
// close to its time.
constexpr int RowsPerBatch = 512;
// Longer turns than an export's: the window redraws the growing table between turns, and with a
// million rows coming back that redrawing would otherwise take much of the time. A turn still
// ends far inside what a user notices.
constexpr qint64 TurnNanoseconds = 14'000'000;

const QString Module = QStringLiteral("KeptResults");

} // namespace

KeptResults::KeptResults(ResultsList *table, Dialogs *dialogs, QObject *parent)
    : QObject(parent),
      m_table(table),
      m_dialogs(dialogs),
      m_path(HistoryStore::defaultPath()),
      m_loader([this] { loadTurn(); }, TurnNanoseconds)
{
    connect(table, &QAbstractItemModel::dataChanged, this, &KeptResults::saveTicks);
}

KeptResults::~KeptResults() = default;

void KeptResults::lose(int line, const Failure &failure, bool mayResume)
{
    m_mayResume = mayResume;
    m_loader.stop();
    m_store.close();
    // Once: a full disk would otherwise raise a box at every log.
    if (!m_reported)
        ErrorReport::report({Module, QStringLiteral("KeepRow"), line,
                             failure.description()
                                 + QStringLiteral(" Rows are kept in this window only until "
                                                  "Trovanel starts again.")});
    m_reported = true;
}

void KeptResults::tellMovedAside()
{
    m_dialogs->inform(QStringLiteral("The kept history was damaged. It was moved to %1 and "
                                     "a new one was started.")
                          .arg(QDir::toNativeSeparators(m_store.movedAside())));
}

// quietly: a try again after a failure already reported.
bool KeptResults::openStore(bool quietly)
{
    try {
        m_store.open(m_path);
    } catch (const HistoryStore::TooNew &failure) {
        lose(100, failure, false);
        return false;
    } catch (const Failure &failure) {
        if (quietly)
            m_store.close();
        else
            lose(100, failure, true);
        return false;
    }
    if (!m_store.movedAside().isEmpty())
        tellMovedAside();
    return true;
}

// The history could not be written before; if it can now, the rows logged meanwhile go in.
void KeptResults::resume()
{
    if (!openStore(true))
        return;
    try {
        keepTableRows(false);
    } catch (const Failure &) {
        // Still full, and said already.
        m_store.close();
        return;
    }
    Q_EMIT writableAgain();
}

// After damage met in use: the file goes aside and a fresh one keeps what the table holds. The
// rows not yet back from the damaged file stay in it, where the user is told it is.
bool KeptResults::startAfresh(int line)
{
    const bool wasLoading = isLoading();
    m_loader.stop();
    try {
        m_store.startAfresh();
        m_table->forgetKept();
        keepTableRows(true);
    } catch (const Failure &failure) {
        lose(line, failure, false);
        return false;
    }
    tellMovedAside();
    if (wasLoading)
        Q_EMIT loaded();
    return true;
}

void KeptResults::outboxDamaged()
{
    // As damage met keeping a row: each message is kept with its row.
    startAfresh(104);
}

void KeptResults::start(bool keep)
{
    m_keeping = keep;
    // A history kept for later, left open to others by an earlier version, is closed too.
    if (!keep)
        HistoryStore::keepPrivate(m_path);
    if (!keep || !openStore())
        return;
    m_loadedUpTo = 0;
    makeRoom();
    m_loader.start();
}

// Room for the rows coming back, so that the table does not move them all each time it grows.
void KeptResults::makeRoom()
{
    qint64 coming = 0;
    try {
        coming = m_store.lastKey();
    } catch (const Failure &) {
        return; // the rows come back all the same, only a little slower
    }
    m_table->reserve(m_table->rows() + coming);
}

void KeptResults::loadTurn()
{
    try {
        for (;;) {
            HistoryStore::Batch batch = m_store.readAfter(m_loadedUpTo, RowsPerBatch);
            const qsizetype count = batch.rows.size();
            if (count > 0)
                m_loadedUpTo = batch.lastKey;
            m_table->appendRows(std::move(batch.rows));
            if (count < RowsPerBatch) {
                m_loader.stop();
                // Rows come back in the order they were kept; logs brought back from a file may
                // have been kept after newer ones.
                m_table->sortByTime();
                Q_EMIT loaded();
                return;
            }
            if (m_loader.turnIsOver())
                return;
        }
    } catch (const HistoryStore::Damaged &) {
        startAfresh(102);
    } catch (const Failure &failure) {
        // Resuming would bring back rows after those that did not come back.
        lose(102, failure, false);
    }
}

bool KeptResults::keep(const LogRecord &record, const QByteArray &message)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            m_store.add(record, false, message);
            return true;
        } catch (const HistoryStore::Damaged &) {
            if (attempt > 0 || !startAfresh(104))
                return false;
        } catch (const Failure &failure) {
            lose(104, failure, true);
            return false;
        }
    }
    return false;
}

AppendedRow KeptResults::appendRecord(const LogRecord &given)
{
    // The row and its kept record go by one name.
    LogRecord named;
    if (!given.id) {
        named = given;
        named.id = LogId::next(QDateTime::currentMSecsSinceEpoch());
    }
    const LogRecord &record = given.id ? given : named;
    if (m_keeping && !m_store.isOpen() && m_mayResume)
        resume();
    const std::optional<QByteArray> message
        = m_messages.messageFor ? m_messages.messageFor(record) : std::nullopt;
    const bool kept = m_keeping && m_store.isOpen() && keep(record, message.value_or(QByteArray()));
    int row = -1;
    // Kept while the history comes back: the row shows in its place, after the older ones.
    if (kept && isLoading())
        m_hidden = record.id;
    else
        row = m_table->appendRecord(record, kept);
    if (message && m_messages.added)
        m_messages.added(record, *message, kept);
    return {row, record.id};
}

bool KeptResults::joinWiFiFix(LogId log, const Fix &fix)
{
    const int row = m_table->findRow(log);
    bool kept = false;
    if (row >= 0) {
        if (!m_table->joinWiFiFix(log, fix))
            return false;
        kept = m_table->isKept(row);
    } else {
        kept = log && log == m_hidden;
    }
    if (!kept || !m_keeping || !m_store.isOpen())
        return row >= 0;
    try {
        m_store.setWiFiFix(log, fix);
    } catch (const HistoryStore::Damaged &) {
        startAfresh(110);
    } catch (const Failure &failure) {
        lose(110, failure, true);
    }
    return true;
}

void KeptResults::saveTicks(const QModelIndex &from, const QModelIndex &to, const QList<int> &roles)
{
    // A history kept for later takes the ticks as they are when keeping starts again.
    if (!roles.contains(Qt::CheckStateRole) || !m_keeping)
        return;
    if (!m_store.isOpen()) {
        // Saved when the history can be written again.
        if (m_keeping && m_mayResume) {
            for (int row = from.row(); row <= to.row(); ++row) {
                if (m_table->isKept(row))
                    m_table->setTickUnsaved(row);
            }
        }
        return;
    }
    try {
        for (int row = from.row(); row <= to.row(); ++row) {
            if (m_table->isKept(row))
                m_store.setTicked(m_table->id(row), m_table->isChecked(row));
        }
    } catch (const HistoryStore::Damaged &) {
        startAfresh(106);
    } catch (const Failure &failure) {
        lose(106, failure, true);
        for (int row = from.row(); row <= to.row(); ++row)
            m_table->setTickUnsaved(row);
    }
}

// The rows already in the table go into the history, ticks and all; rows it held already (kept
// for later when the box was cleared) take the ticks they have now.
void KeptResults::keepTableRows(bool allTicks)
{
    QList<LogRecord> records;
    QList<bool> ticked, keptTicked;
    QList<int> rows;
    QList<LogId> keptLogs;
    for (int row = 0; row < m_table->rows(); ++row) {
        if (m_table->isKept(row)) {
            if (allTicks || m_table->isTickUnsaved(row)) {
                keptLogs.append(m_table->id(row));
                keptTicked.append(m_table->isChecked(row));
            }
            continue;
        }
        records.append(m_table->record(row));
        ticked.append(m_table->isChecked(row));
        rows.append(row);
    }
    m_store.setTicked(keptLogs, keptTicked);
    m_store.addAll(records, ticked);
    for (const int row : std::as_const(rows))
        m_table->setKept(row);
    m_table->setTicksSaved();
}

void KeptResults::setKeeping(bool keep)
{
    if (keep == m_keeping)
        return;
    m_keeping = keep;
    if (keep) {
        m_reported = false;
        if (!openStore())
            return;
        try {
            const bool earlier = m_store.count() > 0;
            keepTableRows(true);
            if (earlier) {
                // Rows kept in an earlier run come first, as they were logged first.
                m_table->clear();
                m_loadedUpTo = 0;
                makeRoom();
                m_loader.start();
            }
        } catch (const HistoryStore::Damaged &) {
            startAfresh(108);
        } catch (const Failure &failure) {
            lose(108, failure, true);
        }
        return;
    }
    m_loader.stop();
    if (!m_store.isOpen())
        return;
    const bool remove = m_dialogs->askYesNo(
        QStringLiteral("Delete the kept history? Yes deletes the rows kept on disk; No keeps them "
                       "for the next time \"Keep results between runs\" is ticked."));
    if (remove) {
        Q_EMIT deleting();
        m_store.close();
        m_table->forgetKept();
        for (const char *suffix : {"", "-wal", "-shm"}) {
            const QString file = m_path + QLatin1String(suffix);
            if (QFile::exists(file) && !QFile::remove(file))
                ErrorReport::report({Module, QStringLiteral("setKeeping"), 110,
                                     QStringLiteral("The kept history %1 cannot be deleted.")
                                         .arg(QDir::toNativeSeparators(file))});
        }
    }
}

void KeptResults::clearResults()
{
    if (m_keeping && m_store.isOpen()) {
        // While rows still come back, the history holds more than the table shows.
        qint64 rows = m_table->rows();
        if (isLoading()) {
            try {
                rows = m_store.count();
            } catch (const Failure &) {
                // Asked with what the table shows; clearing reports the failure if it persists.
            }
        }
        if (rows == 0)
            return;
        if (!m_dialogs->askYesNo(
                (rows == 1
                     ? QStringLiteral("Clear 1 row from the table and from the kept history?")
                     : QStringLiteral("Clear %1 rows from the table and from the kept history?")
                           .arg(rows))))
            return;
        m_loader.stop();
        try {
            m_store.removeAll();
        } catch (const HistoryStore::Damaged &) {
            // The damaged file goes aside and a fresh one starts, as empty as the table.
            m_table->clear();
            startAfresh(112);
            return;
        } catch (const Failure &failure) {
            // Trying again later would keep rows the user cleared.
            lose(112, failure, false);
        }
    }
    m_table->clear();
}
