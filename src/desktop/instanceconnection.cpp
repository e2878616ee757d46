#include "desktop/instanceconnection.h"

#include "desktop/singleinstance.h"

#include <QFile>
#include <QPointer>

#include <cerrno>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

using namespace InstanceProtocol;

namespace {

// The files of a whole import request: none while more may complete it, an empty list once it
// can no longer be one of ours.
std::optional<QStringList> ImportedFiles(const QByteArray &received)
{
    const qsizetype end = received.indexOf("\n\n", ImportLine.size() - 1);
    if (end < 0 && received.size() <= CommandLimit)
        return std::nullopt;
    if (end < ImportLine.size())
        return QStringList();
    QStringList files;
    for (const QByteArray &name :
         received.sliced(ImportLine.size(), end - ImportLine.size()).split('\n')) {
        // Names the asking copy made absolute: anything else is not from one.
        if (!name.startsWith('/'))
            return QStringList();
        files << QFile::decodeName(name);
    }
    return files;
}

} // namespace

InstanceConnection::InstanceConnection(int fd, SingleInstance *owner)
    : QObject(owner), m_fd(fd), m_notifier(fd, QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, [this, owner] { read(owner); });
}

InstanceConnection::~InstanceConnection()
{
    ::close(m_fd);
}

void InstanceConnection::read(SingleInstance *owner)
{
    char buffer[16384];
    const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (m_commanded) {
        // Nothing more is asked on a command's connection; a hang-up ends it.
        if (got <= 0)
            finish();
        return;
    }
    if (got > 0)
        m_received.append(buffer, got);
    // The first whole line is the request; one that is not ours ends the connection.
    const qsizetype end = m_received.indexOf('\n');
    const bool whole = end >= 0 && end < RequestLimit;
    if (!whole && got > 0 && m_received.size() <= RequestLimit)
        return;
    const QByteArray line = whole ? m_received.first(end + 1) : QByteArray();
    if (line == ImportLine || line == RestoreLine) {
        command(owner, line == ImportLine, got > 0);
        return;
    }
    finish();
    for (int request = 0; request < int(std::size(RequestLines)); ++request) {
        if (line != RequestLines[request])
            continue;
        // Answered before it is acted on: acting may wait for the user (the key offer),
        // and the later copy asks only whether this one is alive and took it.
        send(AnswerLine);
        Q_EMIT owner->requested(SingleInstance::Request(request));
    }
}

void InstanceConnection::command(SingleInstance *owner, bool import, bool more)
{
    QStringList files;
    if (import) {
        const std::optional<QStringList> whole = ImportedFiles(m_received);
        if (!whole && more)
            return;
        if (!whole || whole->isEmpty())
            return finish();
        files = *whole;
    }
    m_commanded = true;
    send(AnswerLine);
    const QPointer<InstanceConnection> self(this);
    Q_EMIT owner->commanded(import ? SingleInstance::Request::Import
                                   : SingleInstance::Request::Restore,
                            files, [self](bool ok, const QString &text) {
                                if (!self || !self->m_commanded)
                                    return;
                                // One line, short enough for the socket to take at once.
                                QString said = text.left(AnswerTextLimit);
                                said.replace(u'\n', u' ').replace(u'\r', u' ');
                                self->send((ok ? DoneWord : FailedWord) + said.toUtf8() + '\n');
                                self->finish();
                            });
}

// An asking copy that went away gets nothing, and this copy no signal for it.
void InstanceConnection::send(const QByteArray &bytes)
{
    ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
}

void InstanceConnection::finish()
{
    m_commanded = false;
    m_notifier.setEnabled(false);
    deleteLater();
}
