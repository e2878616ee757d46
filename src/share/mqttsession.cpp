#include "share/mqttsession.h"

#include "share/mosquittolibrary.h"

#include "share/mqtttransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mqtt_protocol.h>
#include <thread>

namespace {

// How long the connection's thread waits for the network before it looks whether it should end.
constexpr int LoopWaitMs = 100;
// At quit, how long the program waits for connections' threads to leave the library.
constexpr int QuitWaitMs = 1000;

std::atomic<int> g_liveThreads {0};

// The broker's answer to the connection (MQTT 3.1.1 return codes) in the user's words.
ShareFailure connackFailure(int code, const QString &where, const QString &clientId)
{
    switch (code) {
    case 1:
        return MqttRefused(QStringLiteral("The broker %1 does not speak MQTT 3.1.1.").arg(where));
    case 2:
        return MqttRefused(
            QStringLiteral("The broker %1 rejected the client id \"%2\".").arg(where, clientId));
    case 3:
        return MqttRetry(QStringLiteral("The broker %1 is unavailable just now.").arg(where));
    case 4:
        return MqttRefused(
            QStringLiteral("The broker %1 refused the user name or password.").arg(where));
    case 5:
        return MqttRefused(
            QStringLiteral("The broker %1 refused the user name or password (not authorised).")
                .arg(where));
    default:
        return MqttRefused(
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
        return MqttRetry(QStringLiteral("The broker %1 is unavailable just now (%2).")
                             .arg(where, MqttReasonOf(code)));
    default:
        return MqttRefused(QStringLiteral("The broker %1 refused the connection (%2).")
                               .arg(where, MqttReasonOf(code)));
    }
}

// The connection's thread: connect (resolving the name may take a while), then run the
// library's loop until told to stop or the connection fails.
void run(std::shared_ptr<MqttSession> self)
{
    int rc = MOSQ_ERR_SUCCESS, error = 0;
    do {
        self->reconnect = false;
        // MQTT 3.1.1 has no properties: its session lasts without one.
        rc = Mosquitto().mosquitto_connect_bind_v5(self->client, self->host.constData(), self->port,
                                                   MqttTransport::KeepAliveSeconds, nullptr,
                                                   self->v311 ? nullptr : self->connectProperties);
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

} // namespace

ShareFailure MqttRefused(const QString &words)
{
    return {ShareFailure::Kind::Refused, words};
}

ShareFailure MqttRetry(const QString &words)
{
    return {ShareFailure::Kind::Retry, words};
}

QString MqttReasonOf(int code)
{
    QString reason = QString::fromUtf8(Mosquitto().mosquitto_reason_string(code));
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    return QStringLiteral("%1, code 0x%2").arg(reason).arg(code, 2, 16, QLatin1Char('0'));
}

MqttSession::~MqttSession()
{
    if (client)
        Mosquitto().mosquitto_destroy(client);
    Mosquitto().mosquitto_property_free_all(&connectProperties);
}

void MqttSession::initLibrary()
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

void MqttSession::start(std::shared_ptr<MqttSession> session)
{
    ++g_liveThreads;
    std::thread(&run, std::move(session)).detach();
}

void MqttSession::tellFailure(const ShareFailure &failure)
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

ShareFailure MqttSession::failureOf(int rc, int error)
{
    const QString cannot = QStringLiteral("Could not connect to %1: ").arg(where);
    if (rc == MOSQ_ERR_EAI)
        return MqttRetry(QStringLiteral("Could not connect: the name %1 was not found.")
                             .arg(QString::fromUtf8(host)));
    if (rc == MOSQ_ERR_TLS) {
        std::lock_guard lock(mutex);
        if (lastError.contains(QLatin1String("certificate verify failed")))
            return MqttRetry(cannot + QStringLiteral("its TLS certificate is not trusted."));
        return MqttRetry(cannot
                         + QStringLiteral("the secure connection failed (%1).").arg(lastError));
    }
    if (connected)
        return MqttRetry(QStringLiteral("The connection to %1 was lost.").arg(where));
    if (rc == MOSQ_ERR_ERRNO) {
        switch (error) {
        case ECONNREFUSED:
            return MqttRetry(cannot + QStringLiteral("the connection was refused."));
        case ETIMEDOUT:
            return MqttRetry(cannot + QStringLiteral("it timed out."));
        case ENETUNREACH:
        case EHOSTUNREACH:
            return MqttRetry(cannot + QStringLiteral("the network does not reach it."));
        default:
            return MqttRetry(cannot + QString::fromLocal8Bit(std::strerror(error)) + u'.');
        }
    }
    if (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN)
        return MqttRetry(cannot + QStringLiteral("the broker closed the connection."));
    return MqttRetry(cannot + QString::fromUtf8(Mosquitto().mosquitto_strerror(rc)) + u'.');
}

void MqttSession::onConnect(mosquitto *client, void *data, int code, int,
                            const mosquitto_property *)
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

void MqttSession::onPublish(mosquitto *, void *data, int mid, int reason,
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

void MqttSession::onLog(mosquitto *, void *data, int level, const char *line)
{
    if (!(level & MOSQ_LOG_ERR))
        return;
    auto *self = static_cast<MqttSession *>(data);
    std::lock_guard lock(self->mutex);
    self->lastError = QString::fromUtf8(line);
}

void MqttSession::onMessage(mosquitto *, void *data, const mosquitto_message *message,
                            const mosquitto_property *properties)
{
    auto *self = static_cast<MqttSession *>(data);
    // A request the broker keeps for whoever subscribes was not made for this moment; one
    // whose lifetime is spent came too late to be asked still.
    uint32_t left = 0;
    int lifetime = -1;
    QString stale;
    if (message->retain)
        stale = QStringLiteral("it was retained");
    else if (Mosquitto().mosquitto_property_read_int32(
                 properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, &left, false)) {
        if (left == 0)
            stale = QStringLiteral("it had expired");
        else
            lifetime = int(std::min<uint32_t>(left, std::numeric_limits<int>::max()));
    }
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    self->tell([generation = self->generation, payload, stale, lifetime](MqttTransport *to) {
        to->onRequest(generation, payload, stale, lifetime);
    });
}
