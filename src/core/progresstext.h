#pragma once

#include <QString>

// What the progress bar says while nothing runs.
inline QString ProgressIdleText()
{
    return QStringLiteral("Progress Bar");
}
