#include "app/resultsview.h"

#include "results/resultslist.h"

#include <QHeaderView>

ResultsView::ResultsView(ResultsList *results, QWidget *parent) : QTableView(parent)
{
    setObjectName(QStringLiteral("ListView1"));
    setAccessibleName(QStringLiteral("Results"));
    setModel(results);
    setToolTip(ResultsList::cellHint());
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
}

void ResultsView::setFirstColumnWidths()
{
    for (int column = 0; column < ResultsList::ColumnCount; ++column)
        setColumnWidth(column, 1100 * logicalDpiX() / 1440);
}

void ResultsView::showRow(int row)
{
    if (row >= 0)
        scrollTo(model()->index(row, 0));
}
