#include "importing/geojsonreader.h"

#include "importing/formaterror.h"
#include "importing/importtime.h"

using Token = JsonPull::Token;

GeoJsonReader::GeoJsonReader(const QString &path)
    : PointReader(path, QStringLiteral("GeoJSON")), m_json(&file())
{ }

void GeoJsonReader::fail(const char *why) const
{
    throw FormatError {QString::fromUtf8(why), m_json.line()};
}

bool GeoJsonReader::readSome(QList<ImportedPoint> &out, int max)
{
    const qsizetype wanted = out.size() + max;
    qint64 positions = max; // handed out or counted this call
    // A point is some tens of tokens; a call reads no more than this many whatever they hold.
    for (qint64 tokens = std::max<qint64>(4096, qint64(max) * 64); tokens > 0; --tokens) {
        while (m_readyAt < m_ready.positions.size()) {
            if (out.size() >= wanted || positions-- <= 0)
                return true;
            putPosition(out, m_readyAt++);
        }
        if (out.size() >= wanted)
            return true;
        if (m_done)
            return false;
        step();
    }
    return true;
}

void GeoJsonReader::step()
{
    const Token token = m_json.next();
    const Context context = m_context.back();
    switch (context) {
    case Context::Start:
        if (token != Token::BeginObject)
            fail("it is not a JSON object");
        m_context.back() = Context::Top;
        // A single Feature's own members stand at the top.
        m_feature.line = m_json.line();
        return;
    case Context::Top:
        if (token != Token::EndObject)
            return member(context);
        if (m_topType == "Feature")
            finishFeature();
        else if (m_topType != "FeatureCollection")
            fail("it is neither a FeatureCollection nor a Feature");
        m_context.back() = Context::End;
        return;
    case Context::End:
        m_done = true; // the tokens say nothing follows the object
        return;
    case Context::Features:
        if (token == Token::EndArray) {
            m_context.pop_back();
        } else if (token == Token::BeginObject) {
            m_feature = Feature();
            m_feature.line = m_json.line();
            m_context.push_back(Context::Feature);
        } else {
            fail("its features hold something other than objects");
        }
        return;
    case Context::Feature:
    case Context::Geometry:
    case Context::Properties:
        if (token != Token::EndObject)
            return member(context);
        m_context.pop_back();
        if (context == Context::Feature)
            finishFeature();
        return;
    case Context::Coordinates:
        return coordinate(token);
    case Context::Times:
        return time(token);
    case Context::Skip:
        if (token == Token::BeginObject || token == Token::BeginArray)
            ++m_leafDepth;
        else if ((token == Token::EndObject || token == Token::EndArray) && --m_leafDepth == 0)
            m_context.pop_back();
        return;
    }
}

void GeoJsonReader::member(Context context)
{
    const QByteArray key = m_json.text();
    const Token value = m_json.next();
    if (context == Context::Properties)
        return property(key, value);
    if (context == Context::Top && key == "type") {
        if (value != Token::String)
            fail("its type is not a text");
        m_topType = m_json.text();
    } else if (context == Context::Top && key == "features") {
        if (value == Token::BeginArray)
            m_context.push_back(Context::Features);
        else if (value != Token::Null)
            fail("its features are not a list");
    } else if (context != Context::Geometry && key == "geometry") {
        m_feature.hasGeometry = true;
        // A null geometry places the feature nowhere: counted with the points beyond the globe.
        if (value == Token::BeginObject)
            m_context.push_back(Context::Geometry);
        else if (value != Token::Null)
            fail("a geometry is not an object");
    } else if (context != Context::Geometry && key == "properties" && value == Token::BeginObject) {
        m_context.push_back(Context::Properties);
    } else if (context == Context::Geometry && key == "type" && value == Token::String) {
        m_feature.geometryType = m_json.text();
    } else if (context == Context::Geometry && key == "coordinates" && value == Token::BeginArray) {
        m_context.push_back(Context::Coordinates);
        m_leafDepth = 1;
        m_position = Position {qQNaN(), qQNaN(), m_json.line()};
        m_numbers = 0;
    } else {
        skip(value);
    }
}

void GeoJsonReader::property(const QByteArray &key, Token value)
{
    ImportedPoint &place = m_feature.place;
    const bool isTime = key == "time" || key == "timestamp";
    if ((key == "coordTimes" || key == "times") && value == Token::BeginArray) {
        m_context.push_back(Context::Times);
        m_leafDepth = 1;
    } else if (value == Token::String) {
        const QByteArray &text = m_json.text();
        if (isTime)
            m_feature.time = ImportTime::Parse(text);
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
    } else if (value == Token::Number && isTime) {
        m_feature.time = ImportTime::FromEpoch(m_json.number());
    } else if (value == Token::Number && key == "accuracy") {
        place.accuracyMetres = std::max(0.0, m_json.number());
    } else {
        skip(value);
    }
}

void GeoJsonReader::coordinate(Token token)
{
    // Nested lists down to the positions, [longitude, latitude, height…], in the order given.
    switch (token) {
    case Token::BeginArray:
        ++m_leafDepth;
        m_position = Position {qQNaN(), qQNaN(), m_json.line()};
        m_numbers = 0;
        return;
    case Token::EndArray:
        if (m_numbers > 0) {
            if (m_numbers < 2)
                m_position.latitude = m_position.longitude = qQNaN();
            m_feature.positions.push_back(m_position);
            m_numbers = 0;
        }
        if (--m_leafDepth == 0)
            m_context.pop_back();
        return;
    case Token::Number:
        if (m_numbers == 0)
            m_position.longitude = m_json.number();
        else if (m_numbers == 1)
            m_position.latitude = m_json.number();
        ++m_numbers;
        return;
    case Token::BeginObject:
        fail("coordinates hold an object");
    default:
        return;
    }
}

void GeoJsonReader::time(Token token)
{
    // One time a position, in lists nested as the positions are; flattened alike.
    switch (token) {
    case Token::BeginArray:
        ++m_leafDepth;
        return;
    case Token::EndArray:
        if (--m_leafDepth == 0)
            m_context.pop_back();
        return;
    case Token::String:
        m_feature.times.push_back(ImportTime::Parse(m_json.text()));
        return;
    case Token::Number:
        m_feature.times.push_back(ImportTime::FromEpoch(m_json.number()));
        return;
    case Token::BeginObject:
        fail("a list of times holds an object");
    default:
        m_feature.times.emplace_back();
        return;
    }
}

void GeoJsonReader::skip(Token value)
{
    if (value == Token::BeginObject || value == Token::BeginArray) {
        m_context.push_back(Context::Skip);
        m_leafDepth = 1;
    }
}

void GeoJsonReader::finishFeature()
{
    const QByteArray &type = m_feature.geometryType;
    if (type == "Point" || type == "MultiPoint" || type == "LineString"
        || type == "MultiLineString") {
        m_ready = std::move(m_feature);
    } else {
        m_ready = Feature();
        // Placed nowhere: one point beyond the globe, by the feature's line.
        if (m_feature.hasGeometry && type.isEmpty())
            m_ready.positions.push_back(Position {qQNaN(), qQNaN(), m_feature.line});
    }
    m_readyAt = 0;
    m_feature = Feature();
}

void GeoJsonReader::putPosition(QList<ImportedPoint> &out, size_t index)
{
    const Position &position = m_ready.positions[index];
    ImportedPoint point = m_ready.place;
    point.latitude = position.latitude;
    point.longitude = position.longitude;
    point.line = position.line;
    point.instant = index < m_ready.times.size() && m_ready.times[index].isValid()
        ? m_ready.times[index]
        : m_ready.time;
    take(out, std::move(point));
}
