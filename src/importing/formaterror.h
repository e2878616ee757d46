#pragma once

#include <QString>

// What a reader found wrong with a file, and where; the reader's caller adds the file's name and
// its kind ("trip.gpx is not a GPX file: … (line 12)") and hands it on as an ImportFailure.
struct FormatError
{
    QString why;
    qint64 line = 0;
};
