#include "app/mappresence.h"

#include "app/resultsview.h"
#include "map/mapview.h"
#include "map/mapwindow.h"
#include "results/resultslist.h"

#include <QItemSelectionModel>

MapPresence::MapPresence(ResultsList *results, ResultsView *view, Dialogs *dialogs, QWidget *owner)
    : QObject(owner), m_results(results), m_view(view), m_dialogs(dialogs), m_owner(owner)
{ }

void MapPresence::show()
{
    if (!m_window) {
        m_window = new MapWindow(m_results, m_dialogs, m_owner);
        connect(m_window->view(), &MapView::rowClicked, this, &MapPresence::rowClicked);
        connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex &current) {
                    if (!m_followingMap && current.isValid())
                        m_window->view()->centreOnRow(current.row());
                });
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void MapPresence::rowClicked(int row)
{
    m_followingMap = true;
    m_view->selectRow(row);
    m_view->scrollTo(m_results->index(row, 0));
    m_followingMap = false;
}
