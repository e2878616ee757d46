#pragma once

#include <QPointF>
#include <QSize>
#include <algorithm>

// Where a place lands on the map: longitude and latitude scaled alike (equirectangular), the
// centre of the view at the middle of the widget.
struct MapProjection
{
    QSize size;
    double centreLongitude = 0;
    double centreLatitude = 0;
    double scale = 1; // pixels per degree

    // The scale at which the whole world fits, with a small margin around it.
    static double worldScale(QSize size)
    {
        return std::max(0.01, std::min(size.width() / 360.0, size.height() / 180.0) * 0.95);
    }

    QPointF toScreen(double longitude, double latitude) const
    {
        return {size.width() / 2.0 + (longitude - centreLongitude) * scale,
                size.height() / 2.0 - (latitude - centreLatitude) * scale};
    }
    // The longitude and latitude under a pixel, as x and y.
    QPointF toGeo(QPointF screen) const
    {
        return {centreLongitude + (screen.x() - size.width() / 2.0) / scale,
                centreLatitude - (screen.y() - size.height() / 2.0) / scale};
    }

    bool operator==(const MapProjection &) const = default;
};
