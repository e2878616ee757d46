#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>
#include <memory>
#include <vector>

// A bus of its own standing in for the system bus, with python3-dbusmock's stand-ins for
// logind and NetworkManager on it; or for the session bus, where nothing starts by itself:
// every service on it is one the test started. Made before the first window of the test
// program: Qt connects to each bus once, at the address DBUS_SYSTEM_BUS_ADDRESS or
// DBUS_SESSION_BUS_ADDRESS names.
class PrivateSystemBus
{
public:
    enum class Standing { ForSystem, ForSession };
    explicit PrivateSystemBus(Standing standing = Standing::ForSystem);
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus &) = delete;
    PrivateSystemBus &operator=(const PrivateSystemBus &) = delete;

    // Why the bus or a stand-in did not come up; empty when all is well.
    QString problem() const { return m_problem; }

    // Starts dbusmock's template (e.g. "logind") and waits until it owns busName.
    bool startTemplate(const QString &name, const QString &busName);
    // Starts program on the bus and waits until it owns busName; null with problem() set when
    // it does not. It runs until the bus ends, or the caller ends it.
    QProcess *startProgram(const QString &program, const QStringList &arguments,
                           const QString &busName);

    // Calls one of the stand-in's own methods (org.freedesktop.DBus.Mock) at path; false with
    // problem() set when it fails.
    bool callMock(const QString &busName, const QString &path, const QString &method,
                  const QVariantList &arguments);

    // logind tells that the machine is about to sleep (true) or has woken (false).
    bool prepareForSleep(bool sleeping);
    // NetworkManager's overall state: 70 connected to the internet, 20 disconnected.
    bool setNetworkState(uint state);
    // NetworkManager's primary connection becomes the active connection at path.
    bool setPrimaryConnection(const QString &path);

    // The real location daemon (Debian's geoclue-2.0) on this bus, reading config in place of
    // /etc/geoclue/geoclue.conf (bound over it in a mount namespace of its own), and, with
    // agent, a stand-in of the desktop's agent registered with it as "trovanel-test-agent".
    bool startLocationService(const QByteArray &config, bool agent);
    void stopLocationService();

private:
    QProcess m_daemon;
    std::vector<std::unique_ptr<QProcess>> m_mocks;
    QProcess m_geoclue;
    QProcess m_agent;
    QString m_geoclueConfig;
    QString m_address;
    QString m_problem;
    Standing m_standing;
    QDBusConnection m_bus {QString()};
};

// A session bus of its own that starts no service by itself, with a real Secret Service
// (gnome-keyring) on it when asked. Made before anything connects to the session bus:
// DBUS_SESSION_BUS_ADDRESS names it from then on.
class PrivateSessionBus
{
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    QString problem() const { return m_problem; }
    // gnome-keyring's Secret Service, its login keyring made or unlocked with password, its
    // files in a folder of its own.
    bool startSecretService(const QByteArray &password);
    void stopSecretService();

private:
    QTemporaryDir m_home;
    QProcess m_daemon;
    QProcess m_keyring;
    QString m_problem;
    QDBusConnection m_bus {QString()};
};
