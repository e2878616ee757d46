#pragma once

#include "share/sharesettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

// One message on its way: its key in the queue and the JSON the server reads.
struct OutgoingMessage
{
    qint64 id = 0;
    QByteArray body;
};

// How a message that did not reach the server fared, in the user's words.
struct ShareFailure
{
    enum class Kind {
        Retry, // the server is down, the network gone, or the server asked to wait: try later
        Refused, // the server refuses us (a wrong password, an unknown device): stop and say so
        Rejected, // the server refuses this message alone (malformed, too large): set it aside
    };
    Kind kind = Kind::Retry;
    QString words;
};

// A way to the user's server. Messages are handed over in the order of their logs, at most
// window() at a time not yet answered; each is answered once, by delivered or failed, unless
// stop() comes first. Nothing here blocks the event loop.
class ShareTransport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // How many messages may be on their way at once.
    virtual int window() const = 0;
    virtual void send(const OutgoingMessage &message) = 0;
    // The user's test message, numbered 0, on a transport made for it alone beside the queue's:
    // a way whose server would take a second connection for the first one's makes its own here.
    virtual void sendTest(const QByteArray &message) { send({0, message}); }
    // Drops the connection; messages on their way are answered no more (they stay queued).
    virtual void stop() = 0;
    // What "delivered" cannot promise on this way, in the user's words; empty when it promises
    // all. Known once the server has answered.
    virtual QString caveat() const { return {}; }
    // Keeps the way open for the server's requests while nothing is to be sent, where the way
    // has one.
    virtual void listen() { }

Q_SIGNALS:
    // The server has taken the message (HTTP 2xx, MQTT PUBACK).
    void delivered(qint64 id);
    void failed(qint64 id, const ShareFailure &failure);
    // A JSON object the server sent that may be a request; stale: why it must not be answered
    // (kept for whoever comes, expired), empty when it is fresh; lifetime: the seconds it may
    // still be answered in, -1 when it does not expire.
    void requestReceived(const QByteArray &object, const QString &stale, int lifetime);
    // The way kept open for requests broke with no message on its way to tell it by.
    void listenFailed(const ShareFailure &failure);
};

// The way to the server the settings name: HTTP, MQTT, or none while sharing is off.
std::unique_ptr<ShareTransport> MakeShareTransport(const ShareSettings &settings);
