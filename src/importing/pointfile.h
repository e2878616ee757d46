#pragma once

#include "importing/pointreader.h"

#include <memory>

// The reader for a track file, chosen by its extension (.gpx, .geojson or .json, .kml, .csv,
// .rec) or, for any other, by how it begins. A file that cannot be opened, or is of no kind the
// program reads, throws ImportFailure.
std::unique_ptr<PointReader> openPointFile(const QString &path);
