#include "importing/xmlpointreader.h"

#include "importing/formaterror.h"

XmlPointReader::XmlPointReader(const QString &path, QString formatName, QString rootName)
    : PointReader(path, std::move(formatName)), m_rootName(std::move(rootName))
{
    m_xml.setDevice(&file());
    // A file's own entities are never expanded: a few lines of them could fill the memory.
    m_xml.setEntityExpansionLimit(0);
}

bool XmlPointReader::readSome(QList<ImportedPoint> &out, int max)
{
    const qsizetype wanted = out.size() + max;
    // A point is a handful of parts; a turn reads no more than this many whatever they hold.
    for (qint64 parts = qint64(max) * 16; parts > 0 && out.size() < wanted; --parts) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (m_depth == 0 && m_xml.name() != m_rootName) {
                throw FormatError {QStringLiteral("its first element is <%1>, not <%2>")
                                       .arg(m_xml.qualifiedName(), m_rootName),
                                   line()};
            }
            ++m_depth;
            if (m_depth > 1)
                start(out, m_depth - 1);
            break;
        case QXmlStreamReader::EndElement:
            --m_depth;
            if (m_depth > 0)
                end(out, m_depth);
            break;
        case QXmlStreamReader::EndDocument:
            return false;
        case QXmlStreamReader::Invalid:
            throw FormatError {m_xml.errorString(), line()};
        default:
            break;
        }
    }
    if (m_xml.hasError())
        throw FormatError {m_xml.errorString(), line()};
    return true;
}

QString XmlPointReader::elementText()
{
    QString text = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
    --m_depth;
    if (m_xml.hasError())
        throw FormatError {m_xml.errorString(), line()};
    return text;
}

void XmlPointReader::readLonLat(QStringView text, QChar separator, ImportedPoint &point)
{
    const QStringView trimmed = text.trimmed();
    const qsizetype first = trimmed.indexOf(separator);
    if (first < 0)
        return;
    qsizetype second = trimmed.indexOf(separator, first + 1);
    if (second < 0)
        second = trimmed.size();
    bool lonOk = false, latOk = false;
    const double longitude = trimmed.first(first).trimmed().toDouble(&lonOk);
    const double latitude
        = trimmed.sliced(first + 1, second - first - 1).trimmed().toDouble(&latOk);
    if (lonOk && latOk) {
        point.longitude = longitude;
        point.latitude = latitude;
    }
}
