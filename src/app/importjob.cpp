#include "app/importjob.h"

#include "importing/pointfile.h"
#include "results/keptresults.h"
#include "share/restoreclient.h"

#include <QFileInfo>
#include <QUrl>

namespace {

// Points read a call, and made rows: a few milliseconds of work, the turn's clock looked at
// between calls.
constexpr int PointsPerRead = 250;
// A turn's reading; what it read is then committed to the kept history in the same turn.
constexpr qint64 ReadingNanoseconds = 5'000'000;
// The record's rows learnt between two looks at the turn's clock: a fraction of a millisecond.
constexpr int LearntPerLook = 4096;
// A summary names this many of the skipped points' places, then says how many more.
constexpr int NamedSkips = 10;

QString places(const QList<qint64> &where, const QString &noun)
{
    QStringList named;
    for (qsizetype i = 0; i < where.size() && i < NamedSkips; ++i)
        named << QString::number(where[i]);
    QString text = QStringLiteral("%1 %2").arg(noun, named.join(QStringLiteral(", ")));
    if (where.size() > NamedSkips)
        text += QStringLiteral(" and %1 more").arg(where.size() - NamedSkips);
    return text;
}

} // namespace

ImportJob::ImportJob(ResultsList *table, KeptResults *kept, RestoreClient *client, QObject *parent)
    : QObject(parent),
      m_table(table),
      m_kept(kept),
      m_client(client),
      m_job([this] { fileTurn(); }, ReadingNanoseconds)
{
    // The server's points wait for the job's turns, which make them rows a slice at a time: a
    // month of them in one answer would hold the window.
    connect(m_client, &RestoreClient::pointsReady, this,
            [this](const QList<ImportedPoint> &points, int done, int total) {
                if (!m_busy)
                    return;
                m_pending.append(points);
                m_pointsCame += points.size();
                m_job.start();
                Q_EMIT progress(total > 0 ? int(qint64(done) * 100 / total) : -1,
                                QStringLiteral("%1 points read").arg(m_pointsCame));
            });
    connect(m_client, &RestoreClient::fetched, this, [this](const ImportSkips &skips, qint64) {
        if (!m_busy)
            return;
        m_fetched = true;
        m_skipped = skipTexts(skips, QStringLiteral("points"));
        m_job.start();
    });
    connect(m_client, &RestoreClient::failed, this, [this](const QString &why) {
        if (m_busy)
            fail(why);
    });
}

ImportJob::~ImportJob() = default;

QString ImportJob::countsText(qint64 added, qint64 repeats)
{
    return QStringLiteral("%1 new, %2 already in the record").arg(added).arg(repeats);
}

QStringList ImportJob::skipTexts(const ImportSkips &skips, const QString &where)
{
    QStringList texts;
    const auto told = [&](const QList<qint64> &list, const QString &what) {
        if (list.isEmpty())
            return;
        texts << QStringLiteral("%1 %2 %3 skipped: %4")
                     .arg(list.size())
                     .arg(list.size() == 1 ? QStringLiteral("point") : QStringLiteral("points"),
                          what
                              + (list.size() == 1 ? QStringLiteral(" was")
                                                  : QStringLiteral(" were")),
                          places(list, list.size() == 1 ? where.chopped(1) : where));
    };
    told(skips.withoutTime, QStringLiteral("without a time"));
    told(skips.outOfRange, QStringLiteral("with a place off the globe"));
    return texts;
}

bool ImportJob::begin()
{
    m_busy = true;
    m_staged.clear();
    m_stagedUpTo = 0;
    m_skipped.clear();
    m_made = std::make_unique<ImportedRows>(*m_table);
    try {
        m_kept->beginImport();
    } catch (const Failure &failure) {
        fail(failure.description());
        return false;
    }
    return true;
}

void ImportJob::stage()
{
    m_kept->stageImport(m_staged, m_stagedUpTo);
    m_stagedUpTo = m_staged.size();
}

void ImportJob::importFiles(const QStringList &paths)
{
    if (m_busy || !begin())
        return;
    m_files = paths;
    m_next = 0;
    m_bytesBefore = 0;
    m_bytesAll = 0;
    for (const QString &path : paths)
        m_bytesAll += QFileInfo(path).size();
    m_job.start();
}

void ImportJob::restore(const RestoreAddress &address)
{
    if (m_busy || !begin())
        return;
    m_restoring = true;
    m_job.start();
    m_client->setAddress(address);
    m_made->setOrigin(QUrl(address.base).host());
    Q_EMIT progress(-1, QStringLiteral("Asking the server…"));
    m_client->fetch();
}

bool ImportJob::openNextFile()
{
    if (m_reader) {
        const QStringList skipped = skipTexts(m_reader->skips(), QStringLiteral("lines"));
        for (const QString &text : skipped)
            m_skipped << (m_files.size() > 1 ? m_reader->fileName() + QStringLiteral(": ") + text
                                             : text);
        m_bytesBefore += m_reader->bytesTotal();
        m_reader.reset();
    }
    if (m_next >= m_files.size())
        return false;
    m_reader = openPointFile(m_files[m_next++]);
    m_made->setOrigin(m_reader->fileName());
    return true;
}

void ImportJob::fileTurn()
{
    try {
        // The last rows were committed in the turn before: joining the record is a turn's work
        // of its own.
        if (m_readAll) {
            // The places learnt go first, in a turn of their own.
            if (m_made) {
                m_repeats = m_made->repeats();
                m_made.reset();
                return;
            }
            complete(m_skipped);
            return;
        }
        // The places of the record's own rows come first, however many turns they take: a
        // point is told from them as it is taken. Points that come from the server before
        // they are all learnt learn the rest at once.
        while (!m_made->learn(LearntPerLook)) {
            if (m_job.turnIsOver())
                return;
        }
        if (m_restoring) {
            serverTurn();
            return;
        }
        bool over = false;
        QList<ImportedPoint> points;
        while (!over && !m_job.turnIsOver()) {
            if (!m_reader && !openNextFile()) {
                over = true;
                break;
            }
            points.clear();
            const bool more = m_reader->read(points, PointsPerRead);
            take(std::span(points.constData(), std::size_t(points.size())));
            over = !more && !openNextFile();
        }
        stage();
        if (over) {
            m_readAll = true;
            return;
        }
        const qint64 done = m_bytesBefore + (m_reader ? m_reader->bytesRead() : 0);
        Q_EMIT progress(
            m_bytesAll > 0 ? int(done * 100 / m_bytesAll) : -1,
            QStringLiteral("Reading %1").arg(m_reader ? m_reader->fileName() : QString()));
    } catch (const Failure &failure) {
        fail(failure.description());
    }
}

void ImportJob::serverTurn()
{
    while (m_pendingAt < m_pending.size() && !m_job.turnIsOver()) {
        const qsizetype count = std::min<qsizetype>(PointsPerRead, m_pending.size() - m_pendingAt);
        take(std::span(m_pending.constData() + m_pendingAt, std::size_t(count)));
        m_pendingAt += count;
    }
    stage();
    if (m_pendingAt < m_pending.size())
        return;
    m_pending.clear();
    m_pendingAt = 0;
    if (m_fetched)
        complete(m_skipped);
    else
        m_job.stop();
}

void ImportJob::take(std::span<const ImportedPoint> points)
{
    for (const ImportedPoint &point : points) {
        if (const std::optional<LogRecord> record = m_made->take(point))
            m_staged.append(m_table->importedRow(*record));
    }
}

void ImportJob::complete(const QStringList &skipped)
{
    const qint64 added = m_staged.size();
    const qint64 repeats = m_made ? m_made->repeats() : m_repeats;
    try {
        m_kept->finishImport(std::move(m_staged));
    } catch (const Failure &failure) {
        fail(failure.description());
        return;
    }
    end();
    QStringList lines {countsText(added, repeats)};
    lines << skipped;
    Q_EMIT progress(100, QString());
    Q_EMIT finished(true, lines.join(QLatin1Char('\n')));
}

void ImportJob::fail(const QString &why)
{
    end();
    Q_EMIT finished(false, why);
}

void ImportJob::cancel()
{
    if (!m_busy)
        return;
    m_client->cancel();
    fail(QStringLiteral("The import was cancelled; nothing was imported."));
}

void ImportJob::end()
{
    // Not finished: what came in so far goes again.
    m_kept->abandonImport();
    m_job.stop();
    m_client->cancel();
    m_reader.reset();
    m_staged.clear();
    m_made.reset();
    m_restoring = false;
    m_readAll = false;
    m_pending.clear();
    m_pendingAt = 0;
    m_pointsCame = 0;
    m_fetched = false;
    m_busy = false;
}
