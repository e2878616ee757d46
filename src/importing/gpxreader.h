#pragma once

#include "importing/xmlpointreader.h"

#include <optional>

// GPX 1.0 and 1.1: every track point, route point and waypoint with its lat and lon and its
// <time>. The names and descriptions are what a person wrote, not places, and are left.
class GpxReader : public XmlPointReader
{
public:
    explicit GpxReader(const QString &path);

protected:
    void start(QList<ImportedPoint> &out, int depth) override;
    void end(QList<ImportedPoint> &out, int depth) override;

private:
    std::optional<ImportedPoint> m_point;
    int m_pointDepth = 0;
};
