#pragma once

#include "importing/xmlpointreader.h"

#include <QDateTime>
#include <deque>
#include <vector>

// KML 2.2 as tools write it: each Placemark's Point(s) at the Placemark's TimeStamp (or, from
// tools that keep the time as data, its "time" or "timestamp" value), and each track's points
// (gx:Track, or Track in KML 2.3), its n-th <when> with its n-th <gx:coord>. A LineString is a
// drawing of the way, with no times, and is left.
class KmlReader : public XmlPointReader
{
public:
    explicit KmlReader(const QString &path);

protected:
    void start(QList<ImportedPoint> &out, int depth) override;
    void end(QList<ImportedPoint> &out, int depth) override;

private:
    void pairTrack(QList<ImportedPoint> &out);
    void endTrack(QList<ImportedPoint> &out);

    // The Placemark being read: its points wait for its end, where its time may come.
    int m_placemarkDepth = 0;
    QDateTime m_stamp;
    QDateTime m_dataTime;
    std::vector<ImportedPoint> m_points;
    int m_timeStampDepth = 0;
    int m_pointDepth = 0;
    int m_timeDataDepth = 0; // a <Data> or <SimpleData> named for the time
    qint64 m_textLine = 0; // where the text being collected began
    // The track being read: its times come before its places, or after them.
    int m_trackDepth = 0;
    std::deque<QDateTime> m_whens;
    std::deque<ImportedPoint> m_coords;
};
