#pragma once

#include <QWidget>

class Dialogs;
class MapPoints;
class MapView;
class QPushButton;
class ResultsList;

// The map's own window: the map of the logged places, a button that fits every point in view
// and one that saves the map as a PNG image. Closing it only hides it; it follows the table
// all the while.
class MapWindow : public QWidget
{
    Q_OBJECT

public:
    MapWindow(ResultsList *results, Dialogs *dialogs, QWidget *parent = nullptr);

    MapView *view() const { return m_view; }
    // "Save Map As Image": asks where, then writes the map as it is shown. A file that cannot
    // be written is reported once and nothing is left half written.
    void saveImage();

private:
    Dialogs *m_dialogs;
    MapPoints *m_points;
    MapView *m_view;
    QPushButton *m_fit;
    QPushButton *m_save;
};
