#pragma once

#include "importing/pointreader.h"

#include <QXmlStreamReader>

// What the GPX and KML readers share: the file read by QXmlStreamReader, which takes it from the
// disk a block at a time, and a turn that ends after a bounded number of the file's parts.
class XmlPointReader : public PointReader
{
protected:
    // `rootName` is the local name the file's first element must have ("gpx", "kml").
    XmlPointReader(const QString &path, QString formatName, QString rootName);

    bool readSome(QList<ImportedPoint> &out, int max) final;

    // Each start and end of an element below the root, with the depth of the element (the
    // root's children are at 1).
    virtual void start(QList<ImportedPoint> &out, int depth) = 0;
    virtual void end(QList<ImportedPoint> &out, int depth) = 0;

    QXmlStreamReader &xml() { return m_xml; }
    qint64 line() const { return m_xml.lineNumber(); }
    // The text of the element just started; the reader then stands at its end, whose end() is
    // not called.
    QString elementText();
    // "lon,lat[,alt]" (KML's coordinates) or "lon lat alt" (a track's coord): the point's place,
    // NaN where a number is missing.
    static void readLonLat(QStringView text, QChar separator, ImportedPoint &point);

private:
    QXmlStreamReader m_xml;
    QString m_rootName;
    int m_depth = 0;
};
