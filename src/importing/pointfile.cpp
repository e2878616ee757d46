#include "importing/pointfile.h"

#include "importing/csvreader.h"
#include "importing/geojsonreader.h"
#include "importing/gpxreader.h"
#include "importing/importtime.h"
#include "importing/kmlreader.h"
#include "importing/recordreader.h"

#include <QFileInfo>

namespace {

enum class Kind { Unknown, Gpx, GeoJson, Kml, Csv, Record };

Kind kindOfExtension(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"gpx")
        return Kind::Gpx;
    if (suffix == u"geojson" || suffix == u"json")
        return Kind::GeoJson;
    if (suffix == u"kml")
        return Kind::Kml;
    if (suffix == u"csv")
        return Kind::Csv;
    if (suffix == u"rec")
        return Kind::Record;
    return Kind::Unknown;
}

// The kind a file's first few kilobytes show.
Kind kindOfContent(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Kind::Unknown; // the reader's own opening says why
    QByteArray head = file.read(4096);
    if (head.startsWith("\xEF\xBB\xBF"))
        head.remove(0, 3);
    const QByteArray start = head.trimmed();
    if (start.startsWith('<')) {
        if (start.contains("<gpx"))
            return Kind::Gpx;
        if (start.contains("<kml"))
            return Kind::Kml;
        return Kind::Unknown;
    }
    if (start.startsWith('{'))
        return Kind::GeoJson;
    const qsizetype lineEnd = start.indexOf('\n');
    const QByteArray firstLine = lineEnd < 0 ? start : start.first(lineEnd);
    const qsizetype tab = firstLine.indexOf('\t');
    if (tab > 0 && firstLine.contains('{') && ImportTime::Parse(firstLine.left(tab)).isValid())
        return Kind::Record;
    const QByteArray header = firstLine.toLower();
    if (header.contains("lat") && (header.contains("lon") || header.contains("lng")))
        return Kind::Csv;
    return Kind::Unknown;
}

} // namespace

std::unique_ptr<PointReader> openPointFile(const QString &path)
{
    Kind kind = kindOfExtension(path);
    if (kind == Kind::Unknown && QFileInfo(path).isFile())
        kind = kindOfContent(path);
    switch (kind) {
    case Kind::Gpx:
        return std::make_unique<GpxReader>(path);
    case Kind::GeoJson:
        return std::make_unique<GeoJsonReader>(path);
    case Kind::Kml:
        return std::make_unique<KmlReader>(path);
    case Kind::Csv:
        return std::make_unique<CsvReader>(path);
    case Kind::Record:
        return std::make_unique<RecordReader>(path);
    case Kind::Unknown:
        break;
    }
    const QFileInfo info(path);
    if (!info.exists())
        throw ImportFailure(
            QStringLiteral("Cannot read %1: there is no such file").arg(info.fileName()));
    if (!info.isFile() || !info.isReadable())
        throw ImportFailure(
            QStringLiteral("Cannot read %1: it is not a readable file").arg(info.fileName()));
    throw ImportFailure(
        QStringLiteral("%1 is not a track file the program reads (GPX, GeoJSON, KML, "
                       "CSV or location record)")
            .arg(info.fileName()));
}
