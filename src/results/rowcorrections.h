#pragma once

#include "core/logtable.h"
#include "results/resultslist.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class KeptResults;

// The user's corrections of rows: rows removed (and the last removal put back while the program
// runs), the fix made a row's place, and rows left out of the days per country. While results
// are kept, each correction is committed to the history first, in one transaction, and shows in
// the table only once it is kept; a history that cannot take it is reported and the table stays
// as it was. The cells the service gave are never rewritten.
class RowCorrections : public QObject
{
    Q_OBJECT

public:
    RowCorrections(ResultsList *table, KeptResults *kept, QObject *parent = nullptr);
    ~RowCorrections() override;

    // A row's message still waiting is made again from the row as it now is, its place chosen
    // by the user. (Removed rows take their waiting messages with them from the kept history,
    // in the same transaction.)
    void setPlaceChanged(std::function<void(const LogRecord &record)> placeChanged)
    {
        m_placeChanged = std::move(placeChanged);
    }

    // The messages of removed rows that wait in memory (results not kept) go with them.
    void setRemoved(std::function<void(const QList<LogId> &logs)> removed)
    {
        m_removed = std::move(removed);
    }

    // Each returns whether the change was made.
    bool remove(const QList<int> &rows);
    bool canUndoRemove() const { return !m_taken.held.isEmpty(); }
    bool undoRemove();
    bool choose(const QList<int> &rows, FixChoice choice);
    bool leaveOut(const QList<int> &rows, bool leftOut);

    // Whether the choice would change the place of the row: it has both fixes, and another
    // choice stands.
    bool canChoose(int row, FixChoice choice) const;

Q_SIGNALS:
    // Whether there is a removal to put back changed.
    void undoChanged(bool possible);

private:
    // The logs of those rows the kept history holds, when it can be written now.
    QList<LogId> keptLogs(const QList<int> &rows) const;
    // Runs the history's part; false once the failure is reported.
    bool inHistory(const QString &procedure, const std::function<void()> &work);

    ResultsList *m_table;
    KeptResults *m_kept;
    std::function<void(const LogRecord &record)> m_placeChanged;
    std::function<void(const QList<LogId> &logs)> m_removed;
    // The last removal: the rows, and whether the history held any of them.
    ResultsList::Taken m_taken;
    bool m_takenFromHistory = false;
};
