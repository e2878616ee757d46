#include "importing/geojsonreader.h"

#include "importing/formaterror.h"
#include "importing/importtime.h"

using Token = JsonPull::Token;

struct GeoJsonReader::Feature
{
    qint64 line = 0;
    bool hasGeometry = false;
    QByteArray geometryType;
    std::vector<ImportedPoint> positions;
    QDateTime time;
    std::vector<QDateTime> times;
    ImportedPoint place; // the properties each point takes
};

GeoJsonReader::GeoJsonReader(const QString &path)
    : PointReader(path, QStringLiteral("GeoJSON")), m_json(&file())
{ }

GeoJsonReader::~GeoJsonReader() = default;

void GeoJsonReader::fail(const char *why) const
{
    throw FormatError {QString::fromUtf8(why), m_json.line()};
}

bool GeoJsonReader::readSome(QList<ImportedPoint> &out, int max)
{
    const qsizetype wanted = out.size() + max;
    // Features with no point of their own (polygons, say) end a turn too.
    for (qint64 steps = qint64(max) * 4; steps > 0 && out.size() < wanted; --steps) {
        switch (m_place) {
        case Place::Start:
            if (m_json.next() != Token::BeginObject)
                fail("it is not a JSON object");
            m_place = Place::Top;
            break;
        case Place::Top: {
            const Token token = m_json.next();
            if (token == Token::EndObject) {
                if (m_topType == "Feature" && m_topFeature)
                    putFeature(out, *m_topFeature);
                else if (m_topType != "FeatureCollection")
                    fail("it is neither a FeatureCollection nor a Feature");
                m_json.next(); // the end of the file, or a complaint that it is not
                m_place = Place::Done;
                return false;
            }
            const QByteArray key = m_json.text();
            if (key == "type") {
                if (m_json.next() != Token::String)
                    fail("its type is not a text");
                m_topType = m_json.text();
            } else if (key == "features") {
                const Token list = m_json.next();
                if (list == Token::BeginArray)
                    m_place = Place::Features;
                else if (list != Token::Null)
                    fail("its features are not a list");
            } else {
                // A single Feature's own members, at the top.
                if (!m_topFeature) {
                    m_topFeature = std::make_unique<Feature>();
                    m_topFeature->line = m_json.line();
                }
                readMember(*m_topFeature);
            }
            break;
        }
        case Place::Features: {
            const Token token = m_json.next();
            if (token == Token::EndArray) {
                m_place = Place::Top;
            } else if (token == Token::BeginObject) {
                Feature feature;
                feature.line = m_json.line();
                readFeature(feature);
                putFeature(out, feature);
            } else {
                fail("its features hold something other than objects");
            }
            break;
        }
        case Place::Done:
            return false;
        }
    }
    return true;
}

void GeoJsonReader::readFeature(Feature &feature)
{
    while (m_json.next() == Token::Key)
        readMember(feature);
}

void GeoJsonReader::readMember(Feature &feature)
{
    const QByteArray key = m_json.text();
    if (key == "geometry") {
        readGeometry(feature);
    } else if (key == "properties") {
        readProperties(feature);
    } else {
        m_json.skip(m_json.next());
    }
}

void GeoJsonReader::readGeometry(Feature &feature)
{
    const Token token = m_json.next();
    if (token == Token::Null) {
        // A feature placed nowhere: counted with the points beyond the globe.
        feature.hasGeometry = true;
        return;
    }
    if (token != Token::BeginObject)
        fail("a geometry is not an object");
    feature.hasGeometry = true;
    while (m_json.next() == Token::Key) {
        const QByteArray key = m_json.text();
        if (key == "type") {
            if (m_json.next() != Token::String)
                fail("a geometry's type is not a text");
            feature.geometryType = m_json.text();
        } else if (key == "coordinates") {
            readPositions(feature);
        } else {
            m_json.skip(m_json.next());
        }
    }
}

void GeoJsonReader::readPositions(Feature &feature)
{
    // Nested lists down to the positions, [longitude, latitude, height…], in the order given.
    Token token = m_json.next();
    if (token != Token::BeginArray) {
        m_json.skip(token);
        return;
    }
    int depth = 1;
    ImportedPoint position;
    position.line = m_json.line();
    int numbers = 0;
    while (depth > 0) {
        token = m_json.next();
        if (token == Token::BeginArray) {
            ++depth;
            position = ImportedPoint();
            position.line = m_json.line();
            numbers = 0;
        } else if (token == Token::EndArray) {
            --depth;
            if (numbers > 0) {
                if (numbers < 2)
                    position.latitude = position.longitude = qQNaN();
                feature.positions.push_back(position);
                numbers = 0;
            }
        } else if (token == Token::Number) {
            if (numbers == 0)
                position.longitude = m_json.number();
            else if (numbers == 1)
                position.latitude = m_json.number();
            ++numbers;
        } else {
            m_json.skip(token);
        }
    }
}

void GeoJsonReader::readProperties(Feature &feature)
{
    const Token token = m_json.next();
    if (token != Token::BeginObject) {
        m_json.skip(token);
        return;
    }
    ImportedPoint &place = feature.place;
    while (m_json.next() == Token::Key) {
        const QByteArray key = m_json.text();
        if (key == "coordTimes" || key == "times") {
            readTimes(feature.times);
            continue;
        }
        const Token value = m_json.next();
        if (value == Token::String) {
            const QByteArray &text = m_json.text();
            if (key == "time" || key == "timestamp")
                feature.time = ImportTime::Parse(text);
            else if (key == "country")
                place.country = QString::fromUtf8(text);
            else if (key == "region")
                place.region = QString::fromUtf8(text);
            else if (key == "city")
                place.city = QString::fromUtf8(text);
            else if (key == "postal")
                place.postalCode = QString::fromUtf8(text);
            else if (key == "timezone")
                place.timeZone = QString::fromUtf8(text);
        } else if (value == Token::Number) {
            if (key == "time" || key == "timestamp")
                feature.time = ImportTime::FromEpoch(m_json.number());
            else if (key == "accuracy")
                place.accuracyMetres = std::max(0.0, m_json.number());
        } else {
            m_json.skip(value);
        }
    }
}

void GeoJsonReader::readTimes(std::vector<QDateTime> &times)
{
    // One time a position, in lists nested as the positions are; flattened alike.
    Token token = m_json.next();
    if (token != Token::BeginArray) {
        m_json.skip(token);
        return;
    }
    for (int depth = 1; depth > 0;) {
        token = m_json.next();
        if (token == Token::BeginArray)
            ++depth;
        else if (token == Token::EndArray)
            --depth;
        else if (token == Token::String)
            times.push_back(ImportTime::Parse(m_json.text()));
        else if (token == Token::Number)
            times.push_back(ImportTime::FromEpoch(m_json.number()));
        else if (token == Token::BeginObject)
            m_json.skip(token);
        else
            times.emplace_back();
    }
}

void GeoJsonReader::putFeature(QList<ImportedPoint> &out, Feature &feature)
{
    const QByteArray &type = feature.geometryType;
    if (type != "Point" && type != "MultiPoint" && type != "LineString"
        && type != "MultiLineString") {
        if (feature.hasGeometry && type.isEmpty()) {
            ImportedPoint nowhere;
            nowhere.line = feature.line;
            take(out, std::move(nowhere));
        }
        return;
    }
    for (size_t i = 0; i < feature.positions.size(); ++i) {
        ImportedPoint point = feature.place;
        point.latitude = feature.positions[i].latitude;
        point.longitude = feature.positions[i].longitude;
        point.line = feature.positions[i].line;
        point.instant = i < feature.times.size() && feature.times[i].isValid() ? feature.times[i]
                                                                               : feature.time;
        take(out, std::move(point));
    }
}
