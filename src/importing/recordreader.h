#pragma once

#include "importing/pointreader.h"

// The location server's monthly record (YYYY-MM.rec), a line at a time: each line the time the
// server stored it, a tab, the message's topic part, and the message, one JSON object. Location
// messages ("_type": "location") come in: lat, lon, tst (seconds since 1970; without it the
// line's own time, which the server took from it), acc, cc and the place names it added. Other
// messages (cards, waypoints, transitions) are no points and are passed over uncounted.
class RecordReader : public PointReader
{
public:
    explicit RecordReader(const QString &path);

protected:
    bool readSome(QList<ImportedPoint> &out, int max) override;

private:
    qint64 m_line = 0;
};
