#pragma once

#include "importing/pointreader.h"

#include <QXmlStreamReader>

// What the GPX and KML readers share: QXmlStreamReader fed the file a block at a time, so that a
// call reads a bounded part of the file, however long one of its texts is; the texts the reader
// asks for collected as they come. Qt's reader holds one text of the file whole until its end
// (a KML path's coordinates, say): that much memory, for that while, is the one exception.
class XmlPointReader : public PointReader
{
protected:
    // `rootName` is the local name the file's first element must have ("gpx", "kml").
    XmlPointReader(const QString &path, QString formatName, QString rootName);

    bool readSome(QList<ImportedPoint> &out, int max) final;

    // Each start and end of an element below the root, with the depth of the element (the
    // root's children are at 1); xml() stands at it.
    virtual void start(QList<ImportedPoint> &out, int depth) = 0;
    virtual void end(QList<ImportedPoint> &out, int depth) = 0;

    QXmlStreamReader &xml() { return m_xml; }
    qint64 line() const { return m_xml.lineNumber(); }
    // Called from start(): the element's own text is kept for its end(), as text().
    void collectText();
    QStringView text() const { return m_text; }
    // "lon,lat[,alt]" (KML's coordinates) or "lon lat alt" (a track's coord): the point's place,
    // NaN where a number is missing.
    static void readLonLat(QStringView text, QChar separator, ImportedPoint &point);

private:
    QXmlStreamReader m_xml;
    QString m_rootName;
    int m_depth = 0;
    int m_collectDepth = 0;
    QString m_text;
};
