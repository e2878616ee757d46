#include "share/mqtttransport.h"

#include "share/mosquittolibrary.h"
#include "share/mqttsession.h"

#include <mqtt_protocol.h>

namespace {

// Where Debian keeps the certificates the system trusts.
const char SystemCaPath[] = "/etc/ssl/certs";

// A PUBACK's reason code of 0x80 or more: the broker did not take the message. A topic the
// user may not publish to, or that the broker does not take, refuses every message alike; the
// rest concern this message alone.
ShareFailure pubackFailure(int code, const QString &where, const QString &user,
                           const QString &topic, const QString &said)
{
    ShareFailure failure;
    switch (code) {
    case MQTT_RC_NOT_AUTHORIZED:
        failure
            = MqttRefused(QStringLiteral("The broker %1 does not let %2 publish to the topic "
                                         "\"%3\" (not authorised).")
                              .arg(where,
                                   user.isEmpty() ? QStringLiteral("a client without a user name")
                                                  : QStringLiteral("the user \"%1\"").arg(user),
                                   topic));
        break;
    case MQTT_RC_TOPIC_NAME_INVALID:
        failure = MqttRefused(QStringLiteral("The broker %1 does not take the topic \"%2\" (%3).")
                                  .arg(where, topic, MqttReasonOf(code)));
        break;
    case MQTT_RC_QUOTA_EXCEEDED:
    case MQTT_RC_PACKET_ID_IN_USE:
        failure = MqttRetry(QStringLiteral("The broker %1 could not take the message now (%2).")
                                .arg(where, MqttReasonOf(code)));
        break;
    default:
        failure = {ShareFailure::Kind::Rejected,
                   QStringLiteral("The broker %1 did not take this message (%2).")
                       .arg(where, MqttReasonOf(code))};
    }
    if (!said.isEmpty())
        failure.words += QStringLiteral(" The broker said: ") + said;
    return failure;
}

} // namespace

MqttTransport::MqttTransport(const ShareSettings &settings, QObject *parent)
    : ShareTransport(parent), m_settings(settings)
{
    if (m_settings.topic.isEmpty())
        m_settings.topic = m_settings.defaultTopic();
    if (m_settings.clientId.isEmpty())
        m_settings.clientId = ShareSettings::defaultClientId();
    m_topic = m_settings.topic.toUtf8();
    m_requestTopic = m_topic + "/cmd";
    m_connectTimeout.setSingleShot(true);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        fail(MqttRetry(QStringLiteral("Could not connect to %1: it timed out.")
                           .arg(m_session ? m_session->where : m_settings.host)));
    });
}

MqttTransport::~MqttTransport()
{
    dropSession();
}

QString MqttTransport::caveat() const
{
    if (!m_v311)
        return {};
    return QStringLiteral("The broker %1:%2 speaks only MQTT 3.1.1, which cannot say when it "
                          "refuses a message: one it does not allow is lost without a word.")
        .arg(m_settings.host.trimmed())
        .arg(m_settings.port);
}

void MqttTransport::send(const OutgoingMessage &message)
{
    if (m_stopped)
        return;
    if (m_connected) {
        publish(message);
        return;
    }
    m_waiting.append(message);
    if (!m_session)
        connectToBroker();
}

void MqttTransport::sendTest(const QByteArray &message)
{
    // A broker drops the older of two connections under one client id: the test's own keeps the
    // queue's connection, and the session that holds what the laptop missed, as they are.
    if (!m_session)
        m_settings.clientId += QStringLiteral("-test");
    send({0, message});
}

void MqttTransport::listen()
{
    m_listening = true;
    if (!m_session && !m_stopped)
        connectToBroker();
}

void MqttTransport::stop()
{
    m_stopped = true;
    dropSession();
    m_waiting.clear();
    m_published.clear();
}

void MqttTransport::connectToBroker()
{
    const QString host = m_settings.host.trimmed();
    if (const std::optional<QString> why = m_settings.unusableBroker())
        return fail(MqttRefused(*why));
    // Without the library no broker can be reached, whatever the settings: said as a refusal, so
    // that the queue waits for the user rather than trying again and again.
    if (const QString missing = MosquittoLibrary::load(); !missing.isEmpty())
        return fail(MqttRefused(missing));
    MqttSession::initLibrary();
    if (Mosquitto().mosquitto_pub_topic_check(m_topic.constData()) != MOSQ_ERR_SUCCESS)
        return fail(MqttRefused(QStringLiteral("Messages cannot be published to the topic \"%1\".")
                                    .arg(m_settings.topic)));
    auto session = std::make_shared<MqttSession>();
    session->generation = ++m_generation;
    session->host = host.toUtf8();
    session->port = m_settings.port;
    session->where = QStringLiteral("%1:%2").arg(host).arg(m_settings.port);
    session->clientId = m_settings.clientId;
    session->owner = this;
    // Not a clean session: the broker keeps this laptop's session while it is away.
    session->client
        = Mosquitto().mosquitto_new(m_settings.clientId.toUtf8().constData(), false, session.get());
    if (!session->client)
        return fail(
            MqttRefused(QStringLiteral("The MQTT client could not be made (client id \"%1\").")
                            .arg(m_settings.clientId)));
    mosquitto *client = session->client;
    Mosquitto().mosquitto_threaded_set(client, true);
    // MQTT 5, whose PUBACK says when the broker refuses a message. Its session ends with the
    // connection unless it is given a lifetime: the longest, as a 3.1.1 session has.
    Mosquitto().mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    Mosquitto().mosquitto_property_add_int32(&session->connectProperties,
                                             MQTT_PROP_SESSION_EXPIRY_INTERVAL, UINT32_MAX);
    Mosquitto().mosquitto_int_option(client, MOSQ_OPT_SEND_MAXIMUM, Window);
    Mosquitto().mosquitto_connect_v5_callback_set(client, &MqttSession::onConnect);
    Mosquitto().mosquitto_publish_v5_callback_set(client, &MqttSession::onPublish);
    Mosquitto().mosquitto_log_callback_set(client, &MqttSession::onLog);
    Mosquitto().mosquitto_message_v5_callback_set(client, &MqttSession::onMessage);
    if (!m_settings.user.isEmpty()) {
        const QByteArray secret = m_settings.secret.toUtf8();
        Mosquitto().mosquitto_username_pw_set(client, m_settings.user.toUtf8().constData(),
                                              secret.isEmpty() ? nullptr : secret.constData());
    }
    if (m_settings.tls) {
        const QByteArray caFile = m_settings.caFile.toLocal8Bit();
        if (Mosquitto().mosquitto_tls_set(client, caFile.isEmpty() ? nullptr : caFile.constData(),
                                          caFile.isEmpty() ? SystemCaPath : nullptr, nullptr,
                                          nullptr, nullptr)
            != MOSQ_ERR_SUCCESS)
            return fail(MqttRefused(
                QStringLiteral("The CA file %1 cannot be read.").arg(m_settings.caFile)));
    }
    m_session = session;
    m_connectTimeout.start(ConnectTimeoutMs);
    MqttSession::start(std::move(session));
}

void MqttTransport::publish(const OutgoingMessage &message)
{
    int mid = 0;
    const int rc = Mosquitto().mosquitto_publish_v5(m_session->client, &mid, m_topic.constData(),
                                                    int(message.body.size()),
                                                    message.body.constData(), 1, true, nullptr);
    // Larger than the broker said it takes: this message alone cannot go.
    if (rc == MOSQ_ERR_OVERSIZE_PACKET || rc == MOSQ_ERR_PAYLOAD_SIZE) {
        Q_EMIT failed(
            message.id,
            {ShareFailure::Kind::Rejected,
             QStringLiteral("The broker %1 does not take a message this large (%2 bytes).")
                 .arg(m_session->where)
                 .arg(message.body.size())});
        return;
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        m_waiting.prepend(message);
        return fail(MqttRetry(
            QStringLiteral("Could not send to %1: %2.")
                .arg(m_session->where, QString::fromUtf8(Mosquitto().mosquitto_strerror(rc)))));
    }
    m_published.insert(mid, message.id);
}

void MqttTransport::onConnected(quint64 generation, bool v311)
{
    if (generation != m_generation || !m_session)
        return;
    m_connectTimeout.stop();
    m_connected = true;
    m_v311 = v311;
    // The session outlives the connection, and so does what it subscribed to: a request sent
    // while the laptop was away is kept for it. With the requests turned off, the session
    // subscribes to nothing.
    // A request kept by the broker for whoever comes is not sent at subscribing, and one kept
    // as it comes says so, to be told from a fresh one (MQTT 5 alone can).
    if (m_settings.commands && m_listening)
        Mosquitto().mosquitto_subscribe_v5(
            m_session->client, nullptr, m_requestTopic.constData(), 1,
            v311 ? 0 : MQTT_SUB_OPT_RETAIN_AS_PUBLISHED | MQTT_SUB_OPT_SEND_RETAIN_NEVER, nullptr);
    else if (!m_settings.commands)
        Mosquitto().mosquitto_unsubscribe_v5(m_session->client, nullptr, m_requestTopic.constData(),
                                             nullptr);
    // A failure on the way answers the rest and ends the connection.
    while (m_connected && !m_waiting.isEmpty())
        publish(m_waiting.takeFirst());
}

void MqttTransport::onPublished(quint64 generation, int mid, int reason, const QString &said)
{
    if (generation != m_generation)
        return;
    const auto it = m_published.find(mid);
    if (it == m_published.end())
        return;
    const qint64 id = it.value();
    if (reason < MQTT_RC_UNSPECIFIED) { // "no matching subscribers" among them: it is held
        m_published.erase(it);
        Q_EMIT delivered(id);
        return;
    }
    const ShareFailure failure
        = pubackFailure(reason, m_session ? m_session->where : m_settings.host, m_settings.user,
                        m_settings.topic, said);
    if (failure.kind != ShareFailure::Kind::Rejected)
        return fail(failure);
    m_published.erase(it);
    Q_EMIT failed(id, failure);
}

void MqttTransport::onFailed(quint64 generation, const ShareFailure &failure)
{
    if (generation == m_generation)
        fail(failure);
}

void MqttTransport::onRequest(quint64 generation, const QByteArray &payload, const QString &stale,
                              int lifetime)
{
    if (generation == m_generation && m_settings.commands)
        Q_EMIT requestReceived(payload, stale, lifetime);
}

void MqttTransport::fail(const ShareFailure &failure)
{
    dropSession();
    QList<qint64> ids = m_published.values();
    for (const OutgoingMessage &message : std::as_const(m_waiting))
        ids.append(message.id);
    m_published.clear();
    m_waiting.clear();
    // Whoever hears the first may stop this transport; the rest are then answered no more.
    for (qint64 id : std::as_const(ids)) {
        if (m_stopped)
            break;
        Q_EMIT failed(id, failure);
    }
    if (m_listening && !m_stopped)
        Q_EMIT listenFailed(failure);
}

void MqttTransport::dropSession()
{
    m_connectTimeout.stop();
    m_connected = false;
    ++m_generation;
    if (!m_session)
        return;
    {
        std::lock_guard lock(m_session->mutex);
        m_session->owner = nullptr;
    }
    m_session->stopping = true;
    m_session.reset();
}
