#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class ResultsList;

// The ticked rows as files that mapping tools read: GPX 1.1 waypoints, a GeoJSON feature
// collection, KML 2.2 placemarks, or CSV with the latitude and longitude in columns of their
// own. Rows whose Coordinates cell names no place are left out of the first three, and kept in
// the CSV with empty coordinates. Each row stands at its surer fix, and carries both fixes with
// their source and accuracy (see GeoFixes).
namespace GeoExport {

enum class Format { Gpx, GeoJson, Kml, Csv };

// The save dialog's filters, one a format, in the order of Format.
QStringList Filters();
// The format a file name's extension names (case does not matter); nothing for any other.
std::optional<Format> FormatOfName(const QString &path);
// The format of one of Filters(); GPX for any other text.
Format FormatOfFilter(const QString &filter);
// ".gpx", ".geojson", ".kml", ".csv".
QString Extension(Format format);

// Where the file goes and in which format: the name's own extension when it names a format,
// else the chosen filter's, whose extension is then added to the name.
struct Target
{
    QString path;
    Format format;
};
Target ChooseTarget(const QString &path, const QString &filter);

// Puts down one file: head(), row() for each ticked row, tail().
class Writer
{
public:
    explicit Writer(Format format) : m_format(format) { }

    void head(QByteArray &out);
    // False when the row has no usable place and was left out.
    bool row(QByteArray &out, const ResultsList &list, int row);
    void tail(QByteArray &out);

    Format format() const { return m_format; }

private:
    Format m_format;
    bool m_first = true;
};

} // namespace GeoExport
