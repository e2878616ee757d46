#pragma once

#include "share/sharetransport.h"

#include <QList>
#include <QMap>
#include <QTimer>
#include <memory>

struct MqttSession;

// The way to an MQTT broker, through libmosquitto: each message is published with QoS 1 and
// retained (the broker keeps the last position for whoever subscribes later), and counts as
// delivered when the broker acknowledges it. The session is not clean, so the broker holds what
// a subscriber missed while this laptop was away. It speaks MQTT 5, whose acknowledgement says
// when the broker refuses a message; with a broker of MQTT 3.1.1 only, that older protocol.
//
// Connecting resolves the name and opens the socket, which may take seconds; that and the
// library's loop run on a thread of their own, and all they tell reaches this object through
// its event loop. One connection serves until it fails: then every message on its way is
// answered as failed, and the next message sent connects afresh.
class MqttTransport : public ShareTransport
{
    Q_OBJECT

public:
    // Messages on their way at once: enough to keep a local broker busy.
    static constexpr int Window = 64;
    static constexpr int KeepAliveSeconds = 60;
    static constexpr int ConnectTimeoutMs = 20'000;

    MqttTransport(const ShareSettings &settings, QObject *parent = nullptr);
    ~MqttTransport() override;

    int window() const override { return Window; }
    void send(const OutgoingMessage &message) override;
    void sendTest(const QByteArray &message) override;
    void stop() override;
    void listen() override;

    QString caveat() const override;

private:
    friend struct MqttSession;

    void connectToBroker();
    void publish(const OutgoingMessage &message);
    void onConnected(quint64 generation, bool v311);
    // reason: the PUBACK's reason code (0 in MQTT 3.1.1), said: the broker's reason string.
    void onPublished(quint64 generation, int mid, int reason, const QString &said);
    void onFailed(quint64 generation, const ShareFailure &failure);
    void onRequest(quint64 generation, const QByteArray &payload, const QString &stale,
                   int lifetime);
    // Answers every message on its way with the failure and lets the connection go.
    void fail(const ShareFailure &failure);
    void dropSession();

    ShareSettings m_settings;
    QByteArray m_topic;
    QByteArray m_requestTopic; // <topic>/cmd
    std::shared_ptr<MqttSession> m_session;
    quint64 m_generation = 0;
    bool m_connected = false;
    bool m_v311 = false; // the broker speaks only MQTT 3.1.1
    bool m_stopped = false;
    bool m_listening = false; // kept open for the server's requests
    QList<OutgoingMessage> m_waiting; // until the broker has accepted the connection
    QMap<int, qint64> m_published; // the library's message id → the queue's
    QTimer m_connectTimeout;
};
