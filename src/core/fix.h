#pragma once

#include <QString>
#include <QtGlobal>

// Where a row places the laptop, how sure that is, and who said so.
struct Fix
{
    enum class Source : quint8 {
        Address, // the lookup service, from the public address
        WiFi, // the desktop's location service, from the Wi-Fi networks around the laptop
    };

    double latitude = 0;
    double longitude = 0;
    double accuracyMetres = 0; // the radius within which the laptop most likely is
    Source source = Source::Address;

    // "address" or "wifi", as the exports name the source.
    QString sourceName() const;
};

namespace Fixes {

// An address fix whose answer gives no radius: a public address placed by its provider's records
// is usually right to the city of the provider's nearest hub, which lies within a few tens of
// kilometres of the laptop; 50 km covers most such placements without excusing a VPN's exit in
// another city.
inline constexpr double AddressEstimateMetres = 50'000;
// How long a log waits for the location service's fix; one that comes later is left out.
inline constexpr int WiFiDeadlineMs = 15'000;

// The great-circle distance between two fixes, in metres.
double distanceMetres(const Fix &a, const Fix &b);

// The marks an answer itself can give a row.
QString anycastMark();
QString bogonMark();
QString countryOnlyMark();
// Whether a row of this mark has an address the service cannot place (anycast, private or
// reserved): the place it gives, if any, is not the laptop's.
bool addressUnplaced(const QString &mark);

} // namespace Fixes
