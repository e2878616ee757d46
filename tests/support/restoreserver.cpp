#include "support/restoreserver.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {

LoopbackServer::Response json(const QJsonValue &value, QByteArray more = {})
{
    const QByteArray body
        = QJsonDocument::fromVariant(value.toVariant()).toJson(QJsonDocument::Compact);
    return {200, body, "application/json", {}, more};
}

} // namespace

RestoreServer::RestoreServer(Kind kind, QObject *parent)
    : QObject(parent), m_http(this), m_kind(kind)
{
    // The answer is chosen as each request comes, before the server sends it.
    connect(&m_http, &LoopbackServer::requestReceived, this, [this](const QString &target) {
        m_http.setResponse(answer(target, m_http.requests().constLast()));
    });
}

void RestoreServer::store(const QByteArray &message)
{
    QJsonObject sent = QJsonDocument::fromJson(message).object();
    const qint64 tst = sent.value(u"tst").toInteger();
    QJsonObject kept = sent;
    if (m_kind == Kind::Recorder) {
        // What the recorder adds from the topic and the time.
        kept.insert(u"username", user);
        kept.insert(u"device", device);
        kept.insert(u"isotst", QDateTime::fromSecsSinceEpoch(tst, Qt::UTC).toString(Qt::ISODate));
    } else {
        // dawarich's own fields, its coordinates as decimal text, and the message beside them.
        kept = {
            {QStringLiteral("id"), qint64(m_kept.size() + 1)},
            {QStringLiteral("latitude"), QString::number(sent.value(u"lat").toDouble(), 'f', 6)},
            {QStringLiteral("longitude"), QString::number(sent.value(u"lon").toDouble(), 'f', 6)},
            {QStringLiteral("timestamp"), tst},
            {QStringLiteral("accuracy"), sent.value(u"acc")},
            {QStringLiteral("raw_data"), sent}};
    }
    m_kept.append(kept);
}

int RestoreServer::requestsTo(const char *part) const
{
    return int(m_http.requestPaths().filter(QLatin1String(part)).size());
}

LoopbackServer::Response RestoreServer::answer(const QString &target,
                                               const QByteArray &request) const
{
    const QUrl url(QStringLiteral("http://server") + target);
    if (!replacedPart.isEmpty() && target.toUtf8().contains(replacedPart))
        return replacement;
    // The API may stand below a prefix of the server's addresses.
    const QString path = url.path().mid(std::max(qsizetype(0), url.path().indexOf(u"/api/")));
    if (m_kind == Kind::Dawarich)
        return dawarich(path, QUrlQuery(url));
    const QByteArray basic = (login + u':' + password).toUtf8().toBase64();
    if (!login.isEmpty() && !request.contains("\r\nAuthorization: Basic " + basic + "\r\n"))
        return {401, "<title>401 Authorization Required</title>", "text/html"};
    return recorder(path, QUrlQuery(url));
}

LoopbackServer::Response RestoreServer::recorder(const QString &path, const QUrlQuery &query) const
{
    const bool owner = query.queryItemValue(QStringLiteral("user")) == user
        && query.queryItemValue(QStringLiteral("device")) == device;
    if (path == u"/api/0/version")
        return {200, R"({"version":"0.9.9"})"};
    if (path == u"/api/0/list") {
        QJsonArray files;
        for (const QJsonObject &point : m_kept) {
            const QString month = point.value(u"isotst").toString().left(7);
            const QString file
                = QStringLiteral("/var/spool/rec/%1/%2/%3.rec").arg(user, device, month);
            if (owner && !files.contains(file))
                files.append(file);
        }
        return json(QJsonObject {{QStringLiteral("results"), files}});
    }
    if (path != u"/api/0/locations")
        return {404, "<title>404 Not Found</title>", "text/html"};
    const auto time = [&query](const char *name) {
        const QString utc = query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded) + u'Z';
        return QDateTime::fromString(utc, Qt::ISODate).toSecsSinceEpoch();
    };
    QJsonArray data;
    for (const QJsonObject &point : m_kept) {
        const qint64 tst = point.value(u"tst").toInteger();
        if (owner && tst >= time("from") && tst <= time("to"))
            data.append(point);
    }
    return json(
        QJsonObject {{QStringLiteral("count"), data.size()}, {QStringLiteral("data"), data}});
}

LoopbackServer::Response RestoreServer::dawarich(const QString &path, const QUrlQuery &query) const
{
    if (path == u"/api/v1/health")
        return {200, R"({"status":"ok"})", "application/json", {}, "X-Dawarich-Response: Hi\r\n"};
    if (path != u"/api/v1/points")
        return {404, R"({"error":"Not found"})"};
    if (query.queryItemValue(QStringLiteral("api_key")) != key)
        return {401, R"({"error":"API key is invalid"})"};
    const int perPage = std::max(1, query.queryItemValue(QStringLiteral("per_page")).toInt());
    const int at = pages ? std::max(1, query.queryItemValue(QStringLiteral("page")).toInt()) : 1;
    const int total = int((m_kept.size() + perPage - 1) / perPage);
    QJsonArray points;
    for (const QJsonObject &point : m_kept.mid(qsizetype(at - 1) * perPage, perPage))
        points.append(point);
    return json(points,
                QByteArray("X-Current-Page: ") + QByteArray::number(at)
                    + "\r\nX-Total-Pages: " + QByteArray::number(total) + "\r\n");
}
