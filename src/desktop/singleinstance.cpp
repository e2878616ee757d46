#include "desktop/singleinstance.h"

#include "desktop/instanceconnection.h"

#include "core/failure.h"
#include "core/workingfolder.h"
#include "core/xdgfolders.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace InstanceProtocol;

namespace {

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

// Whether a started copy has ended already (it found another copy, or could not start).
bool HasEnded(qint64 process)
{
    return ::kill(pid_t(process), 0) != 0 && errno == ESRCH;
}

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

QString SingleInstance::notAnswered(qint64 process)
{
    const QString running = process > 0
        ? QStringLiteral("the Trovanel already running (process %1)").arg(process)
        : QStringLiteral("the Trovanel already running");
    return QStringLiteral("%1 did not answer.").arg(running);
}

SingleInstance::Outcome SingleInstance::command(Request request, const QStringList &files,
                                                const std::function<qint64()> &start)
{
    const bool import = request == Request::Import;
    QByteArray message = import ? ImportLine : RestoreLine;
    for (const QString &file : import ? files : QStringList()) {
        // A line break would make two names of one, and a file not meant imported.
        if (file.contains(u'\n'))
            return {false,
                    QStringLiteral("a file name with a line break cannot be passed on: %1")
                        .arg(QString(file).replace(u'\n', QLatin1String("\\n")))};
        message += QFile::encodeName(file) + '\n';
    }
    if (import)
        message += '\n';
    if (message.size() > CommandLimit)
        return {false,
                QStringLiteral("the file names come to more than 1 MiB: import fewer "
                               "files at a time.")};
    sockaddr_un address;
    if (m_folder.isEmpty() || !SocketAddress(serverPath(), address))
        return {false,
                QStringLiteral("there is no private folder to reach a running Trovanel "
                               "through.")};

    const QDeadlineTimer deadline(m_startWait);
    qint64 started = 0;
    for (;;) {
        if (const int fd = connectTo(address); fd >= 0) {
            const std::optional<QByteArray> answer = exchange(fd, message, true);
            ::close(fd);
            if (!answer)
                return {false, notAnswered(m_runningProcess)};
            if (answer->startsWith(DoneWord))
                return {true, QString::fromUtf8(answer->sliced(DoneWord.size()))};
            if (answer->startsWith(FailedWord))
                return {false, QString::fromUtf8(answer->sliced(FailedWord.size()))};
            return {false,
                    QStringLiteral("the Trovanel already running ended before it "
                                   "answered.")};
        }
        // A copy that holds the lock but does not listen yet is still starting.
        const bool free = lockIsFree();
        if (free && started == 0) {
            started = start();
            if (started == 0)
                return {false, QStringLiteral("Trovanel could not be started.")};
        } else if (free && HasEnded(started)) {
            return {false, QStringLiteral("Trovanel ended as soon as it started.")};
        }
        if (deadline.hasExpired())
            return {false,
                    started == 0
                        ? notAnswered(m_runningProcess)
                        : QStringLiteral("the Trovanel started did not answer within %1 seconds.")
                              .arg(m_startWait.count() / 1000)};
        QEventLoop pause;
        QTimer::singleShot(100, &pause, &QEventLoop::quit);
        pause.exec();
    }
}

bool SingleInstance::lockIsFree()
{
    QLockFile lock(lockPath());
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) {
        lock.unlock();
        return true;
    }
    qint64 process = 0;
    if (lock.getLockInfo(&process, nullptr, nullptr))
        m_runningProcess = process;
    return false;
}

void SingleInstance::ask(const sockaddr_un &address, Request request)
{
    const int fd = connectTo(address);
    if (fd < 0)
        return;
    m_delivered = exchange(fd, RequestLines[int(request)], false).has_value();
    ::close(fd);
}

int SingleInstance::connectTo(const sockaddr_un &address)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // Bounds the connection and the write too, should the running copy be hung.
    const auto waitMs = m_answerWait.count();
    const timeval limit {time_t(waitMs / 1000), suseconds_t(waitMs % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    ucred peer {};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.pid > 0)
        m_runningProcess = peer.pid;
    return fd;
}

// The events of this process go on meanwhile: the running copy may be this very process (a
// test), and it answers from its own event loop. A command's answer line is empty when the
// running copy hung up without one.
std::optional<QByteArray> SingleInstance::exchange(int fd, const QByteArray &message, bool command)
{
    const QDeadlineTimer deadline(m_answerWait);
    for (qsizetype sent = 0; sent < message.size();) {
        const ssize_t wrote
            = ::send(fd, message.constData() + sent, size_t(message.size() - sent), MSG_NOSIGNAL);
        if (wrote <= 0 && errno != EINTR)
            return std::nullopt;
        sent += std::max<ssize_t>(wrote, 0);
    }
    QEventLoop loop;
    QTimer taking;
    taking.setSingleShot(true);
    taking.setTimerType(Qt::PreciseTimer);
    connect(&taking, &QTimer::timeout, &loop, &QEventLoop::quit);
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    QByteArray answer;
    std::optional<QByteArray> result;
    connect(&readable, &QSocketNotifier::activated, &loop, [&] {
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (got > 0)
            answer.append(buffer, got);
        if (!answer.startsWith(AnswerLine)) {
            // A hang-up, or an answer that can no longer be ours, ends the wait at once.
            if (got <= 0 || !AnswerLine.startsWith(answer))
                loop.quit();
            return;
        }
        // Taken: a command is waited for as long as the running copy keeps the connection.
        taking.stop();
        const qsizetype end = answer.indexOf('\n', AnswerLine.size());
        if (command && end >= 0)
            result = answer.sliced(AnswerLine.size(), end - AnswerLine.size());
        else if (!command || got <= 0 || answer.size() > CommandLimit)
            result = QByteArray();
        if (result)
            loop.quit();
    });
    if (deadline.hasExpired())
        return std::nullopt;
    taking.start(std::chrono::milliseconds(deadline.remainingTime()));
    loop.exec();
    return result;
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
        new InstanceConnection(fd, this);
    }
}
