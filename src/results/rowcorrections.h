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

    // What the messages waiting to share the rows become: placeChanged makes a row's waiting
    // message again from the row as it now is; dropWaiting takes the logs' waiting messages
    // out of the queue in memory and returns how to put them back.
    struct Messages
    {
        std::function<void(const LogRecord &record)> placeChanged;
        std::function<std::function<void()>(const QList<LogId> &logs)> dropWaiting;
    };
    void setMessages(Messages messages) { m_messages = std::move(messages); }

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
    Messages m_messages;
    // The last removal: the rows, whether the history held any of them, and how their messages
    // waiting in memory come back.
    ResultsList::Taken m_taken;
    bool m_takenFromHistory = false;
    std::function<void()> m_putBackWaiting;
};
