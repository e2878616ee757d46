#pragma once

#include <QStringView>
#include <optional>

// A place on the globe in degrees, north and east positive.
struct GeoPoint
{
    double latitude = 0;
    double longitude = 0;
};

// The place a Coordinates cell names: "latitude, longitude" as the service gives it, spaces
// around either number allowed. Nothing for a failed log's empty cell, a masked or garbled
// value, more or fewer than two numbers, or a number out of range (latitude beyond ±90,
// longitude beyond ±180); the map and the exports that carry a place leave such a row out.
std::optional<GeoPoint> ParseCoordinates(QStringView cell);
