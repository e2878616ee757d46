#pragma once

#include "core/logtable.h"
#include "map/mapprojection.h"
#include "map/mapview.h"
#include "results/resultslist.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QTimeZone>

// Rows for the map's tests: a place logged at an instant, as the lookup adds it.
struct Place
{
    QString coordinates;
    QString city = QStringLiteral("Chur");
    QString region = QStringLiteral("Graubünden");
    QString country = QStringLiteral("CH");
    QDateTime instant = QDateTime(QDate(2026, 12, 1), QTime(9, 15, 30), QTimeZone(3600));
    std::optional<Fix> wifi = {};
    double radius = 0; // the answer's; none gives the estimate
    FixChoice chosen = FixChoice::Surer; // the user's
};

inline int AddPlace(ResultsList &list, const Place &place, bool ticked = false)
{
    LogRecord record;
    record.timeText = place.instant.toString(QStringLiteral("M/d/yyyy h:mm:ss AP"));
    record.instant = place.instant;
    record.cells = {place.country, place.region,      place.city,
                    QString(),     place.coordinates, QStringLiteral("Europe/Zurich")};
    record.wifi = place.wifi;
    record.addressAccuracyMetres = place.radius;
    record.chosen = place.chosen;
    const int row = list.appendRecord(record).row;
    if (ticked)
        list.setData(list.index(row, 0), Qt::Checked, Qt::CheckStateRole);
    return row;
}

// The pixel of the map image where a place is drawn.
inline QPoint PixelOf(const MapView &view, double longitude, double latitude)
{
    return view.projection().toScreen(longitude, latitude).toPoint();
}

inline QColor ColourAt(const QImage &image, QPoint at)
{
    return image.valid(at) ? image.pixelColor(at) : QColor();
}
