#include "core/coordinates.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace {

// The number as the service writes it (a sign, digits, perhaps a point and more digits; no more
// than fifteen digits in all), read by hand: a million rows coming back are read at start-up. The
// digits make an exact whole number and ten to the power of the decimals is exact too, so their
// quotient is the double nearest the text, as any correct reader gives. Nothing for another form.
std::optional<double> plainDecimal(QStringView text)
{
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        text = text.sliced(1);
    qint64 digits = 0;
    int count = 0, decimals = -1;
    for (const QChar c : text) {
        if (c == u'.' && decimals < 0 && count > 0) {
            decimals = 0;
        } else if (c >= u'0' && c <= u'9' && count < 15) {
            digits = digits * 10 + (c.unicode() - u'0');
            ++count;
            if (decimals >= 0)
                ++decimals;
        } else {
            return std::nullopt;
        }
    }
    if (count == 0 || decimals == 0)
        return std::nullopt;
    static constexpr double Powers[]
        = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double value = double(digits) / Powers[std::max(decimals, 0)];
    return negative ? -value : value;
}

// A plain decimal number: the C locale's reading, which takes no group separators, and only
// finite values (it would read "nan" and "inf").
std::optional<double> number(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (const std::optional<double> plain = plainDecimal(text))
        return plain;
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
