#pragma once

#include "core/rowfixes.h"
#include "map/geotext.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

class ResultsList;

// A row's fixes as the files for mapping tools carry them: the surer one is the point, and both
// go in as properties, each with its source and accuracy.
namespace GeoFixes {

// The fixes of a row; the address's coordinates to the last digit its cell gives.
RowFixes Read(const ResultsList &list, int row);

// The names the properties go by, in every format: the point's own source and accuracy, then
// each fix's place and accuracy in metres.
inline constexpr std::array<const char *, 8> Names {
    "source",           "accuracy", "address_lat", "address_lon",
    "address_accuracy", "wifi_lat", "wifi_lon",    "wifi_accuracy",
};

// Calls put(index into Names, text, number) for each property the row has, in the order of
// Names: the source comes as text, the rest as numbers with an empty text.
template<typename Put> void EachProperty(const RowFixes &fixes, Put put)
{
    const std::optional<Fix> best = fixes.best();
    if (!best)
        return;
    put(0, best->sourceName(), 0.0);
    put(1, QString(), best->accuracyMetres);
    int name = 2;
    for (const std::optional<Fix> &fix : {fixes.address(), fixes.wifi()}) {
        if (fix) {
            put(name, QString(), fix->latitude);
            put(name + 1, QString(), fix->longitude);
            put(name + 2, QString(), fix->accuracyMetres);
        }
        name += 3;
    }
}

// One value as EachProperty hands it.
void PutValue(QByteArray &out, const QString &text, double number, GeoText::Escape escape);

} // namespace GeoFixes
