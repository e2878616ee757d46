#include "desktop/singleinstance.h"

#include "app/failure.h"
#include "lookup/workingfolder.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {
const QByteArray ShowRequest = "show\n";
}

SingleInstance::SingleInstance(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder)
{ }

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
        QFile::remove(serverPath());
    }
}

QString SingleInstance::defaultFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists())
        return runtime;
    // Outside a login session the lock goes in a folder of the user's own: under a fixed name
    // straight in /tmp, another user could take the name first and keep the program from ever
    // starting.
    try {
        return WorkingFolder::preparePrivate(WorkingFolder::sharedTemp()
                                             + QStringLiteral("/trovanel-instance-")
                                             + QString::number(::getuid()));
    } catch (const Failure &) {
        return QString();
    }
}

QString SingleInstance::lockPath() const
{
    return m_folder + QStringLiteral("/trovanel-") + QString::number(::getuid())
        + QStringLiteral(".lock");
}

QString SingleInstance::serverPath() const
{
    return m_folder + QStringLiteral("/trovanel-") + QString::number(::getuid())
        + QStringLiteral(".socket");
}

bool SingleInstance::claim()
{
    if (m_folder.isEmpty())
        return true;
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock left by a copy that died is taken over: QLockFile sees its process is gone.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        // The lock is ours, so a socket file still there is a dead copy's.
        QLocalServer::removeServer(serverPath());
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
        // Without the socket the program still runs; a later copy then cannot reach this one.
        m_server->listen(serverPath());
        return true;
    }

    QLocalSocket socket;
    socket.connectToServer(serverPath());
    if (socket.waitForConnected(2000)) {
        socket.write(ShowRequest);
        m_delivered = socket.waitForBytesWritten(2000);
        socket.disconnectFromServer();
    }
    return false;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains(ShowRequest))
                Q_EMIT showRequested();
        });
    }
}
