#include "support/privatebus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

namespace {

const QString MockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString ConnectionName = QStringLiteral("trovanel-test-system-bus");

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace

PrivateSystemBus::PrivateSystemBus(Standing standing) : m_standing(standing)
{
    const bool system = standing == Standing::ForSystem;
    m_daemon.start(
        QStringLiteral("dbus-daemon"),
        {system ? QStringLiteral("--session")
                : QStringLiteral("--config-file=" TROVANEL_TEST_SUPPORT_DIR "/sessionbus.conf"),
         QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(5000)) {
        m_problem = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
        return;
    }
    const QDeadlineTimer deadline(10000);
    while (!m_daemon.canReadLine() && !deadline.hasExpired())
        m_daemon.waitForReadyRead(100);
    m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty()) {
        m_problem = QStringLiteral("dbus-daemon told no address");
        return;
    }
    qputenv(system ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS",
            m_address.toLocal8Bit());
    m_bus = QDBusConnection::connectToBus(m_address, ConnectionName);
    if (!m_bus.isConnected())
        m_problem = QStringLiteral("cannot connect to ") + m_address;
}

PrivateSystemBus::~PrivateSystemBus()
{
    stopLocationService();
    for (auto &mock : m_mocks)
        stop(*mock);
    m_bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(ConnectionName);
    stop(m_daemon);
}

bool PrivateSystemBus::startTemplate(const QString &name, const QString &busName)
{
    const QString bus = m_standing == Standing::ForSystem ? "--system" : "--session";
    // Debian's python3, where python3-dbusmock is installed, whatever python3 a PATH names.
    return startProgram(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-m"), QStringLiteral("dbusmock"), bus, QStringLiteral("--template"), name},
        busName);
}

QProcess *PrivateSystemBus::startProgram(const QString &program, const QStringList &arguments,
                                         const QString &busName)
{
    if (!m_problem.isEmpty())
        return nullptr;
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, arguments);
    QProcess *started = process.get();
    m_mocks.push_back(std::move(process));
    const QDeadlineTimer deadline(15000);
    while (!m_bus.interface()->isServiceRegistered(busName).value()) {
        if (deadline.hasExpired() || started->state() == QProcess::NotRunning) {
            m_problem = QStringLiteral("%1 %2 did not come up").arg(program, arguments.join(' '));
            return nullptr;
        }
        QThread::msleep(50);
    }
    return started;
}

bool PrivateSystemBus::callMock(const QString &busName, const QString &path, const QString &method,
                                const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(busName, path, MockInterface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        m_problem = method + QStringLiteral(": ") + reply.errorMessage();
        return false;
    }
    return true;
}

bool PrivateSystemBus::prepareForSleep(bool sleeping)
{
    return callMock(QStringLiteral("org.freedesktop.login1"),
                    QStringLiteral("/org/freedesktop/login1"), QStringLiteral("EmitSignal"),
                    {QStringLiteral("org.freedesktop.login1.Manager"),
                     QStringLiteral("PrepareForSleep"), QStringLiteral("b"),
                     QVariant(QVariantList {sleeping})});
}

bool PrivateSystemBus::setNetworkState(uint state)
{
    return callMock(QStringLiteral("org.freedesktop.NetworkManager"),
                    QStringLiteral("/org/freedesktop/NetworkManager"),
                    QStringLiteral("SetGlobalConnectionState"), {state});
}

bool PrivateSystemBus::setPrimaryConnection(const QString &path)
{
    const QString manager = QStringLiteral("/org/freedesktop/NetworkManager");
    return callMock(
        QStringLiteral("org.freedesktop.NetworkManager"), manager, QStringLiteral("SetProperty"),
        {manager, QStringLiteral("org.freedesktop.NetworkManager"),
         QStringLiteral("PrimaryConnection"),
         QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(path))))});
}

bool PrivateSystemBus::startLocationService(const QByteArray &config, bool agent)
{
    if (!m_problem.isEmpty())
        return false;
    m_geoclueConfig = QDir::temp().filePath(
        QStringLiteral("trovanel-geoclue-%1.conf").arg(QCoreApplication::applicationPid()));
    QFile file(m_geoclueConfig);
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) {
        m_problem = QStringLiteral("cannot write ") + m_geoclueConfig;
        return false;
    }
    file.close();
    m_geoclue.setProcessChannelMode(QProcess::MergedChannels);
    m_geoclue.start(QStringLiteral("unshare"),
                    {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                     QStringLiteral("private"), QStringLiteral("--"), QStringLiteral("sh"),
                     QStringLiteral("-c"),
                     QStringLiteral("mount --bind \"$1\" /etc/geoclue/geoclue.conf && "
                                    "exec /usr/libexec/geoclue --timeout=0"),
                     QStringLiteral("sh"), m_geoclueConfig});
    const QString name = QStringLiteral("org.freedesktop.GeoClue2");
    const QDeadlineTimer deadline(10000);
    while (!m_bus.interface()->isServiceRegistered(name).value()) {
        if (deadline.hasExpired() || m_geoclue.state() == QProcess::NotRunning) {
            m_geoclue.waitForFinished(1000);
            m_problem = QStringLiteral("the location daemon did not come up: ")
                + QString::fromLocal8Bit(m_geoclue.readAll()).trimmed();
            return false;
        }
        QThread::msleep(20);
    }
    if (!agent)
        return true;
    m_agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_agent.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(TROVANEL_TEST_SUPPORT_DIR "/locationagent.py")});
    while (!m_agent.canReadLine()) {
        if (deadline.hasExpired() || !m_agent.waitForReadyRead(100)) {
            if (deadline.hasExpired() || m_agent.state() == QProcess::NotRunning) {
                m_problem = QStringLiteral("the stand-in location agent did not register");
                return false;
            }
        }
    }
    return true;
}

void PrivateSystemBus::stopLocationService()
{
    stop(m_agent);
    stop(m_geoclue);
    if (!m_geoclueConfig.isEmpty())
        QFile::remove(m_geoclueConfig);
}

PrivateSessionBus::PrivateSessionBus()
{
    // The session bus's own configuration would start the desktop's services on demand.
    const QString config = m_home.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)
        || file.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                      "<auth>EXTERNAL</auth><policy context=\"default\"><allow "
                      "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                      "<allow own=\"*\"/></policy></busconfig>")
            < 0) {
        m_problem = QStringLiteral("cannot write ") + config;
        return;
    }
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    const QDeadlineTimer deadline(10000);
    while (!m_daemon.canReadLine() && !deadline.hasExpired()
           && m_daemon.state() != QProcess::NotRunning)
        m_daemon.waitForReadyRead(100);
    const QString address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    if (address.isEmpty()) {
        m_problem = QStringLiteral("the session bus did not start");
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLocal8Bit());
    m_bus = QDBusConnection::connectToBus(address, QStringLiteral("trovanel-test-session-bus"));
}

PrivateSessionBus::~PrivateSessionBus()
{
    stopSecretService();
    m_bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(QStringLiteral("trovanel-test-session-bus"));
    stop(m_daemon);
}

bool PrivateSessionBus::startSecretService(const QByteArray &password)
{
    if (!m_problem.isEmpty())
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        env.insert(QString::fromLatin1(name), m_home.path());
    m_keyring.setProcessEnvironment(env);
    m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                     QStringLiteral("--components=secrets")});
    // The password goes before the wait below, which runs no event loop to write it.
    m_keyring.waitForStarted(5000);
    m_keyring.write(password);
    m_keyring.waitForBytesWritten(5000);
    m_keyring.closeWriteChannel();
    const QString name = QStringLiteral("org.freedesktop.secrets");
    const QDeadlineTimer deadline(10000);
    while (!m_bus.interface()->isServiceRegistered(name).value()) {
        if (deadline.hasExpired() || m_keyring.state() == QProcess::NotRunning) {
            m_problem = QStringLiteral("gnome-keyring-daemon did not come up");
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

void PrivateSessionBus::stopSecretService()
{
    stop(m_keyring);
}
