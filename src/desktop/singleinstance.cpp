#include "desktop/singleinstance.h"

#include "core/failure.h"
#include "core/workingfolder.h"
#include "core/xdgfolders.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The requests' lines, in the order of SingleInstance::Request.
const QByteArray RequestLines[] = {"show\n", "toggle\n", "log-now\n"};
// A later copy sends nothing but the request; whatever sends more is not one of ours.
constexpr qsizetype RequestLimit = 64;
// The running copy's answer once it has taken a request. A copy from before there was an
// answer hangs up without one, and is told as one that did not answer.
const QByteArray AnswerLine = "taken\n";

// False when the path is too long for a local socket's address.
bool SocketAddress(const QString &path, sockaddr_un &address)
{
    const QByteArray name = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    if (name.isEmpty() || name.size() >= qsizetype(sizeof address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

// One later copy's connection: read until its request is complete, then closed.
class Connection : public QObject
{
public:
    Connection(int fd, SingleInstance *owner)
        : QObject(owner), m_fd(fd), m_notifier(fd, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this, owner] { read(owner); });
    }
    ~Connection() override { ::close(m_fd); }

private:
    void read(SingleInstance *owner)
    {
        char buffer[RequestLimit];
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (got > 0)
            m_received.append(buffer, got);
        // The first whole line is the request; one that is not ours ends the connection.
        const qsizetype end = m_received.indexOf('\n');
        const bool whole = end >= 0 && end < RequestLimit;
        if (!whole && got > 0 && m_received.size() <= RequestLimit)
            return;
        m_notifier.setEnabled(false);
        deleteLater();
        if (!whole)
            return;
        const QByteArray line = m_received.first(end + 1);
        for (int request = 0; request < int(std::size(RequestLines)); ++request) {
            if (line != RequestLines[request])
                continue;
            // Answered before it is acted on: acting may wait for the user (the key offer),
            // and the later copy asks only whether this one is alive and took it.
            ::send(m_fd, AnswerLine.constData(), size_t(AnswerLine.size()), MSG_NOSIGNAL);
            Q_EMIT owner->requested(SingleInstance::Request(request));
        }
    }

    int m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_received;
};

} // namespace

SingleInstance::SingleInstance(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder)
{ }

SingleInstance::~SingleInstance()
{
    if (m_server >= 0) {
        delete m_serverNotifier;
        ::close(m_server);
        QFile::remove(serverPath());
    }
}

QString SingleInstance::defaultFolder()
{
    const QString runtime = Xdg::runtimeDir();
    if (!runtime.isEmpty())
        return runtime;
    // Outside a login session the lock goes in a folder of the user's own: under a fixed name
    // straight in /tmp, another user could take the name first and keep the program from ever
    // starting.
    try {
        return WorkingFolder::preparePrivate(Xdg::tempDir() + QStringLiteral("/trovanel-instance-")
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

bool SingleInstance::claim(Request request)
{
    if (m_folder.isEmpty())
        return true;
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock left by a copy that died is taken over: QLockFile sees its process is gone.
    m_lock->setStaleLockTime(0);
    sockaddr_un address;
    const bool addressable = SocketAddress(serverPath(), address);
    if (m_lock->tryLock(0)) {
        // Without the socket the program still runs; a later copy then cannot reach this one.
        if (addressable)
            listen(address);
        return true;
    }

    if (addressable)
        ask(address, request);
    // A running copy that could not be reached is named by its lock.
    if (m_runningProcess == 0) {
        qint64 process = 0;
        if (m_lock->getLockInfo(&process, nullptr, nullptr))
            m_runningProcess = process;
    }
    return false;
}

void SingleInstance::ask(const sockaddr_un &address, Request request)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    const QDeadlineTimer deadline(m_answerWait);
    // Bounds the connection and the write too, should the running copy be hung.
    const auto waitMs = m_answerWait.count();
    const timeval limit {time_t(waitMs / 1000), suseconds_t(waitMs % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const QByteArray &line = RequestLines[int(request)];
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
        ucred peer {};
        socklen_t size = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.pid > 0)
            m_runningProcess = peer.pid;
        m_delivered = ::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) == line.size()
            && awaitAnswer(fd, std::chrono::milliseconds(deadline.remainingTime()));
    }
    ::close(fd);
}

// The events of this process go on meanwhile: the running copy may be this very process (a
// test), and it answers from its own event loop.
bool SingleInstance::awaitAnswer(int fd, std::chrono::milliseconds wait)
{
    QEventLoop loop;
    QTimer::singleShot(wait, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    QByteArray answer;
    bool answered = false;
    connect(&readable, &QSocketNotifier::activated, &loop, [&] {
        char buffer[16];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (got > 0)
            answer.append(buffer, got);
        answered = answer.startsWith(AnswerLine);
        // A hang-up, or an answer that can no longer be ours, ends the wait at once.
        if (answered || got <= 0 || !AnswerLine.startsWith(answer))
            loop.quit();
    });
    if (wait.count() > 0)
        loop.exec();
    return answered;
}

void SingleInstance::listen(const sockaddr_un &address)
{
    // The lock is ours, so a socket file still there is a dead copy's.
    ::unlink(address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    // The folder is the user's own already; the socket is made the user's alone as well.
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::chmod(address.sun_path, S_IRUSR | S_IWUSR) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        ::unlink(address.sun_path);
        return;
    }
    m_server = fd;
    m_serverNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_serverNotifier, &QSocketNotifier::activated, this, &SingleInstance::onNewConnection);
}

void SingleInstance::onNewConnection()
{
    for (;;) {
        const int fd = ::accept4(m_server, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        new Connection(fd, this);
    }
}
