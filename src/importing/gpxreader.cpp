#include "importing/gpxreader.h"

#include "importing/importtime.h"

GpxReader::GpxReader(const QString &path)
    : XmlPointReader(path, QStringLiteral("GPX"), QStringLiteral("gpx"))
{ }

void GpxReader::start(QList<ImportedPoint> &, int depth)
{
    const QStringView name = xml().name();
    if (!m_point) {
        if (name == u"trkpt" || name == u"rtept" || name == u"wpt") {
            m_point.emplace();
            m_pointDepth = depth;
            m_point->line = line();
            const QXmlStreamAttributes attributes = xml().attributes();
            bool latOk = false, lonOk = false;
            const double latitude
                = attributes.value(QLatin1StringView("lat")).trimmed().toDouble(&latOk);
            const double longitude
                = attributes.value(QLatin1StringView("lon")).trimmed().toDouble(&lonOk);
            if (latOk && lonOk) {
                m_point->latitude = latitude;
                m_point->longitude = longitude;
            }
        }
        return;
    }
    // The time, and the accuracy that the program's own export puts among the extensions.
    if ((depth == m_pointDepth + 1 && name == u"time") || name == u"accuracy")
        collectText();
}

void GpxReader::end(QList<ImportedPoint> &out, int depth)
{
    if (!m_point)
        return;
    const QStringView name = xml().name();
    if (depth == m_pointDepth + 1 && name == u"time")
        m_point->instant = ImportTime::Parse(text());
    else if (name == u"accuracy")
        m_point->accuracyMetres = std::max(0.0, text().trimmed().toDouble());
    else if (depth == m_pointDepth) {
        take(out, std::move(*m_point));
        m_point.reset();
    }
}
