#include "results/rowcorrections.h"

#include "core/errorreport.h"
#include "core/failure.h"
#include "results/keptresults.h"

RowCorrections::RowCorrections(ResultsList *table, KeptResults *kept, QObject *parent)
    : QObject(parent), m_table(table), m_kept(kept)
{ }

RowCorrections::~RowCorrections() = default;

QList<LogId> RowCorrections::keptLogs(const QList<int> &rows) const
{
    QList<LogId> logs;
    if (!m_kept->store().isOpen())
        return logs;
    for (const int row : rows) {
        if (m_table->isKept(row))
            logs.append(m_table->id(row));
    }
    return logs;
}

bool RowCorrections::inHistory(const QString &procedure, const std::function<void()> &work)
{
    try {
        work();
        return true;
    } catch (const Failure &failure) {
        ErrorReport::report(
            {QStringLiteral("RowCorrections"), procedure, 100,
             failure.description() + QStringLiteral(" The rows are left as they were.")});
        return false;
    }
}

bool RowCorrections::remove(const QList<int> &rows)
{
    if (rows.isEmpty())
        return false;
    const QList<LogId> logs = keptLogs(rows);
    if (!logs.isEmpty()
        && !inHistory(QStringLiteral("Remove"), [&] { m_kept->store().remove(logs); }))
        return false;
    m_takenFromHistory = !logs.isEmpty();
    m_taken = m_table->take(rows);
    if (m_removed) {
        QList<LogId> gone;
        for (const ResultsListRow &row : std::as_const(m_taken.held))
            gone.append(row.id);
        m_removed(gone);
    }
    Q_EMIT undoChanged(true);
    return true;
}

bool RowCorrections::undoRemove()
{
    if (m_taken.held.isEmpty())
        return false;
    HistoryStore &store = m_kept->store();
    // The rows come back in their places with all the history held of them; where the history
    // was opened afresh since, they are kept again as the table has them.
    const bool inStore = m_takenFromHistory && store.isOpen();
    const bool asTheyWere = inStore && store.canPutBack();
    if (asTheyWere && !inHistory(QStringLiteral("UndoRemove"), [&] { store.putBack(); }))
        return false;
    QList<LogId> keptAgain;
    for (ResultsListRow &row : m_taken.held) {
        if (row.kept)
            keptAgain.append(row.id);
        // Gone from a history that is closed (or deleted) since: kept again when it can be.
        if (m_takenFromHistory && !inStore)
            row.kept = false;
    }
    m_table->putBack(std::exchange(m_taken, {}));
    if (inStore && !asTheyWere) {
        QList<LogRecord> records;
        QList<bool> ticked;
        for (const LogId log : std::as_const(keptAgain)) {
            const int row = m_table->findRow(log);
            records.append(m_table->record(row));
            ticked.append(m_table->isChecked(row));
        }
        inHistory(QStringLiteral("UndoRemove"), [&] { store.addAll(records, ticked); });
    }
    Q_EMIT undoChanged(false);
    return true;
}

bool RowCorrections::canChoose(int row, FixChoice choice) const
{
    const RowFixes fixes = m_table->fixes(row);
    if (!fixes.address() || !fixes.wifi() || !m_table->failure(row).isEmpty())
        return false;
    return m_table->chosen(row) != choice;
}

bool RowCorrections::choose(const QList<int> &rows, FixChoice choice)
{
    QList<int> changing;
    for (const int row : rows) {
        if (canChoose(row, choice))
            changing.append(row);
    }
    if (changing.isEmpty())
        return false;
    const QList<LogId> logs = keptLogs(changing);
    if (!logs.isEmpty()
        && !inHistory(QStringLiteral("Choose"), [&] { m_kept->store().setChosen(logs, choice); }))
        return false;
    m_table->setChosen(changing, choice);
    // A message not yet shared goes with the place the user chose; one the server has stays.
    if (m_placeChanged) {
        for (const int row : std::as_const(changing))
            m_placeChanged(m_table->record(row));
    }
    return true;
}

bool RowCorrections::leaveOut(const QList<int> &rows, bool leftOut)
{
    QList<int> changing;
    for (const int row : rows) {
        if (m_table->isLeftOut(row) != leftOut)
            changing.append(row);
    }
    if (changing.isEmpty())
        return false;
    const QList<LogId> logs = keptLogs(changing);
    if (!logs.isEmpty() && !inHistory(QStringLiteral("LeaveOut"), [&] {
            m_kept->store().setLeftOut(logs, leftOut);
        }))
        return false;
    m_table->setLeftOut(changing, leftOut);
    return true;
}
