#include "app/resultsview.h"

#include "results/resultslist.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>

ResultsView::ResultsView(ResultsList *results, QWidget *parent)
    : QTableView(parent), m_results(results)
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

void ResultsView::contextMenuEvent(QContextMenuEvent *event)
{
    // From the keyboard the menu opens at the current row rather than where the pointer is.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        keyMenu();
        return;
    }
    Q_EMIT menuAsked(event->globalPos());
}

void ResultsView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Menu
        || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        keyMenu();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ResultsView::keyMenu()
{
    const QRect cell = visualRect(currentIndex());
    const QPoint at = cell.isValid() ? cell.bottomLeft() : QPoint(0, 0);
    Q_EMIT menuAsked(viewport()->mapToGlobal(at));
}
