#include "desktop/locationservice.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDateTime>

#include <cmath>

namespace {

const QString Service = QStringLiteral("org.freedesktop.GeoClue2");
const QString ManagerPath = QStringLiteral("/org/freedesktop/GeoClue2/Manager");
const QString ManagerInterface = QStringLiteral("org.freedesktop.GeoClue2.Manager");
const QString ClientInterface = QStringLiteral("org.freedesktop.GeoClue2.Client");
const QString LocationInterface = QStringLiteral("org.freedesktop.GeoClue2.Location");
const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");

QVariant variant(const QVariant &value)
{
    return QVariant::fromValue(QDBusVariant(value));
}

// The location's Timestamp: seconds and microseconds since 1970.
std::optional<qint64> takenMs(const QVariant &value)
{
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    const auto timestamp = value.value<QDBusArgument>();
    if (timestamp.currentSignature() != QLatin1String("(tt)"))
        return std::nullopt;
    quint64 seconds = 0;
    quint64 microseconds = 0;
    timestamp.beginStructure();
    timestamp >> seconds >> microseconds;
    timestamp.endStructure();
    return qint64(seconds * 1000 + microseconds / 1000);
}

} // namespace

LocationService::LocationService(QObject *parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(Fixes::WiFiDeadlineMs);
    connect(&m_deadline, &QTimer::timeout, this, &LocationService::giveUp);
}

LocationService::~LocationService()
{
    // Whoever asked may be gone already.
    m_found = nullptr;
    finish({});
}

void LocationService::ask(Answered found)
{
    finish({});
    ++m_ask;
    m_askedMs = QDateTime::currentMSecsSinceEpoch();
    m_found = std::move(found);
    m_deadline.start();
    if (!QDBusConnection::systemBus().isConnected()) {
        const quint64 ask = m_ask;
        // Told from the event loop, as an answer of the bus would be.
        QTimer::singleShot(
            0, this, [this, ask] { failed(ask, QDBusError(QDBusError::Disconnected, QString())); });
        return;
    }
    call(ManagerPath, ManagerInterface, QStringLiteral("CreateClient"), {},
         [this, ask = m_ask](const QDBusPendingCall &reply) {
             clientMade(ask, QDBusPendingReply<QDBusObjectPath>(reply).value());
         });
}

void LocationService::call(const QString &path, const QString &interface, const QString &method,
                           const QVariantList &arguments,
                           std::function<void(const QDBusPendingCall &reply)> done)
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, path, interface, method);
    message.setArguments(arguments);
    // The bus's own timeout: the deadline gives up on the ask, and a client the service makes
    // after it is still answered, so that it can be forgotten.
    auto *watcher
        = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, ask = m_ask, done = std::move(done)](QDBusPendingCallWatcher *reply) {
                reply->deleteLater();
                if (reply->isError())
                    failed(ask, reply->error());
                else if (done)
                    done(*reply);
            });
}

void LocationService::clientMade(quint64 ask, const QDBusObjectPath &client)
{
    if (ask != m_ask || !m_found) {
        // Made after the ask was given up (the agent came late): the service forgets it.
        call(ManagerPath, ManagerInterface, QStringLiteral("DeleteClient"),
             {QVariant::fromValue(client)});
        return;
    }
    m_client = client.path();
    QDBusConnection::systemBus().connect(Service, m_client, ClientInterface,
                                         QStringLiteral("LocationUpdated"), this,
                                         SLOT(locationUpdated(QDBusObjectPath, QDBusObjectPath)));
    // The service handles one client's calls in the order they come.
    call(m_client, Properties, QStringLiteral("Set"),
         {ClientInterface, QStringLiteral("DesktopId"), variant(QString::fromLatin1(DesktopId))});
    call(m_client, Properties, QStringLiteral("Set"),
         {ClientInterface, QStringLiteral("RequestedAccuracyLevel"), variant(StreetLevel)});
    call(m_client, ClientInterface, QStringLiteral("Start"), {});
}

void LocationService::locationUpdated(const QDBusObjectPath &, const QDBusObjectPath &now)
{
    if (!m_found)
        return;
    call(now.path(), Properties, QStringLiteral("GetAll"), {LocationInterface},
         [this, ask = m_ask](const QDBusPendingCall &reply) {
             located(ask, QDBusPendingReply<QVariantMap>(reply).value());
         });
}

void LocationService::located(quint64 ask, const QVariantMap &location)
{
    if (ask != m_ask || !m_found)
        return;
    bool latitudeOk = false, longitudeOk = false, accuracyOk = false;
    const Fix fix {location.value(QStringLiteral("Latitude")).toDouble(&latitudeOk),
                   location.value(QStringLiteral("Longitude")).toDouble(&longitudeOk),
                   location.value(QStringLiteral("Accuracy")).toDouble(&accuracyOk),
                   Fix::Source::WiFi};
    // A location without its place or its accuracy is no fix; a later one may be.
    if (latitudeOk && longitudeOk && accuracyOk
        && usable(fix, takenMs(location.value(QStringLiteral("Timestamp"))), m_askedMs))
        finish({fix, std::nullopt});
}

bool LocationService::usable(const Fix &fix, std::optional<qint64> takenMs, qint64 askedMs)
{
    // Comparisons with NaN are false, so only finite values within bounds pass. The service
    // tells the time to the second, so a fix taken just after the ask may be told up to a
    // second before it.
    return std::abs(fix.latitude) <= 90 && std::abs(fix.longitude) <= 180 && fix.accuracyMetres > 0
        && std::isfinite(fix.accuracyMetres) && !(takenMs && *takenMs + 1000 <= askedMs);
}

void LocationService::failed(quint64 ask, const QDBusError &error)
{
    if (ask != m_ask || !m_found)
        return;
    if (error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        finish({std::nullopt, Problem::NoService});
        return;
    }
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::Disconnected:
        finish({std::nullopt, Problem::NoService});
        break;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        finish({}); // a service too slow this time may answer the next log
        break;
    default:
        finish({std::nullopt, Problem::Refused});
    }
}

void LocationService::giveUp()
{
    if (m_found && m_client.isEmpty()) {
        // The service holds a new client until the desktop's agent has come.
        finish({std::nullopt, Problem::NoAgent});
        return;
    }
    finish({});
}

void LocationService::finish(const Answer &answer)
{
    m_deadline.stop();
    if (!m_client.isEmpty()) {
        QDBusConnection::systemBus().disconnect(
            Service, m_client, ClientInterface, QStringLiteral("LocationUpdated"), this,
            SLOT(locationUpdated(QDBusObjectPath, QDBusObjectPath)));
        stopClient(m_client);
        m_client.clear();
    }
    // A reply still on its way belongs to an ask that is over.
    ++m_ask;
    const Answered found = std::exchange(m_found, nullptr);
    if (found)
        found(answer);
}

void LocationService::stopClient(const QString &client)
{
    // Neither waited for nor told: the service also forgets a client whose program has left.
    QDBusConnection::systemBus().asyncCall(
        QDBusMessage::createMethodCall(Service, client, ClientInterface, QStringLiteral("Stop")));
    QDBusMessage forget = QDBusMessage::createMethodCall(Service, ManagerPath, ManagerInterface,
                                                         QStringLiteral("DeleteClient"));
    forget << QVariant::fromValue(QDBusObjectPath(client));
    QDBusConnection::systemBus().asyncCall(forget);
}

QString LocationService::advice(Problem problem)
{
    switch (problem) {
    case Problem::NoService:
        return QStringLiteral(
            "The system's location service is not there, so logs use the public address alone. "
            "To place the laptop by the Wi-Fi networks around it, install the package "
            "geoclue-2.0 (sudo apt install geoclue-2.0).");
    case Problem::Refused:
        return QStringLiteral(
            "The system's location service refused to tell Trovanel where the laptop is, so "
            "logs use the public address alone. To allow it, turn on location for Trovanel in "
            "your desktop's privacy or location settings.");
    case Problem::NoAgent:
        return QStringLiteral(
            "The system's location service waits for your desktop to allow Trovanel, and no "
            "answer came, so logs use the public address alone. To allow it, turn on location "
            "services in your desktop's privacy or location settings.");
    }
    return {};
}
