#include "importing/kmlreader.h"

#include "importing/importtime.h"

namespace {

constexpr QLatin1StringView NameAttribute("name");

bool isTimeName(QStringView name)
{
    return name.compare(u"time", Qt::CaseInsensitive) == 0
        || name.compare(u"timestamp", Qt::CaseInsensitive) == 0;
}

} // namespace

KmlReader::KmlReader(const QString &path)
    : XmlPointReader(path, QStringLiteral("KML"), QStringLiteral("kml"))
{ }

void KmlReader::start(QList<ImportedPoint> &, int depth)
{
    const QStringView name = xml().name();
    if (name == u"Placemark") {
        m_placemarkDepth = depth;
        m_stamp = m_dataTime = QDateTime();
        m_points.clear();
    } else if (m_placemarkDepth == 0) {
        return;
    } else if (name == u"TimeStamp") {
        m_timeStampDepth = depth;
    } else if (name == u"Track") {
        m_trackDepth = depth;
    } else if (name == u"Point") {
        m_pointDepth = depth;
    } else if ((name == u"Data" || name == u"SimpleData")
               && isTimeName(xml().attributes().value(NameAttribute))) {
        // <SimpleData name="time">…</SimpleData>, or
        // <Data name="time"><displayName>…</displayName><value>…</value></Data>
        m_timeDataDepth = depth;
        if (name == u"SimpleData")
            collectText();
    } else if ((name == u"when" && (m_trackDepth || m_timeStampDepth))
               || (name == u"coord" && m_trackDepth) || (name == u"coordinates" && m_pointDepth)
               || (name == u"value" && m_timeDataDepth)) {
        m_textLine = line();
        collectText();
    }
}

void KmlReader::pairTrack(QList<ImportedPoint> &out)
{
    // Whichever comes first, times or places, waits for the other; a pair goes out at once.
    while (!m_whens.empty() && !m_coords.empty()) {
        m_coords.front().instant = m_whens.front();
        take(out, std::move(m_coords.front()));
        m_coords.pop_front();
        m_whens.pop_front();
    }
}

void KmlReader::endTrack(QList<ImportedPoint> &out)
{
    // Places that never got a time are counted.
    for (ImportedPoint &point : m_coords)
        take(out, std::move(point));
    m_coords.clear();
    m_whens.clear();
    m_trackDepth = 0;
}

void KmlReader::end(QList<ImportedPoint> &out, int depth)
{
    const QStringView name = xml().name();
    if (name == u"when" && m_trackDepth) {
        m_whens.push_back(ImportTime::Parse(text()));
        pairTrack(out);
    } else if (name == u"when" && m_timeStampDepth) {
        m_stamp = ImportTime::Parse(text());
    } else if ((name == u"coord" && m_trackDepth) || (name == u"coordinates" && m_pointDepth)) {
        ImportedPoint point;
        point.line = m_textLine;
        readLonLat(text(), QLatin1Char(name == u"coord" ? ' ' : ','), point);
        if (name == u"coord") {
            m_coords.push_back(std::move(point));
            pairTrack(out);
        } else {
            m_points.push_back(std::move(point));
        }
    } else if ((name == u"value" || name == u"SimpleData") && m_timeDataDepth) {
        m_dataTime = ImportTime::Parse(text());
    }
    if (depth == m_timeStampDepth) {
        m_timeStampDepth = 0;
    } else if (depth == m_pointDepth) {
        m_pointDepth = 0;
    } else if (depth == m_timeDataDepth) {
        m_timeDataDepth = 0;
    } else if (depth == m_trackDepth) {
        endTrack(out);
    } else if (depth == m_placemarkDepth) {
        m_placemarkDepth = 0;
        const QDateTime instant = m_stamp.isValid() ? m_stamp : m_dataTime;
        for (ImportedPoint &point : m_points) {
            if (!point.instant.isValid())
                point.instant = instant;
            take(out, std::move(point));
        }
        m_points.clear();
    }
}
