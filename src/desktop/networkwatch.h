#pragma once

#include "core/connectionkind.h"

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <optional>

class QDBusError;
class RouteWatch;

// NetworkManager's view of the network on the system bus: whether the machine reaches the
// internet, and when the primary connection or the overall state changes (another Wi-Fi
// network, a cable plugged in, a VPN up or down). Where NetworkManager does not answer (or there
// is no system bus), the system's own routes tell instead: whether there is a way out, and when the
// way out changes.
class NetworkWatch : public QObject
{
    Q_OBJECT

public:
    explicit NetworkWatch(QObject *parent = nullptr);

    // Listens from now on and asks for the present state. False where there is no system bus.
    bool start();

    // Whether NetworkManager, or the routes in its place, have told the state.
    bool knowsState() const { return m_state.has_value() || m_routes; }
    // Connected to the internet by NetworkManager's word (or a default route); up while
    // neither has told, so that a machine where neither can tell never waits.
    bool isUp() const;
    // The routes are telling, NetworkManager being absent.
    bool usesRoutes() const { return m_routes; }
    // How the primary connection reaches the network; Unknown for anything but Wi-Fi and a
    // mobile connection, and when not told.
    ConnectionKind connectionKind() const;

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void properties(const QVariantMap &properties);
    void propertiesChanged(const QString &interface, const QVariantMap &changed,
                           const QStringList &invalidated);
    void stateChanged(uint state);
    void unanswered(const QDBusError &error);

private:
    void take(const QVariantMap &properties, bool tell);
    void fallBack();

    std::optional<uint> m_state;
    QString m_primary;
    QString m_primaryType; // NetworkManager's type of the primary connection
    RouteWatch *m_routes = nullptr;
};
