#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <optional>

class QDBusError;

// NetworkManager's view of the network on the system bus: whether the machine reaches the
// internet, and when the primary connection or the overall state changes (another Wi-Fi
// network, a cable plugged in, a VPN up or down).
class NetworkWatch : public QObject
{
    Q_OBJECT

public:
    explicit NetworkWatch(QObject *parent = nullptr);

    // Listens from now on and asks for the present state. False where there is no system bus.
    bool start();

    // Whether NetworkManager has told its state yet.
    bool knowsState() const { return m_state.has_value(); }
    // Connected to the internet by NetworkManager's word; up while it has not told, so that
    // a machine without it never waits for it.
    bool isUp() const;

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

    std::optional<uint> m_state;
    QString m_primary;
};
