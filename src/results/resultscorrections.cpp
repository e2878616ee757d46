// The user's corrections of the results list: a row's place chosen among its fixes, a row left
// out of the days per country, and rows taken out and put back.

#include "results/resultslist.h"

#include <algorithm>

void ResultsList::setChosen(const QList<int> &rows, FixChoice choice)
{
    for (const int row : rows)
        m_rows[row].chosen = choice;
    tellChanged(rows, Coordinates);
}

void ResultsList::setLeftOut(const QList<int> &rows, bool leftOut)
{
    for (const int row : rows)
        m_rows[row].leftOut = leftOut;
    tellChanged(rows, Country);
}

void ResultsList::tellChanged(const QList<int> &rows, int column)
{
    if (rows.isEmpty())
        return;
    const auto [low, high] = std::minmax_element(rows.cbegin(), rows.cend());
    Q_EMIT dataChanged(index(*low, column), index(*high, column));
}

// The rows go in one pass over the list however many are taken, and the views are told once:
// rows removed one range at a time would move the rest of a million rows each time.
ResultsList::Taken ResultsList::take(QList<int> rows)
{
    Taken taken;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return taken;
    beginResetModel();
    taken.held.reserve(rows.size());
    qsizetype next = 0, kept = rows.first();
    for (qsizetype row = rows.first(); row < m_rows.size(); ++row) {
        if (next < rows.size() && rows[next] == row) {
            ++next;
            if (m_rows[row].rare && !m_rows[row].kept)
                m_heldAnswerBytes -= m_rows[row].rare->answer.size();
            taken.held.append(std::move(m_rows[row]));
        } else {
            m_rows[kept++] = std::move(m_rows[row]);
        }
    }
    m_rows.resize(kept);
    taken.rows = std::move(rows);
    endResetModel();
    return taken;
}

void ResultsList::putBack(Taken &&taken)
{
    if (taken.held.isEmpty())
        return;
    beginResetModel();
    QList<Row> merged;
    merged.reserve(m_rows.size() + taken.held.size());
    qsizetype stayed = 0;
    for (qsizetype i = 0; i < taken.held.size(); ++i) {
        // The rows that stood before this one, in the list as it is now.
        while (merged.size() < taken.rows[i] && stayed < m_rows.size())
            merged.append(std::move(m_rows[stayed++]));
        Row &back = taken.held[i];
        if (back.rare && !back.kept)
            m_heldAnswerBytes += back.rare->answer.size();
        merged.append(std::move(back));
    }
    while (stayed < m_rows.size())
        merged.append(std::move(m_rows[stayed++]));
    m_rows = std::move(merged);
    endResetModel();
}
