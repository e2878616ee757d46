#pragma once

#include <QDateTime>
#include <ctime>
#include <functional>

// The time of day as the program sees it: the system clock, or a test's own.
using Clock = std::function<QDateTime()>;

// The system clock.
inline QDateTime SystemNow()
{
    return QDateTime::currentDateTime();
}

// Milliseconds on a clock that never runs back and that no one sets: the system's, or a test's
// own. Only differences between two readings mean anything.
using SteadyClock = std::function<qint64()>;

namespace SteadyClocks {

inline qint64 read(clockid_t id)
{
    timespec now {};
    ::clock_gettime(id, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Counts the time the machine sleeps: an interval runs on while the lid is closed.
inline qint64 SystemBoot()
{
    return read(CLOCK_BOOTTIME);
}

// Stands still while the machine sleeps: the boot clock running ahead of it tells of a sleep.
inline qint64 SystemMonotonic()
{
    return read(CLOCK_MONOTONIC);
}

} // namespace SteadyClocks
