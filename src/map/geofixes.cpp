#include "map/geofixes.h"

#include "results/coordinates.h"
#include "results/resultslist.h"

namespace GeoFixes {

RowFixes Read(const ResultsList &list, int row)
{
    RowFixes fixes {false, {}, list.addressFix(row), list.wiFiFix(row)};
    // The table keeps its places to seven decimals; the cell has the digits the service gave.
    if (const std::optional<GeoPoint> point
        = ParseCoordinates(list.cellView(row, ResultsList::Coordinates));
        point && fixes.address) {
        fixes.address->latitude = point->latitude;
        fixes.address->longitude = point->longitude;
    }
    if (fixes.address)
        fixes.best = fixes.wifi ? Fixes::better(*fixes.address, *fixes.wifi) : *fixes.address;
    else if (fixes.wifi)
        fixes.best = *fixes.wifi;
    fixes.located = fixes.address || fixes.wifi;
    return fixes;
}

void PutValue(QByteArray &out, const QString &text, double number, GeoText::Escape escape)
{
    if (text.isEmpty())
        GeoText::AppendNumber(out, number);
    else
        GeoText::Append(out, text, escape);
}

} // namespace GeoFixes
