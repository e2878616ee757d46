#include "map/geofixes.h"

#include "core/coordinates.h"
#include "results/resultslist.h"

namespace GeoFixes {

RowFixes Read(const ResultsList &list, int row)
{
    RowFixes fixes = list.fixes(row);
    // The table keeps its places to seven decimals; the cell has the digits the service gave.
    if (const std::optional<GeoPoint> point
        = ParseCoordinates(list.cellView(row, ResultsList::Coordinates)))
        fixes.placeAddress(*point);
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
