#pragma once

#include <QDateTime>
#include <functional>

// The time of day as the program sees it: the system clock, or a test's own.
using Clock = std::function<QDateTime()>;

// The system clock.
inline QDateTime SystemNow()
{
    return QDateTime::currentDateTime();
}
