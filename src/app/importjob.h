#pragma once

#include "app/importedrows.h"
#include "core/importedpoint.h"
#include "core/slicedjob.h"
#include "results/resultslist.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <span>

class KeptResults;
class PointReader;
class RestoreClient;
struct RestoreAddress;

// One import into the record, from track files or from the user's server: the points are read a
// slice per turn of the event loop (the window keeps answering), made rows as they come, and
// join the record all at once when the last has come, in one transaction. Cancelled, or failed
// anywhere (a file that is not what its name says, a server that refuses), nothing joins: the
// record is as it was.
class ImportJob : public QObject
{
    Q_OBJECT

public:
    ImportJob(ResultsList *table, KeptResults *kept, RestoreClient *client,
              QObject *parent = nullptr);
    ~ImportJob() override;

    void importFiles(const QStringList &paths);
    void restore(const RestoreAddress &address);
    // Ends the import at once; finished() says it was cancelled.
    void cancel();
    bool isBusy() const { return m_busy; }

    // The summary's first line: "4 new, 0 already in the record".
    static QString countsText(qint64 added, qint64 repeats);
    // "3 points without a time were skipped: lines 40, 77, 90"; where: "lines" or "points".
    static QStringList skipTexts(const ImportSkips &skips, const QString &where);

Q_SIGNALS:
    // How far the import is, 0 to 100, and what it reads.
    void progress(int percent, const QString &text);
    // ok: the summary; else why nothing was imported.
    void finished(bool ok, const QString &text);

private:
    // False when the import cannot start; finished() has said why.
    bool begin();
    // Commits the rows made since the last time to the kept history.
    void stage();
    void fileTurn();
    bool openNextFile();
    // Makes rows of the server's points that came, as many as the turn's time allows.
    void serverTurn();
    void take(std::span<const ImportedPoint> points);
    void complete(const QStringList &skipped);
    void fail(const QString &why);
    void end();

    ResultsList *m_table;
    KeptResults *m_kept;
    RestoreClient *m_client;
    SlicedJob m_job;
    bool m_busy = false;
    // From the user's server: the job's turns learn the record's places, and the points come
    // as the server sends them.
    bool m_restoring = false;
    bool m_readAll = false; // every file is read and its rows committed
    QList<ImportedPoint> m_pending; // from the server, not yet made rows from m_pendingAt on
    qsizetype m_pendingAt = 0;
    qint64 m_pointsCame = 0;
    bool m_fetched = false; // the server sent its last points
    qint64 m_repeats = 0; // the points already in the record, once the places learnt are gone
    QStringList m_files;
    int m_next = 0;
    std::unique_ptr<PointReader> m_reader;
    std::unique_ptr<ImportedRows> m_made;
    QList<ResultsListRow> m_staged;
    qsizetype m_stagedUpTo = 0; // the rows before this are in the kept history
    QStringList m_skipped;
    qint64 m_bytesBefore = 0; // of the files read before this one
    qint64 m_bytesAll = 0;
};
