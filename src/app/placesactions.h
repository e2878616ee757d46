#pragma once

#include <QObject>

class CountriesWindow;
class Dialogs;
class ExportController;
class MapPresence;
class QPushButton;
class QWidget;
class ResultsList;
class ResultsView;

// The window's actions on where the laptop has been, in the column beside the exports: "Save
// Results As…" (files that mapping tools read), "Show Map" and "Countries", with the windows the
// last two open, each made the first time it is asked for.
class PlacesActions : public QObject
{
    Q_OBJECT

public:
    // The buttons are the owner's children, for its layout.
    PlacesActions(ResultsList *results, ResultsView *view, Dialogs *dialogs,
                  ExportController *exports, QWidget *owner);

    QPushButton *saveAs() const { return m_saveAs; }
    QPushButton *showMap() const { return m_showMap; }
    QPushButton *countries() const { return m_countries; }
    MapPresence *map() const { return m_map; }

private:
    void showCountries();

    ResultsList *m_results;
    QWidget *m_owner;
    QPushButton *m_saveAs;
    QPushButton *m_showMap;
    QPushButton *m_countries;
    MapPresence *m_map;
    CountriesWindow *m_countriesWindow = nullptr;
};
