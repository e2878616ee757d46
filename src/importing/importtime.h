#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QStringView>

// The times track files carry, read into UTC instants: ISO 8601 as tools write it
// ("2026-12-11T08:16:31.250Z", "…+05:30", "…+0530", "…+05", none for UTC), GDAL's slashes
// ("2026/12/11 08:16:31+00"), a space for the T, and seconds since 1970 (milliseconds when the
// count is too large for seconds). Fractions of a second are kept to the millisecond. Anything
// else, a bare date included, is no instant: invalid.
namespace ImportTime {

QDateTime Parse(QByteArrayView text);
QDateTime Parse(QStringView text);
// Seconds since 1970 as a number the source gave (a JSON number, say).
QDateTime FromEpoch(double seconds);

} // namespace ImportTime
