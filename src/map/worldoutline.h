#pragma once

#include <QByteArray>
#include <QList>
#include <QPainterPath>
#include <QString>

// The countries of the world as one path in degrees: x is the longitude east, y the latitude
// north negated, so that north is up once the path is scaled onto a widget. Read once, on first
// use, from the outlines built into the program.
const QPainterPath &WorldOutline();

// The polygons of an ESRI shapefile's main file (.shp) in the same coordinates. A file that is
// not one, or is cut short, gives what could be read before the damage: never a crash.
QPainterPath ReadShapePolygons(const QByteArray &shp);
// The same, one path a record, in the file's order (a record of another shape is an empty path),
// so that each can be matched with the record's attributes.
QList<QPainterPath> ReadShapeRecords(const QByteArray &shp);

// The two-letter code of the country whose built-in outline holds the place, or empty: at sea,
// and in the few outlines without a code. The outlines are drawn for a map of the world, so a
// place within a few kilometres of a border or a coast may be given the neighbour, or none.
QString CountryAt(double longitude, double latitude);
