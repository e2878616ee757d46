#pragma once

#include <QString>
#include <QTime>
#include <array>

// The user's schedule as the settings file keeps it, with a first run's values (the keys'
// defaults).
struct ScheduleSettings
{
    enum class Mode { None, Weekly, Daily, Interval };
    enum class Part { Hours, Minutes, Seconds };

    // The file keeps a key for each mode, the chosen one true; none true chooses none.
    Mode mode = Mode::Interval;
    // The interval's hours, minutes and seconds as typed.
    std::array<QString, 3> interval {QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0")};
    // The weekday as typed: only a day the picker offers ever matches.
    QString day = QStringLiteral("Monday");
    // Null until chosen: the time of day stands for a time never stored.
    QTime time;

    bool operator==(const ScheduleSettings &) const = default;
};
