#include "results/coordinates.h"

#include <QLocale>
#include <cmath>

namespace {

// A plain decimal number: the C locale's reading, which takes no group separators, and only
// finite values (it would read "nan" and "inf").
std::optional<double> number(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    for (QChar c : text) {
        if (!(c.isDigit() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'+' && c != u'e'
            && c != u'E')
            return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<GeoPoint> ParseCoordinates(QStringView cell)
{
    const qsizetype comma = cell.indexOf(u',');
    if (comma < 0 || cell.indexOf(u',', comma + 1) >= 0)
        return std::nullopt;
    const std::optional<double> latitude = number(cell.first(comma));
    const std::optional<double> longitude = number(cell.sliced(comma + 1));
    if (!latitude || !longitude || std::abs(*latitude) > 90 || std::abs(*longitude) > 180)
        return std::nullopt;
    return GeoPoint {*latitude, *longitude};
}
