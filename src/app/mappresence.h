#pragma once

#include <QObject>

class Dialogs;
class MapWindow;
class ResultsList;
class ResultsView;
class QWidget;

// The one map window of the program, made the first time the user asks for it, and kept in
// step with the table: clicking a point selects its row, selecting a row centres the map on it.
class MapPresence : public QObject
{
    Q_OBJECT

public:
    MapPresence(ResultsList *results, ResultsView *view, Dialogs *dialogs, QWidget *owner);

    // "Show Map": shows the window, or brings it to the front when it is already open.
    void show();
    // Null until first shown.
    MapWindow *window() const { return m_window; }

private:
    void rowClicked(int row);

    ResultsList *m_results;
    ResultsView *m_view;
    Dialogs *m_dialogs;
    QWidget *m_owner;
    MapWindow *m_window = nullptr;
    // The selection follows a click on the map; the map stays where the user clicked.
    bool m_followingMap = false;
};
