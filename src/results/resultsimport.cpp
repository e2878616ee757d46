#include "results/resultslist.h"

#include <algorithm>

namespace {

// A row of no known moment keeps its place among its neighbours: it sorts with the earliest.
bool earlier(const ResultsListRow &a, const ResultsListRow &b)
{
    return a.utcMs < b.utcMs;
}

} // namespace

void ResultsList::insertInTimeOrder(QList<ResultsListRow> &&rows, bool kept)
{
    if (rows.isEmpty())
        return;
    // A track is read in the order it was logged: looking costs a pass, sorting many.
    if (!std::is_sorted(rows.cbegin(), rows.cend(), earlier))
        std::stable_sort(rows.begin(), rows.end(), earlier);
    for (Row &row : rows)
        row.kept = kept;
    // Every row imported later than the table's last joins the end, which the views take
    // without starting over; older ones are merged among the rows already there.
    if (m_rows.isEmpty() || !earlier(rows.front(), m_rows.back())) {
        const int first = this->rows();
        beginInsertRows({}, first, first + int(rows.size()) - 1);
        // Into an empty table the rows come as they are, without a copy.
        if (m_rows.isEmpty())
            m_rows.swap(rows);
        else
            m_rows.append(std::move(rows));
        endInsertRows();
        return;
    }
    beginResetModel();
    QList<Row> merged;
    merged.reserve(m_rows.size() + rows.size());
    std::merge(std::make_move_iterator(m_rows.begin()), std::make_move_iterator(m_rows.end()),
               std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()),
               std::back_inserter(merged), earlier);
    m_rows = std::move(merged);
    endResetModel();
}

void ResultsList::sortByTime()
{
    if (std::is_sorted(m_rows.cbegin(), m_rows.cend(), earlier))
        return;
    beginResetModel();
    std::stable_sort(m_rows.begin(), m_rows.end(), earlier);
    endResetModel();
}
