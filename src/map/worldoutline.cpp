#include "map/worldoutline.h"

#include <QFile>
#include <QtEndian>
#include <cmath>
#include <cstring>

namespace {

constexpr qsizetype HeaderSize = 100;
constexpr qsizetype RecordHeaderSize = 8;
constexpr qint32 FileCode = 9994;
constexpr qint32 PolygonShape = 5;
// A polygon record: shape type, bounding box (four doubles), part and point counts.
constexpr qsizetype PolygonHead = 4 + 4 * 8 + 4 + 4;

// The readers stay calls of their own: inlined into a reader of a possibly empty array, GCC's
// bounds check (with the sanitizers' build) takes the empty array's one byte for the array read.
[[gnu::noinline]] qint32 bigInt(const char *at)
{
    return qFromBigEndian<qint32>(at);
}

[[gnu::noinline]] qint32 littleInt(const char *at)
{
    return qFromLittleEndian<qint32>(at);
}

[[gnu::noinline]] double littleDouble(const char *at)
{
    const quint64 bits = qFromLittleEndian<quint64>(at);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// One polygon record's rings, added to path; false when the record does not hold together.
bool addPolygon(const char *content, qsizetype length, QPainterPath &path)
{
    if (length < PolygonHead)
        return false;
    const qint32 parts = littleInt(content + 36);
    const qint32 points = littleInt(content + 40);
    if (parts < 0 || points < 0
        || length < PolygonHead + qsizetype(parts) * 4 + qsizetype(points) * 16)
        return false;
    const char *starts = content + PolygonHead;
    const char *coordinates = starts + qsizetype(parts) * 4;
    for (qint32 part = 0; part < parts; ++part) {
        const qint32 first = littleInt(starts + part * 4);
        const qint32 end = part + 1 < parts ? littleInt(starts + (part + 1) * 4) : points;
        if (first < 0 || end > points || first >= end)
            return false;
        for (qint32 i = first; i < end; ++i) {
            const QPointF at(littleDouble(coordinates + i * 16),
                             -littleDouble(coordinates + i * 16 + 8));
            if (i == first)
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        path.closeSubpath();
    }
    return true;
}

} // namespace

QList<QPainterPath> ReadShapeRecords(const QByteArray &shp)
{
    QList<QPainterPath> records;
    if (shp.size() < HeaderSize || bigInt(shp.constData()) != FileCode)
        return records;
    qsizetype at = HeaderSize;
    while (at + RecordHeaderSize <= shp.size()) {
        const qsizetype length = qsizetype(bigInt(shp.constData() + at + 4)) * 2;
        const qsizetype content = at + RecordHeaderSize;
        if (length < 4 || length > shp.size() - content)
            break;
        QPainterPath &record = records.emplace_back();
        // Rings inside rings (lakes, enclaves) are holes.
        record.setFillRule(Qt::OddEvenFill);
        if (littleInt(shp.constData() + content) == PolygonShape
            && !addPolygon(shp.constData() + content, length, record))
            break;
        at = content + length;
    }
    return records;
}

QPainterPath ReadShapePolygons(const QByteArray &shp)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const QPainterPath &record : ReadShapeRecords(shp))
        path.addPath(record);
    return path;
}

namespace {

QByteArray builtIn(const QString &name)
{
    QFile file(QStringLiteral(":/map/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

const QPainterPath &WorldOutline()
{
    static const QPainterPath outline = ReadShapePolygons(builtIn(QStringLiteral("countries.shp")));
    return outline;
}

namespace {

// Where a square degree lies against one country's outline: wholly out, wholly in, or crossed by
// (or within a hair of) its outline, where only the outline itself can answer.
enum class Square : quint8 { Outside, Inside, Border };

// Squares are one degree; those reaching a country's bounds are kept with it, one square more to
// the west and north so that a place on a square's edge is found in whichever square it falls.
constexpr int Columns = 360;
constexpr int Rows = 180;

int columnOf(double x)
{
    return qBound(0, int(std::floor(x)) + 180, Columns - 1);
}

int rowOf(double y)
{
    return qBound(0, int(std::floor(y)) + 90, Rows - 1);
}

// Farther than this from every line of an outline, a whole square is on one side of it, however
// the crossing of a line is rounded.
constexpr double Hair = 1e-6;

struct Country
{
    QRectF bounds;
    QPainterPath outline;
    QString code;
    int left = 0;
    int top = 0;
    int width = 0;
    QList<Square> squares;

    Country(const QPainterPath &path, const QString &name)
        : bounds(path.boundingRect()),
          outline(path),
          code(name),
          left(columnOf(bounds.left()) - (columnOf(bounds.left()) > 0 ? 1 : 0)),
          top(rowOf(bounds.top()) - (rowOf(bounds.top()) > 0 ? 1 : 0)),
          width(columnOf(bounds.right()) - left + 1)
    {
        const int height = rowOf(bounds.bottom()) - top + 1;
        squares.fill(Square::Outside, qsizetype(width) * height);
        const auto mark = [&](double x1, double y1, double x2, double y2) {
            const int lastRow = qMin(rowOf(qMax(y1, y2) + Hair), top + height - 1);
            const int lastColumn = qMin(columnOf(qMax(x1, x2) + Hair), left + width - 1);
            for (int row = qMax(rowOf(qMin(y1, y2) - Hair), top); row <= lastRow; ++row) {
                for (int column = qMax(columnOf(qMin(x1, x2) - Hair), left); column <= lastColumn;
                     ++column)
                    squares[qsizetype(row - top) * width + column - left] = Square::Border;
            }
        };
        // Every line of the outline, the closing ones too. A line all but level is passed over
        // by the outline's own test for places level with it, so its rows are left to that test.
        QPointF start, last;
        const auto line = [&](const QPointF &from, const QPointF &to) {
            mark(from.x(), from.y(), to.x(), to.y());
            if (from.y() != to.y() && qFuzzyCompare(from.y(), to.y()))
                mark(bounds.left(), from.y(), bounds.right(), to.y());
        };
        for (int i = 0; i < outline.elementCount(); ++i) {
            const QPainterPath::Element element = outline.elementAt(i);
            const QPointF at(element.x, element.y);
            if (element.isMoveTo()) {
                if (i > 0 && last != start)
                    line(last, start);
                start = at;
            } else {
                line(last, at);
            }
            last = at;
        }
        if (last != start)
            line(last, start);
        // Squares side by side that no line comes near are all in or all out, so a run of them
        // asks the outline once.
        for (int row = 0; row < height; ++row) {
            bool inRun = false;
            bool inside = false;
            for (int column = 0; column < width; ++column) {
                Square &square = squares[qsizetype(row) * width + column];
                if (square == Square::Border) {
                    inRun = false;
                    continue;
                }
                const QRectF area(left + column - 180, top + row - 90, 1, 1);
                if (!inRun)
                    inside = outline.contains(area.center());
                inRun = true;
                if (inside)
                    square = bounds.contains(area) ? Square::Inside : Square::Border;
            }
        }
    }

    Square squareAt(int column, int row) const
    {
        return squares[qsizetype(row - top) * width + column - left];
    }
};

// The countries whose squares reach each square degree, in the outlines' own order: a place is
// tried only against the few that could hold it, and where outlines overlap the first that holds
// it still answers, as when every country was tried.
struct CountryGrid
{
    QList<Country> countries;
    QList<quint32> starts; // each square's first entry in indices, and one past the last square's
    QList<quint16> indices;

    CountryGrid()
    {
        const QList<QPainterPath> outlines
            = ReadShapeRecords(builtIn(QStringLiteral("countries.shp")));
        const QList<QByteArray> codes = builtIn(QStringLiteral("countries.codes")).split('\n');
        for (qsizetype i = 0; i < outlines.size() && i < codes.size(); ++i) {
            if (!codes[i].trimmed().isEmpty())
                countries.append(Country(outlines[i], QString::fromLatin1(codes[i].trimmed())));
        }
        // Counted first and then placed, so that every square keeps the countries in order.
        const auto each = [](const Country &country, auto &&enter) {
            for (int i = 0; i < country.squares.size(); ++i)
                enter((country.top + i / country.width) * Columns + country.left
                      + i % country.width);
        };
        starts.fill(0, Columns * Rows + 1);
        for (const Country &country : std::as_const(countries))
            each(country, [this](int square) { ++starts[square + 1]; });
        for (int square = 0; square < Columns * Rows; ++square)
            starts[square + 1] += starts[square];
        indices.resize(starts.last());
        QList<quint32> next = starts;
        for (qsizetype i = 0; i < countries.size(); ++i)
            each(countries[i], [&](int square) { indices[next[square]++] = quint16(i); });
    }

    QString at(const QPointF &place) const
    {
        const auto holds = [&place](const Country &country) {
            return country.bounds.contains(place) && country.outline.contains(place);
        };
        // Beyond the map (or not a number) no square is found, and every country is tried.
        if (!(place.x() >= -180 && place.x() <= 180 && place.y() >= -90 && place.y() <= 90)) {
            for (const Country &country : countries) {
                if (holds(country))
                    return country.code;
            }
            return {};
        }
        const int column = qMin(int(place.x() + 180), Columns - 1);
        const int row = qMin(int(place.y() + 90), Rows - 1);
        const qsizetype square = qsizetype(row) * Columns + column;
        for (quint32 i = starts[square]; i < starts[square + 1]; ++i) {
            const Country &country = countries[indices[i]];
            const Square where = country.squareAt(column, row);
            if (where == Square::Inside || (where == Square::Border && holds(country)))
                return country.code;
        }
        return {};
    }
};

} // namespace

QString CountryAt(double longitude, double latitude)
{
    static const CountryGrid grid;
    return grid.at(QPointF(longitude, -latitude));
}
