#pragma once

#include "core/clock.h"

#include <QtGlobal>

// The scheduler's two counts, shared by the tick, the schedule controls and the switch.
struct ScheduleState
{
    // Interval mode: whole seconds, on the boot clock, the tick has run since the last log or
    // since interval mode was chosen; time asleep counts.
    // Daily and weekly mode: TotalSeconds minus the seconds left to today's chosen time.
    qint32 ElapsedSeconds = 0;
    // The span the progress bar shows.
    qint32 TotalSeconds = 0;
};
