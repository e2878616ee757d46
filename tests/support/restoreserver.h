#pragma once

#include "support/loopbackserver.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

class QUrlQuery;

// The user's location server on 127.0.0.1, read back: an OwnTracks recorder (its months, its
// locations by time range, perhaps behind a password) or a dawarich server (its points a page
// at a time with its paging headers, opened with an API key). It keeps the location messages
// it is given as each kind keeps what it is sent.
class RestoreServer : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Recorder, Dawarich };

    explicit RestoreServer(Kind kind, QObject *parent = nullptr);

    bool listen() { return m_http.listen(); }
    QString baseUrl() const { return m_http.baseUrl() + u'/'; }
    LoopbackServer &http() { return m_http; }

    // Whose record it holds; a request for another device or with another key finds nothing.
    QString user, device, key; // key: dawarich's
    QString login, password; // a recorder behind a password; none: open
    bool pages = true; // false: every page is the first
    // Every request whose path holds replacedPart is answered with replacement instead.
    QByteArray replacedPart;
    LoopbackServer::Response replacement;

    // Keeps a location message as it would have been sent to the server, in time order.
    void store(const QByteArray &message);
    // How many requests had part in their path.
    int requestsTo(const char *part) const;

private:
    LoopbackServer::Response answer(const QString &target, const QByteArray &request) const;
    LoopbackServer::Response recorder(const QString &path, const QUrlQuery &query) const;
    LoopbackServer::Response dawarich(const QString &path, const QUrlQuery &query) const;

    LoopbackServer m_http; // a child, so that it moves with the server to another thread
    Kind m_kind;
    QList<QJsonObject> m_kept;
};
