#include "map/geoexport.h"

#include "map/geofixes.h"
#include "map/geotext.h"
#include "results/resultslist.h"

#include <QFileInfo>
#include <array>

namespace GeoExport {
namespace {

using GeoText::Escape;

struct FormatName
{
    Format format;
    const char *filter;
    // The first is the one added to a name without one.
    std::array<const char *, 2> extensions;
};

constexpr FormatName Formats[] = {
    {Format::Gpx, "GPX waypoints (*.gpx)", {"gpx", nullptr}},
    {Format::GeoJson, "GeoJSON (*.geojson *.json)", {"geojson", "json"}},
    {Format::Kml, "KML placemarks (*.kml)", {"kml", nullptr}},
    {Format::Csv, "CSV with latitude and longitude (*.csv)", {"csv", nullptr}},
};

const FormatName &named(Format format)
{
    return Formats[int(format)];
}

// The cells of a row as a map shows them: the blanks the service sends before a value left out.
// The point is the surer of the row's fixes.
struct Place
{
    std::optional<Fix> point;
    QStringView time, country, region, city, postal, timezone;
    RowFixes fixes;
};

Place readRow(const ResultsList &list, int row)
{
    auto cell = [&](int column) {
        return list.cellView(row, column).trimmed();
    };
    const RowFixes fixes = GeoFixes::Read(list, row);
    return {fixes.best(),
            cell(ResultsList::Time),
            cell(ResultsList::Country),
            cell(ResultsList::Region),
            cell(ResultsList::City),
            cell(ResultsList::PostalCode),
            cell(ResultsList::Timezone),
            fixes};
}

// "City, Country", or whichever of them there is, or else the region.
void putName(QByteArray &out, const Place &place)
{
    if (!place.city.isEmpty()) {
        GeoText::Append(out, place.city, Escape::Xml);
        if (!place.country.isEmpty())
            out.append(", ");
    }
    GeoText::Append(out, place.country, Escape::Xml);
    if (place.city.isEmpty() && place.country.isEmpty())
        GeoText::Append(out, place.region, Escape::Xml);
}

bool hasName(const Place &place)
{
    return !place.city.isEmpty() || !place.country.isEmpty() || !place.region.isEmpty();
}

// What the name leaves out, "Region: Zürich; Postal code: 8000; ...", the empty ones skipped.
void putDescription(QByteArray &out, const Place &place)
{
    const std::array<std::pair<const char *, QStringView>, 4> parts {{
        {"Region: ", place.region},
        {"Postal code: ", place.postal},
        {"Time zone: ", place.timezone},
        {"Logged: ", place.time},
    }};
    bool first = true;
    for (const auto &[label, value] : parts) {
        if (value.isEmpty())
            continue;
        if (!first)
            out.append("; ");
        first = false;
        out.append(label);
        GeoText::Append(out, value, Escape::Xml);
    }
}

void gpxRow(QByteArray &out, const Place &place, const QDateTime &instant)
{
    out.append("  <wpt lat=\"");
    GeoText::AppendNumber(out, place.point->latitude);
    out.append("\" lon=\"");
    // The GPX schema takes longitudes from -180 up to but not including 180: the same meridian.
    GeoText::AppendNumber(out, place.point->longitude == 180 ? -180 : place.point->longitude);
    out.append("\">\n");
    if (instant.isValid()) {
        out.append("    <time>");
        GeoText::AppendUtcTime(out, instant);
        out.append("</time>\n");
    }
    if (hasName(place)) {
        out.append("    <name>");
        putName(out, place);
        out.append("</name>\n");
    }
    out.append("    <desc>");
    putDescription(out, place);
    out.append("</desc>\n    <src>");
    out.append(place.point->sourceName().toLatin1());
    // Each value an element of its own: readers take such elements as the point's fields.
    out.append("</src>\n    <extensions>\n");
    GeoFixes::EachProperty(place.fixes, [&](int name, const QString &text, double number) {
        if (name == 0)
            return;
        out.append("      <trovanel:").append(GeoFixes::Names[size_t(name)]).append('>');
        GeoFixes::PutValue(out, text, number, Escape::Xml);
        out.append("</trovanel:").append(GeoFixes::Names[size_t(name)]).append(">\n");
    });
    out.append("    </extensions>\n  </wpt>\n");
}

void kmlRow(QByteArray &out, const Place &place, const QDateTime &instant)
{
    out.append("  <Placemark>\n");
    if (hasName(place)) {
        out.append("    <name>");
        putName(out, place);
        out.append("</name>\n");
    }
    out.append("    <description>");
    putDescription(out, place);
    out.append("</description>\n");
    if (instant.isValid()) {
        out.append("    <TimeStamp><when>");
        GeoText::AppendUtcTime(out, instant);
        out.append("</when></TimeStamp>\n");
    }
    out.append("    <ExtendedData>\n");
    GeoFixes::EachProperty(place.fixes, [&](int name, const QString &text, double number) {
        out.append("      <Data name=\"")
            .append(GeoFixes::Names[size_t(name)])
            .append("\"><value>");
        GeoFixes::PutValue(out, text, number, Escape::Xml);
        out.append("</value></Data>\n");
    });
    out.append("    </ExtendedData>\n");
    out.append("    <Point><coordinates>");
    GeoText::AppendNumber(out, place.point->longitude);
    out.append(',');
    GeoText::AppendNumber(out, place.point->latitude);
    out.append("</coordinates></Point>\n  </Placemark>\n");
}

void jsonString(QByteArray &out, const char *key, QStringView value)
{
    out.append(",\"");
    out.append(key);
    out.append("\":\"");
    GeoText::Append(out, value, Escape::Json);
    out.append('"');
}

void geoJsonRow(QByteArray &out, const Place &place, const QDateTime &instant, bool first)
{
    out.append(first ? "\n" : ",\n");
    out.append(R"({"type":"Feature","geometry":{"type":"Point","coordinates":[)");
    GeoText::AppendNumber(out, place.point->longitude);
    out.append(',');
    GeoText::AppendNumber(out, place.point->latitude);
    out.append(R"(]},"properties":{"time":)");
    if (instant.isValid()) {
        out.append('"');
        GeoText::AppendOffsetTime(out, instant);
        out.append('"');
    } else {
        out.append("null");
    }
    jsonString(out, "country", place.country);
    jsonString(out, "region", place.region);
    jsonString(out, "city", place.city);
    jsonString(out, "postal", place.postal);
    jsonString(out, "timezone", place.timezone);
    // A fix the row does not have is null, so every feature has the same properties.
    int next = 0;
    GeoFixes::EachProperty(place.fixes, [&](int name, const QString &text, double number) {
        for (; next < name; ++next)
            out.append(",\"").append(GeoFixes::Names[size_t(next)]).append("\":null");
        out.append(",\"").append(GeoFixes::Names[size_t(name)]).append("\":");
        if (!text.isEmpty())
            out.append('"');
        GeoFixes::PutValue(out, text, number, Escape::Json);
        if (!text.isEmpty())
            out.append('"');
        next = name + 1;
    });
    for (; next < int(GeoFixes::Names.size()); ++next)
        out.append(",\"").append(GeoFixes::Names[size_t(next)]).append("\":null");
    out.append("}}");
}

void csvRow(QByteArray &out, const Place &place, const QDateTime &instant)
{
    if (instant.isValid())
        GeoText::AppendOffsetTime(out, instant);
    out.append(',');
    if (place.point) {
        GeoText::AppendNumber(out, place.point->latitude);
        out.append(',');
        GeoText::AppendNumber(out, place.point->longitude);
    } else {
        out.append(',');
    }
    for (QStringView cell :
         {place.country, place.region, place.city, place.postal, place.timezone}) {
        out.append(',');
        GeoText::AppendCsvField(out, cell);
    }
    int next = 0;
    GeoFixes::EachProperty(place.fixes, [&](int name, const QString &text, double number) {
        for (; next <= name; ++next)
            out.append(',');
        GeoFixes::PutValue(out, text, number, Escape::None);
    });
    for (; next < int(GeoFixes::Names.size()); ++next)
        out.append(',');
    out.append("\r\n");
}

} // namespace

QStringList Filters()
{
    QStringList filters;
    for (const FormatName &format : Formats)
        filters << QString::fromUtf8(format.filter);
    return filters;
}

std::optional<Format> FormatOfName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    for (const FormatName &format : Formats) {
        for (const char *extension : format.extensions) {
            if (extension && suffix.compare(QLatin1StringView(extension), Qt::CaseInsensitive) == 0)
                return format.format;
        }
    }
    return std::nullopt;
}

Format FormatOfFilter(const QString &filter)
{
    for (const FormatName &format : Formats) {
        if (filter == QLatin1StringView(format.filter))
            return format.format;
    }
    return Format::Gpx;
}

QString Extension(Format format)
{
    return QLatin1Char('.') + QLatin1StringView(named(format).extensions[0]);
}

Target ChooseTarget(const QString &path, const QString &filter)
{
    if (const std::optional<Format> format = FormatOfName(path))
        return {path, *format};
    const Format format = FormatOfFilter(filter);
    // "trip." takes "gpx", not ".gpx".
    const QString extension = Extension(format);
    return {path + (path.endsWith(QLatin1Char('.')) ? extension.sliced(1) : extension), format};
}

void Writer::head(QByteArray &out)
{
    m_first = true;
    switch (m_format) {
    case Format::Gpx:
        out.append(R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="Trovanel" xmlns="http://www.topografix.com/GPX/1/1" )"
                   R"(xmlns:trovanel="https://brenvatic.github.io/trovanel/xmlns/fixes/1" )"
                   R"(xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" )"
                   R"(xsi:schemaLocation="http://www.topografix.com/GPX/1/1 )"
                   R"(http://www.topografix.com/GPX/1/1/gpx.xsd">
)");
        break;
    case Format::GeoJson:
        out.append(R"({"type":"FeatureCollection","features":[)");
        break;
    case Format::Kml:
        out.append(R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2">
<Document>
  <name>Trovanel results</name>
)");
        break;
    case Format::Csv:
        out.append("time,latitude,longitude,country,region,city,postal,timezone");
        for (const char *name : GeoFixes::Names)
            out.append(',').append(name);
        out.append("\r\n");
        break;
    }
}

bool Writer::row(QByteArray &out, const ResultsList &list, int row)
{
    const Place place = readRow(list, row);
    if (!place.point && m_format != Format::Csv)
        return false;
    // The moment the log was made; the Time cell is only how it was shown.
    const QDateTime instant = list.instant(row);
    switch (m_format) {
    case Format::Gpx:
        gpxRow(out, place, instant);
        break;
    case Format::GeoJson:
        geoJsonRow(out, place, instant, m_first);
        break;
    case Format::Kml:
        kmlRow(out, place, instant);
        break;
    case Format::Csv:
        csvRow(out, place, instant);
        break;
    }
    m_first = false;
    return true;
}

void Writer::tail(QByteArray &out)
{
    switch (m_format) {
    case Format::Gpx:
        out.append("</gpx>\n");
        break;
    case Format::GeoJson:
        out.append("\n]}\n");
        break;
    case Format::Kml:
        out.append("</Document>\n</kml>\n");
        break;
    case Format::Csv:
        break;
    }
}

} // namespace GeoExport
