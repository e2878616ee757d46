#include "share/restorepages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>

#include <cmath>

namespace {

// A number as JSON writes it, or as text ("52.52"), as some servers keep coordinates.
double numeric(const QJsonValue &value)
{
    if (value.isDouble())
        return value.toDouble();
    bool isNumber = false;
    const double read = value.toString().trimmed().toDouble(&isNumber);
    return isNumber ? read : qQNaN();
}

QString text(const QJsonObject &object, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString value = object.value(QLatin1String(name)).toString().trimmed();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

// Seconds since 1970 as a number or text, or an ISO 8601 time.
QDateTime instant(const QJsonValue &value)
{
    const double seconds = numeric(value);
    if (std::isfinite(seconds) && seconds > 0 && seconds < 1e11)
        return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC);
    const QDateTime iso = QDateTime::fromString(value.toString().trimmed(), Qt::ISODate);
    return iso.isValid() ? iso.toUTC() : QDateTime();
}

// The message's own name for a field, else dawarich's.
QJsonValue either(const QJsonObject &object, QStringView message, QStringView dawarich)
{
    const QJsonValue value = object.value(message);
    return value.isUndefined() ? object.value(dawarich) : value;
}

bool onTheGlobe(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::abs(latitude) <= 90
        && std::abs(longitude) <= 180;
}

// Every location object of items, kept or counted as skipped.
RestorePage readItems(const QJsonArray &items, qint64 firstNumber)
{
    RestorePage page;
    page.points.reserve(items.size());
    for (const QJsonValue &item : items) {
        const QJsonObject object = item.toObject();
        const QJsonValue type = object.value(QLatin1String("_type"));
        if (!item.isObject() || (!type.isUndefined() && type.toString() != u"location"))
            continue;
        const qint64 at = firstNumber + page.read++;
        const ImportedPoint read = RestorePages::point(object, at);
        if (!read.instant.isValid())
            page.skips.withoutTime.append(at);
        else if (!onTheGlobe(read.latitude, read.longitude))
            page.skips.outOfRange.append(at);
        else
            page.points.append(read);
    }
    return page;
}

RestorePage notRead(const QString &why)
{
    RestorePage page;
    page.failure = why;
    return page;
}

// The answer as JSON; why it is not, in failure.
QJsonDocument parsed(const QByteArray &body, QString &failure)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        failure = QStringLiteral("The server's answer is not JSON (%1 at byte %2).")
                      .arg(error.errorString())
                      .arg(error.offset);
    return document;
}

} // namespace

namespace RestorePages {

std::optional<QList<QDate>> recorderMonths(const QByteArray &body)
{
    const QJsonValue results = QJsonDocument::fromJson(body).object().value(u"results");
    if (!results.isArray())
        return std::nullopt;
    static const QRegularExpression month(QStringLiteral("(\\d{4})-(\\d{2})\\.rec$"));
    QList<QDate> months;
    for (const QJsonValue &file : results.toArray()) {
        const QRegularExpressionMatch found = month.match(file.toString());
        const QDate first = found.hasMatch()
            ? QDate(found.captured(1).toInt(), found.captured(2).toInt(), 1)
            : QDate();
        if (first.isValid() && !months.contains(first))
            months.append(first);
    }
    std::sort(months.begin(), months.end());
    return months;
}

RestorePage recorderLocations(const QByteArray &body, qint64 firstNumber)
{
    QString failure;
    const QJsonDocument document = parsed(body, failure);
    if (!failure.isEmpty())
        return notRead(failure);
    const QJsonValue data
        = document.isArray() ? QJsonValue(document.array()) : document.object().value(u"data");
    if (!data.isArray())
        return notRead(QStringLiteral("The server's answer holds no list of locations."));
    return readItems(data.toArray(), firstNumber);
}

RestorePage dawarichPoints(const QByteArray &body, qint64 firstNumber)
{
    QString failure;
    const QJsonDocument document = parsed(body, failure);
    if (!failure.isEmpty())
        return notRead(failure);
    if (!document.isArray())
        return notRead(QStringLiteral("The server's answer holds no list of points."));
    return readItems(document.array(), firstNumber);
}

ImportedPoint point(const QJsonObject &object, qint64 number)
{
    // What the phone or this program sent, as dawarich keeps it beside its own fields.
    const QJsonObject sent = object.value(u"raw_data").toObject();
    const QJsonObject found = object.value(u"geodata").toObject().value(u"properties").toObject();
    ImportedPoint read;
    read.line = number;
    read.instant = instant(either(object, u"tst", u"timestamp"));
    read.latitude = numeric(either(object, u"lat", u"latitude"));
    read.longitude = numeric(either(object, u"lon", u"longitude"));
    if (!onTheGlobe(read.latitude, read.longitude)) {
        // dawarich's own way: "POINT (lon lat)".
        static const QRegularExpression wkt(
            QStringLiteral("POINT\\s*\\(\\s*(\\S+)\\s+([^\\s)]+)\\s*\\)"));
        const QRegularExpressionMatch pair = wkt.match(object.value(u"lonlat").toString());
        if (pair.hasMatch()) {
            read.longitude = pair.captured(1).toDouble();
            read.latitude = pair.captured(2).toDouble();
        }
    }
    const double accuracy = numeric(either(object, u"acc", u"accuracy"));
    read.accuracyMetres = std::isfinite(accuracy) && accuracy > 0 ? accuracy : 0;
    read.country = text(object, {"cc", "country_code", "country", "country_name"});
    if (read.country.isEmpty())
        read.country = text(sent, {"cc"});
    if (read.country.isEmpty())
        read.country = text(found, {"countrycode", "country"});
    read.region = text(object, {"region", "state"});
    if (read.region.isEmpty())
        read.region = text(found, {"state"});
    read.city = text(object, {"city", "locality"});
    if (read.city.isEmpty())
        read.city = text(found, {"city"});
    read.postalCode = text(object, {"postal_code", "postcode"});
    if (read.postalCode.isEmpty())
        read.postalCode = text(found, {"postcode"});
    read.timeZone = text(object, {"tzname", "tz", "timezone"});
    read.address = text(object, {"addr"});
    if (read.address.isEmpty())
        read.address = text(sent, {"addr"});
    return read;
}

} // namespace RestorePages
