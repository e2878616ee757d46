#pragma once

#include "importing/jsonpull.h"
#include "importing/pointreader.h"

#include <QDateTime>
#include <vector>

// GeoJSON (RFC 7946): a FeatureCollection or a single Feature, read a token at a time, so that a
// call does a bounded part of the work however large a feature is. A Point or MultiPoint
// feature's points take its "time" or "timestamp"; a LineString's or MultiLineString's take
// theirs from a list with one time a point ("coordTimes" or "times", as tools write them, nested
// as the lines are), each point without one the feature's own time. The feature's "country",
// "region", "city", "postal", "timezone" and "accuracy" (the program's own export) go with each
// of its points. Other geometries are no track and are left.
//
// The places of one feature are held until its end, as numbers: its times and its geometry's
// type may come after them.
class GeoJsonReader : public PointReader
{
public:
    explicit GeoJsonReader(const QString &path);

protected:
    bool readSome(QList<ImportedPoint> &out, int max) override;

private:
    struct Position
    {
        double longitude = qQNaN();
        double latitude = qQNaN();
        qint64 line = 0;
    };
    struct Feature
    {
        qint64 line = 0;
        bool hasGeometry = false;
        QByteArray geometryType;
        std::vector<Position> positions;
        QDateTime time;
        std::vector<QDateTime> times;
        ImportedPoint place; // the properties each point takes
    };
    // Where in the file the reading stands: the innermost last.
    enum class Context {
        Start,
        Top,
        Features,
        Feature,
        Geometry,
        Properties,
        Coordinates,
        Times,
        Skip,
        End
    };

    void step();
    void member(Context context);
    void property(const QByteArray &key, JsonPull::Token value);
    void coordinate(JsonPull::Token token);
    void time(JsonPull::Token token);
    void skip(JsonPull::Token value);
    void finishFeature();
    void putPosition(QList<ImportedPoint> &out, size_t index);
    [[noreturn]] void fail(const char *why) const;

    JsonPull m_json;
    std::vector<Context> m_context {Context::Start};
    int m_leafDepth = 0; // how deep in the lists (or the skipped value) the reading is
    Position m_position;
    int m_numbers = 0; // of the position being read
    QByteArray m_topType;
    Feature m_feature; // being read
    Feature m_ready; // read, its points being handed out
    size_t m_readyAt = 0;
    bool m_done = false;
};
