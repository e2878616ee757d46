#pragma once

#include "core/rowfixes.h"

#include <QList>
#include <QObject>
#include <QPoint>

class Dialogs;
class QAction;
class QMenu;
class ResultsView;
class RowCorrections;

// The menu on the selected rows of the results table, by a right click, the Menu key or
// Shift+F10: remove them from the results (and put the last removal back), make the Wi-Fi or the
// address fix their place, leave them out of the days per country or count them in again. Items
// that do not apply to the selection are shown disabled, so that the menu keeps its shape. The
// commands are actions of the table too: Delete removes and Ctrl+Z undoes from the keyboard.
class RowMenu : public QObject
{
    Q_OBJECT

public:
    RowMenu(ResultsView *view, RowCorrections *corrections, Dialogs *dialogs);

    QMenu *menu() const { return m_menu; }
    // Opens the menu at a point of the screen, unless it is open already.
    void popup(QPoint global);

private:
    QAction *addItem(const char *name, const QString &text);
    QList<int> selectedRows() const;
    // Each item enabled as it applies to the rows selected now.
    void updateItems();
    void remove();
    void choose(FixChoice choice);
    void leaveOut(bool leftOut);

    ResultsView *m_view;
    RowCorrections *m_corrections;
    Dialogs *m_dialogs;
    QMenu *m_menu;
    QAction *m_remove;
    QAction *m_undo;
    QAction *m_useWiFi;
    QAction *m_useAddress;
    QAction *m_leaveOut;
    QAction *m_countIn;
};
