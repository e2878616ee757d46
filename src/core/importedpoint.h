#pragma once

#include "core/failure.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtNumeric>

// One point of a track brought back from a file or from the user's location server, as its
// source gives it: nothing is looked up or guessed yet (the country from the outlines, the time
// zone from the country, a repeat of a row already kept: those come when it joins the record).
struct ImportedPoint
{
    QDateTime instant; // in UTC; invalid when the source gave none
    double latitude = qQNaN();
    double longitude = qQNaN();
    double accuracyMetres = 0; // 0 when the source gives none
    QString country; // as the source names it (a code or a name); empty when it names none
    QString region;
    QString city;
    QString postalCode;
    QString timeZone; // an IANA zone the source names; empty when it names none
    QString address; // the place on one line as the source writes it ("Berlin, Berlin, DE")
    qint64 line = 0; // where it stands in its source: a file's line, a server's point number
};

// The points a source held that cannot be logs, counted by where they stand, for the summary
// ("3 points without a time were skipped: lines 40, 77, 90").
struct ImportSkips
{
    QList<qint64> withoutTime;
    QList<qint64> outOfRange; // a latitude or longitude missing or beyond the globe's
};

// A source that is not what it says it is ("trip.gpx is not a GPX file: … (line 12)"), a
// server that refuses or answers something else: nothing of it joins the record.
class ImportFailure : public Failure
{
    using Failure::Failure;
};
