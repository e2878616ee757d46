#include "app/placesactions.h"

#include "app/exportcontroller.h"
#include "app/look.h"
#include "app/mappresence.h"
#include "map/countrieswindow.h"

#include <QPushButton>

PlacesActions::PlacesActions(ResultsList *results, ResultsView *view, Dialogs *dialogs,
                             ExportController *exports, QWidget *owner)
    : QObject(owner),
      m_results(results),
      m_owner(owner),
      m_saveAs(NamedButton(QStringLiteral("PushButtonSaveAs"), QStringLiteral("Save Results As…"),
                           owner)),
      m_showMap(NamedButton(QStringLiteral("PushButtonMap"), QStringLiteral("Show Map"), owner)),
      m_countries(
          NamedButton(QStringLiteral("PushButtonCountries"), QStringLiteral("Countries"), owner)),
      m_map(new MapPresence(results, view, dialogs, owner))
{
    connect(m_saveAs, &QPushButton::clicked, exports, &ExportController::saveGeoFile);
    connect(m_showMap, &QPushButton::clicked, m_map, &MapPresence::show);
    connect(m_countries, &QPushButton::clicked, this, &PlacesActions::showCountries);
}

void PlacesActions::showCountries()
{
    // One window for the program, made when first asked for: it counts only while it is open.
    if (!m_countriesWindow)
        m_countriesWindow = new CountriesWindow(m_results, m_owner);
    m_countriesWindow->showAndRaise();
}
