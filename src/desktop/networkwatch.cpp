#include "desktop/networkwatch.h"

#include "desktop/routewatch.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace {

const QString Service = QStringLiteral("org.freedesktop.NetworkManager");
const QString Path = QStringLiteral("/org/freedesktop/NetworkManager");
const QString Interface = QStringLiteral("org.freedesktop.NetworkManager");
const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");
// NM_STATE_CONNECTED_GLOBAL: the lookup's service can be reached.
constexpr uint ConnectedGlobal = 70;

} // namespace

NetworkWatch::NetworkWatch(QObject *parent) : QObject(parent) { }

bool NetworkWatch::start()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        fallBack();
        return false;
    }
    // Today's NetworkManager tells changes through the standard signal, older ones (and some
    // stand-ins) through one of the manager's own; StateChanged comes in both.
    bus.connect(Service, Path, Properties, QStringLiteral("PropertiesChanged"), this,
                SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    bus.connect(Service, Path, Interface, QStringLiteral("PropertiesChanged"), this,
                SLOT(properties(QVariantMap)));
    bus.connect(Service, Path, Interface, QStringLiteral("StateChanged"), this,
                SLOT(stateChanged(uint)));
    QDBusMessage ask
        = QDBusMessage::createMethodCall(Service, Path, Properties, QStringLiteral("GetAll"));
    ask << Interface;
    return bus.callWithCallback(ask, this, SLOT(properties(QVariantMap)),
                                SLOT(unanswered(QDBusError)));
}

bool NetworkWatch::isUp() const
{
    if (m_routes)
        return m_routes->isUp();
    return !m_state || *m_state >= ConnectedGlobal;
}

ConnectionKind NetworkWatch::connectionKind() const
{
    if (m_primaryType == QLatin1String("802-11-wireless"))
        return ConnectionKind::WiFi;
    for (const char *mobile : {"gsm", "cdma", "bluetooth", "wwan"}) {
        if (m_primaryType == QLatin1String(mobile))
            return ConnectionKind::Mobile;
    }
    return ConnectionKind::Unknown;
}

void NetworkWatch::fallBack()
{
    if (m_routes)
        return;
    m_routes = new RouteWatch(this);
    if (!m_routes->start())
        qInfo("The kernel's routing socket cannot be opened: a change of network is not seen.");
    connect(m_routes, &RouteWatch::changed, this, &NetworkWatch::changed);
}

void NetworkWatch::properties(const QVariantMap &properties)
{
    // The first answer tells the state as it is, not a change.
    take(properties, m_state.has_value());
}

void NetworkWatch::propertiesChanged(const QString &interface, const QVariantMap &changed,
                                     const QStringList &)
{
    if (interface == Interface)
        take(changed, true);
}

void NetworkWatch::stateChanged(uint state)
{
    take({{QStringLiteral("State"), state}}, true);
}

void NetworkWatch::unanswered(const QDBusError &error)
{
    qInfo("NetworkManager did not answer (%s): the network's state comes from the routes.",
          qPrintable(error.message()));
    fallBack();
}

void NetworkWatch::take(const QVariantMap &properties, bool tell)
{
    bool different = false;
    const auto state = properties.constFind(QStringLiteral("State"));
    if (state != properties.cend()) {
        const uint value = state->toUInt();
        different = m_state != value;
        m_state = value;
    }
    const auto primary = properties.constFind(QStringLiteral("PrimaryConnection"));
    if (primary != properties.cend()) {
        const QString path = qvariant_cast<QDBusObjectPath>(*primary).path();
        different = different || path != m_primary;
        m_primary = path;
    }
    const auto type = properties.constFind(QStringLiteral("PrimaryConnectionType"));
    if (type != properties.cend())
        m_primaryType = type->toString();
    if (different && tell)
        Q_EMIT changed();
}
