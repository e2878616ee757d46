#include "core/failure.h"
#include "results/keptresults.h"
#include "results/resultslist.h"

#include <utility>

// Logs brought back from a file or a server: committed a slice at a time while they come, and
// joining the record at once.

void KeptResults::beginImport()
{
    // The rows coming back would be read again with these among them.
    if (isLoading())
        throw Failure(QStringLiteral("The kept results are still coming back. Try again once "
                                     "they are all in the table."));
    if (m_keeping && !m_store.isOpen() && m_mayResume)
        resume();
    m_import = m_keeping && m_store.isOpen() ? m_store.beginImport() : 0;
}

void KeptResults::stageImport(const QList<ResultsListRow> &rows, qsizetype from)
{
    if (m_import && from < rows.size())
        m_store.stageImport(m_import, rows, from);
}

void KeptResults::finishImport(QList<ResultsListRow> &&rows)
{
    const qint64 import = std::exchange(m_import, 0);
    if (import && (!m_store.isOpen() || !m_store.finishImport(import)))
        throw Failure(QStringLiteral("The kept results were cleared or started afresh while "
                                     "the import ran."));
    m_table->insertInTimeOrder(std::move(rows), import != 0);
}

void KeptResults::abandonImport()
{
    const qint64 import = std::exchange(m_import, 0);
    if (!import || !m_store.isOpen())
        return;
    try {
        m_store.abandonImport(import);
    } catch (const Failure &) {
        // Its rows were never to be read; the next opening drops them.
    }
}
