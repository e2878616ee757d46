#include "share/mqtttransport.h"

#include "share/mosquittolibrary.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mqtt_protocol.h>
#include <mutex>
#include <thread>

namespace {

// How long the connection's thread waits for the network before it looks whether it should end.
constexpr int LoopWaitMs = 100;
// At quit, how long the program waits for connections' threads to leave the library.
constexpr int QuitWaitMs = 1000;
// Where Debian keeps the certificates the system trusts.
const char SystemCaPath[] = "/etc/ssl/certs";

std::atomic<int> g_liveThreads {0};

const MosquittoLibrary &Mosquitto()
{
    return MosquittoLibrary::get();
}

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Mosquitto().mosquitto_lib_init();
        // A thread still inside the library when the program's libraries are torn down could
        // crash the quit; the threads end within a turn of their loop once told to.
        qAddPostRoutine([] {
            const QDeadlineTimer deadline(QuitWaitMs);
            while (g_liveThreads > 0 && !deadline.hasExpired())
                QThread::msleep(5);
        });
    });
}

ShareFailure refused(const QString &words)
{
    return {ShareFailure::Kind::Refused, words};
}

ShareFailure retry(const QString &words)
{
    return {ShareFailure::Kind::Retry, words};
}

// The broker's name for a reason code, as the end of a sentence.
QString reasonOf(int code)
{
    QString reason = QString::fromUtf8(Mosquitto().mosquitto_reason_string(code));
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    return QStringLiteral("%1, code 0x%2").arg(reason).arg(code, 2, 16, QLatin1Char('0'));
}

// The broker's answer to the connection (MQTT 3.1.1 return codes) in the user's words.
ShareFailure connackFailure(int code, const QString &where, const QString &clientId)
{
    switch (code) {
    case 1:
        return refused(QStringLiteral("The broker %1 does not speak MQTT 3.1.1.").arg(where));
    case 2:
        return refused(
            QStringLiteral("The broker %1 rejected the client id \"%2\".").arg(where, clientId));
    case 3:
        return retry(QStringLiteral("The broker %1 is unavailable just now.").arg(where));
    case 4:
        return refused(
            QStringLiteral("The broker %1 refused the user name or password.").arg(where));
    case 5:
        return refused(
            QStringLiteral("The broker %1 refused the user name or password (not authorised).")
                .arg(where));
    default:
        return refused(
            QStringLiteral("The broker %1 refused the connection (code %2).").arg(where).arg(code));
    }
}

// The same in MQTT 5's reason codes, which name more reasons.
ShareFailure connackV5Failure(int code, const QString &where, const QString &clientId)
{
    switch (code) {
    case MQTT_RC_CLIENTID_NOT_VALID:
        return connackFailure(2, where, clientId);
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
        return connackFailure(4, where, clientId);
    case MQTT_RC_NOT_AUTHORIZED:
        return connackFailure(5, where, clientId);
    case MQTT_RC_SERVER_UNAVAILABLE:
    case MQTT_RC_SERVER_BUSY:
    case MQTT_RC_QUOTA_EXCEEDED:
    case MQTT_RC_CONNECTION_RATE_EXCEEDED:
        return retry(QStringLiteral("The broker %1 is unavailable just now (%2).")
                         .arg(where, reasonOf(code)));
    default:
        return refused(QStringLiteral("The broker %1 refused the connection (%2).")
                           .arg(where, reasonOf(code)));
    }
}

// A PUBACK's reason code of 0x80 or more: the broker did not take the message. A topic the
// user may not publish to, or that the broker does not take, refuses every message alike; the
// rest concern this message alone.
ShareFailure pubackFailure(int code, const QString &where, const QString &user,
                           const QString &topic, const QString &said)
{
    ShareFailure failure;
    switch (code) {
    case MQTT_RC_NOT_AUTHORIZED:
        failure = refused(QStringLiteral("The broker %1 does not let %2 publish to the topic "
                                         "\"%3\" (not authorised).")
                              .arg(where,
                                   user.isEmpty() ? QStringLiteral("a client without a user name")
                                                  : QStringLiteral("the user \"%1\"").arg(user),
                                   topic));
        break;
    case MQTT_RC_TOPIC_NAME_INVALID:
        failure = refused(QStringLiteral("The broker %1 does not take the topic \"%2\" (%3).")
                              .arg(where, topic, reasonOf(code)));
        break;
    case MQTT_RC_QUOTA_EXCEEDED:
    case MQTT_RC_PACKET_ID_IN_USE:
        failure = retry(QStringLiteral("The broker %1 could not take the message now (%2).")
                            .arg(where, reasonOf(code)));
        break;
    default:
        failure = {ShareFailure::Kind::Rejected,
                   QStringLiteral("The broker %1 did not take this message (%2).")
                       .arg(where, reasonOf(code))};
    }
    if (!said.isEmpty())
        failure.words += QStringLiteral(" The broker said: ") + said;
    return failure;
}

} // namespace

// One connection and the thread that runs it. The thread and the transport share it; whichever
// lets go last frees the library's client, so neither ever uses a freed one.
struct MqttSession
{
    mosquitto *client = nullptr;
    quint64 generation = 0;
    QByteArray host;
    int port = 0;
    QString where; // host:port, for the user's words
    QString clientId;
    mosquitto_property *connectProperties = nullptr;
    std::atomic<bool> stopping {false};
    std::atomic<bool> connected {false};
    // The broker speaks only MQTT 3.1.1: the connection speaks it too, and a PUBACK there cannot
    // say that the broker refused the message.
    std::atomic<bool> v311 {false};
    std::atomic<bool> reconnect {false}; // in 3.1.1, after the broker turned MQTT 5 down

    std::mutex mutex; // guards what follows
    MqttTransport *owner = nullptr; // none once the transport has let go
    bool failed = false; // only the first failure is told
    QString lastError; // the library's last error line (the TLS library's reason among them)

    ~MqttSession()
    {
        if (client)
            Mosquitto().mosquitto_destroy(client);
        Mosquitto().mosquitto_property_free_all(&connectProperties);
    }

    // Runs fn(transport) on the transport's thread, unless it has let go of this connection.
    template<typename Fn> void tell(Fn fn)
    {
        std::lock_guard lock(mutex);
        if (owner)
            QMetaObject::invokeMethod(
                owner, [to = owner, fn = std::move(fn)] { fn(to); }, Qt::QueuedConnection);
    }

    void tellFailure(const ShareFailure &failure)
    {
        {
            std::lock_guard lock(mutex);
            if (failed)
                return;
            failed = true;
        }
        tell([generation = generation, failure](MqttTransport *to) {
            to->onFailed(generation, failure);
        });
    }

    // Why the connection could not be made or was lost, from the library's result code.
    ShareFailure failureOf(int rc, int error)
    {
        const QString cannot = QStringLiteral("Could not connect to %1: ").arg(where);
        if (rc == MOSQ_ERR_EAI)
            return retry(QStringLiteral("Could not connect: the name %1 was not found.")
                             .arg(QString::fromUtf8(host)));
        if (rc == MOSQ_ERR_TLS) {
            std::lock_guard lock(mutex);
            if (lastError.contains(QLatin1String("certificate verify failed")))
                return retry(cannot + QStringLiteral("its TLS certificate is not trusted."));
            return retry(cannot
                         + QStringLiteral("the secure connection failed (%1).").arg(lastError));
        }
        if (connected)
            return retry(QStringLiteral("The connection to %1 was lost.").arg(where));
        if (rc == MOSQ_ERR_ERRNO) {
            switch (error) {
            case ECONNREFUSED:
                return retry(cannot + QStringLiteral("the connection was refused."));
            case ETIMEDOUT:
                return retry(cannot + QStringLiteral("it timed out."));
            case ENETUNREACH:
            case EHOSTUNREACH:
                return retry(cannot + QStringLiteral("the network does not reach it."));
            default:
                return retry(cannot + QString::fromLocal8Bit(std::strerror(error)) + u'.');
            }
        }
        if (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN)
            return retry(cannot + QStringLiteral("the broker closed the connection."));
        return retry(cannot + QString::fromUtf8(Mosquitto().mosquitto_strerror(rc)) + u'.');
    }

    static void onConnect(mosquitto *client, void *data, int code, int, const mosquitto_property *)
    {
        auto *self = static_cast<MqttSession *>(data);
        // A broker of MQTT 3.1.1 answers MQTT 5 with "unacceptable protocol version" (1), which
        // the library reports as MQTT 5's own code.
        if (!self->v311 && (code == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || code == 1)) {
            self->v311 = true;
            self->reconnect = true;
            Mosquitto().mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
            return;
        }
        if (code != 0) {
            self->tellFailure(self->v311 ? connackFailure(code, self->where, self->clientId)
                                         : connackV5Failure(code, self->where, self->clientId));
            return;
        }
        self->connected = true;
        self->tell([generation = self->generation, v311 = bool(self->v311)](MqttTransport *to) {
            to->onConnected(generation, v311);
        });
    }
    static void onPublish(mosquitto *, void *data, int mid, int reason,
                          const mosquitto_property *properties)
    {
        auto *self = static_cast<MqttSession *>(data);
        QString said;
        char *text = nullptr;
        if (Mosquitto().mosquitto_property_read_string(properties, MQTT_PROP_REASON_STRING, &text,
                                                       false)) {
            said = QString::fromUtf8(text);
            std::free(text);
        }
        self->tell([generation = self->generation, mid, reason, said](MqttTransport *to) {
            to->onPublished(generation, mid, reason, said);
        });
    }
    static void onLog(mosquitto *, void *data, int level, const char *line)
    {
        if (!(level & MOSQ_LOG_ERR))
            return;
        auto *self = static_cast<MqttSession *>(data);
        std::lock_guard lock(self->mutex);
        self->lastError = QString::fromUtf8(line);
    }

    // The connection's thread: connect (resolving the name may take a while), then run the
    // library's loop until told to stop or the connection fails.
    static void run(std::shared_ptr<MqttSession> self)
    {
        int rc = MOSQ_ERR_SUCCESS, error = 0;
        do {
            self->reconnect = false;
            // MQTT 3.1.1 has no properties: its session lasts without one.
            rc = Mosquitto().mosquitto_connect_bind_v5(
                self->client, self->host.constData(), self->port, MqttTransport::KeepAliveSeconds,
                nullptr, self->v311 ? nullptr : self->connectProperties);
            error = errno;
            while (rc == MOSQ_ERR_SUCCESS && !self->stopping && !self->reconnect) {
                rc = Mosquitto().mosquitto_loop(self->client, LoopWaitMs, 1);
                error = errno;
            }
        } while (self->reconnect && !self->stopping);
        if (!self->stopping)
            self->tellFailure(self->failureOf(rc, error));
        else if (rc == MOSQ_ERR_SUCCESS
                 && Mosquitto().mosquitto_disconnect(self->client) == MOSQ_ERR_SUCCESS)
            Mosquitto().mosquitto_loop(self->client, LoopWaitMs, 1); // says goodbye to the broker
        self.reset();
        --g_liveThreads;
    }
};

MqttTransport::MqttTransport(const ShareSettings &settings, QObject *parent)
    : ShareTransport(parent), m_settings(settings)
{
    if (m_settings.topic.isEmpty())
        m_settings.topic = m_settings.defaultTopic();
    if (m_settings.clientId.isEmpty())
        m_settings.clientId = ShareSettings::defaultClientId();
    m_topic = m_settings.topic.toUtf8();
    m_connectTimeout.setSingleShot(true);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        fail(retry(QStringLiteral("Could not connect to %1: it timed out.")
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
        return fail(refused(*why));
    // Without the library no broker can be reached, whatever the settings: said as a refusal, so
    // that the queue waits for the user rather than trying again and again.
    if (const QString missing = MosquittoLibrary::load(); !missing.isEmpty())
        return fail(refused(missing));
    initLibrary();
    if (Mosquitto().mosquitto_pub_topic_check(m_topic.constData()) != MOSQ_ERR_SUCCESS)
        return fail(refused(QStringLiteral("Messages cannot be published to the topic \"%1\".")
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
        return fail(refused(QStringLiteral("The MQTT client could not be made (client id \"%1\").")
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
            return fail(
                refused(QStringLiteral("The CA file %1 cannot be read.").arg(m_settings.caFile)));
    }
    m_session = session;
    m_connectTimeout.start(ConnectTimeoutMs);
    ++g_liveThreads;
    std::thread(&MqttSession::run, std::move(session)).detach();
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
        return fail(retry(
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
