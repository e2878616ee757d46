#include "importing/xmlpointreader.h"

#include "importing/formaterror.h"

namespace {

constexpr qint64 BlockBytes = 64 * 1024;
// A call parses no more of the file than this, some 20 ms of work on a slow machine, even
// inside one long text (a KML path's coordinates, which Qt's reader takes as one piece).
constexpr qint64 CallBytes = 512 * 1024;
// The times and coordinates read are short; a longer text is no such value.
constexpr qsizetype MaxText = 4096;

} // namespace

XmlPointReader::XmlPointReader(const QString &path, QString formatName, QString rootName)
    : PointReader(path, std::move(formatName)), m_rootName(std::move(rootName))
{
    // A file's own entities are never expanded: a few lines of them could fill the memory.
    m_xml.setEntityExpansionLimit(0);
}

bool XmlPointReader::readSome(QList<ImportedPoint> &out, int max)
{
    const qsizetype wanted = out.size() + max;
    qint64 bytes = 0;
    // A point is a handful of parts; a call reads no more than this many whatever they hold.
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
        case QXmlStreamReader::Characters:
            if (m_collectDepth == m_depth && m_text.size() < MaxText)
                m_text.append(m_xml.text());
            break;
        case QXmlStreamReader::EndElement:
            --m_depth;
            if (m_depth > 0)
                end(out, m_depth);
            if (m_collectDepth == m_depth + 1) {
                m_collectDepth = 0;
                m_text.clear();
            }
            break;
        case QXmlStreamReader::EndDocument:
            return false;
        case QXmlStreamReader::Invalid:
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && !file().atEnd()) {
                // Only the bytes given so far have run out: the next block, or the next call.
                const QByteArray block = file().read(BlockBytes);
                m_xml.addData(block);
                bytes += block.size();
                if (bytes >= CallBytes)
                    return true;
                break;
            }
            throw FormatError {m_xml.errorString(), line()};
        default:
            break;
        }
    }
    return true;
}

void XmlPointReader::collectText()
{
    m_collectDepth = m_depth;
    m_text.clear();
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
