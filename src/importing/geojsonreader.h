#pragma once

#include "importing/jsonpull.h"
#include "importing/pointreader.h"

#include <QDateTime>
#include <memory>
#include <vector>

// GeoJSON (RFC 7946): a FeatureCollection or a single Feature, read a feature at a time. A
// Point or MultiPoint feature's points take its "time" or "timestamp"; a LineString's or
// MultiLineString's take theirs from a list with one time a point ("coordTimes" or "times", as
// tools write them, nested as the lines are), each point without one the feature's own time. The
// feature's "country", "region", "city", "postal", "timezone" and "accuracy" (the program's own
// export) go with each of its points. Other geometries are no track and are left.
//
// The points of one feature are held until its end, as numbers: its times may come after its
// places.
class GeoJsonReader : public PointReader
{
public:
    explicit GeoJsonReader(const QString &path);
    ~GeoJsonReader() override;

protected:
    bool readSome(QList<ImportedPoint> &out, int max) override;

private:
    struct Feature;

    void readFeature(Feature &feature);
    void readMember(Feature &feature);
    void readGeometry(Feature &feature);
    void readPositions(Feature &feature);
    void readProperties(Feature &feature);
    void readTimes(std::vector<QDateTime> &times);
    void putFeature(QList<ImportedPoint> &out, Feature &feature);
    [[noreturn]] void fail(const char *why) const;

    enum class Place { Start, Top, Features, Done };

    JsonPull m_json;
    Place m_place = Place::Start;
    QByteArray m_topType;
    std::unique_ptr<Feature> m_topFeature;
};
