#include "map/worldoutline.h"

#include <QFile>
#include <QtEndian>
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

QString CountryAt(double longitude, double latitude)
{
    struct Country
    {
        QRectF bounds;
        QPainterPath outline;
        QString code;
    };
    static const QList<Country> countries = [] {
        const QList<QPainterPath> outlines
            = ReadShapeRecords(builtIn(QStringLiteral("countries.shp")));
        const QList<QByteArray> codes = builtIn(QStringLiteral("countries.codes")).split('\n');
        QList<Country> made;
        for (qsizetype i = 0; i < outlines.size() && i < codes.size(); ++i) {
            if (!codes[i].trimmed().isEmpty())
                made.append({outlines[i].boundingRect(), outlines[i],
                             QString::fromLatin1(codes[i].trimmed())});
        }
        return made;
    }();
    const QPointF at(longitude, -latitude);
    for (const Country &country : countries) {
        if (country.bounds.contains(at) && country.outline.contains(at))
            return country.code;
    }
    return {};
}
