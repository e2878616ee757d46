#pragma once

#include <QByteArray>
#include <QPainterPath>

// The countries of the world as one path in degrees: x is the longitude east, y the latitude
// north negated, so that north is up once the path is scaled onto a widget. Read once, on first
// use, from the outlines built into the program.
const QPainterPath &WorldOutline();

// The polygons of an ESRI shapefile's main file (.shp) in the same coordinates. A file that is
// not one, or is cut short, gives what could be read before the damage: never a crash.
QPainterPath ReadShapePolygons(const QByteArray &shp);
