#include "core/fix.h"

#include <cmath>
#include <numbers>

QString Fix::sourceName() const
{
    return source == Source::WiFi ? QStringLiteral("wifi") : QStringLiteral("address");
}

namespace Fixes {

double distanceMetres(const Fix &a, const Fix &b)
{
    // The mean radius of the Earth: haversine on a sphere is within half a per cent of the
    // ellipsoid, far finer than any accuracy compared against it.
    constexpr double EarthRadiusMetres = 6'371'008.8;
    constexpr double toRadians = std::numbers::pi / 180;
    const double dLatitude = (b.latitude - a.latitude) * toRadians;
    const double dLongitude = (b.longitude - a.longitude) * toRadians;
    const double h = std::sin(dLatitude / 2) * std::sin(dLatitude / 2)
        + std::cos(a.latitude * toRadians) * std::cos(b.latitude * toRadians)
            * std::sin(dLongitude / 2) * std::sin(dLongitude / 2);
    return 2 * EarthRadiusMetres * std::asin(std::min(1.0, std::sqrt(h)));
}

QString anycastMark()
{
    return QStringLiteral("The service cannot place this address: it is an anycast address, "
                          "answered from many places at once.");
}

QString bogonMark()
{
    return QStringLiteral("The service cannot place this address: it is a private or reserved "
                          "address, not one on the public internet.");
}

bool addressUnplaced(const QString &mark)
{
    return mark == anycastMark() || mark == bogonMark();
}

QString countryOnlyMark()
{
    return QStringLiteral("Your key's plan gives the country only: clear the key to use the "
                          "service's free city-level lookup.");
}

} // namespace Fixes
