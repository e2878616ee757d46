#include "share/sharer.h"

#include "share/ownmessage.h"
#include "share/sealedmessage.h"
#include "share/sodiumlibrary.h"

#include <algorithm>

Sharer::Sharer(TransportMaker makeTransport, QObject *parent)
    : QObject(parent), m_makeTransport(std::move(makeTransport))
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &Sharer::pump);
}

Sharer::~Sharer()
{
    dropTransport();
}

void Sharer::setQueues(const QList<ShareQueue *> &queues)
{
    dropTransport();
    m_queues = queues;
    Q_EMIT waitingChanged(waiting());
    pump();
}

void Sharer::start()
{
    m_started = true;
    setQueues(m_queues);
}

void Sharer::setSettings(const ShareSettings &settings)
{
    if (settings == m_settings)
        return;
    dropTransport();
    m_settings = settings;
    m_requests.setKey(settings.encryptionKey);
    m_requests.setAnswering(isOn() && settings.commands);
    m_refused = false;
    m_retry.stop();
    m_retryMs = m_firstRetryMs;
    pump();
}

void Sharer::queued()
{
    Q_EMIT waitingChanged(waiting());
    pump();
}

void Sharer::hold(LogId log)
{
    m_heldFrom = log;
}

void Sharer::release()
{
    if (!m_heldFrom)
        return;
    m_heldFrom.reset();
    pump();
}

bool Sharer::replace(LogId log, const QByteArray &now)
{
    for (ShareQueue *queue : std::as_const(m_queues)) {
        if (!queue->replace(log, now))
            continue;
        // The earlier one on its way is not taken for this one once the server has it.
        for (InFlight &message : m_inFlight) {
            if (message.queue == queue && message.log == log)
                message.changed = true;
        }
        // One the server had may wait again, made anew.
        Q_EMIT waitingChanged(waiting());
        pump();
        return true;
    }
    return false;
}

void Sharer::networkCameBack()
{
    if (!m_retry.isActive())
        return;
    m_retry.stop();
    pump();
}

void Sharer::sendTest(const ShareSettings &settings, const QByteArray &message)
{
    if (const QString why = cannotSeal(settings); !why.isEmpty()) {
        Q_EMIT testOutcome(false, why);
        return;
    }
    m_testTransport = m_makeTransport(settings);
    if (!m_testTransport) {
        Q_EMIT testOutcome(false, QStringLiteral("Sharing is off."));
        return;
    }
    // Answered once; the transport goes when the event loop next runs, not inside its signal.
    const auto done = [this](bool delivered, const QString &words) {
        if (m_testTransport)
            m_testTransport.release()->deleteLater();
        if (delivered && m_refused) {
            m_refused = false;
            pump();
        }
        Q_EMIT testOutcome(delivered, words);
    };
    // Told with the test, once, rather than with every message.
    connect(m_testTransport.get(), &ShareTransport::delivered, this, [this, done](qint64) {
        done(true, m_testTransport ? m_testTransport->caveat() : QString());
    });
    connect(m_testTransport.get(), &ShareTransport::failed, this,
            [done](qint64, const ShareFailure &failure) { done(false, failure.words); });
    m_testTransport->sendTest(outgoing(settings, message));
}

qint64 Sharer::waiting() const
{
    qint64 count = 0;
    for (ShareQueue *queue : m_queues)
        count += queue->count();
    return count;
}

QList<ShareQueue::SetAside> Sharer::setAside() const
{
    QList<ShareQueue::SetAside> all;
    for (ShareQueue *queue : m_queues)
        all += queue->setAsideMessages();
    std::stable_sort(all.begin(), all.end(),
                     [](const auto &one, const auto &other) { return one.tst < other.tst; });
    return all;
}

bool Sharer::sendAgain(qint64 id)
{
    for (ShareQueue *queue : std::as_const(m_queues)) {
        if (queue->sendAgain(id)) {
            // The user vouches for it: the count of those the server would not take begins anew.
            m_setAsideInRow = 0;
            Q_EMIT waitingChanged(waiting());
            pump();
            return true;
        }
    }
    return false;
}

bool Sharer::discard(qint64 id)
{
    for (ShareQueue *queue : std::as_const(m_queues)) {
        if (queue->discard(id)) {
            Q_EMIT waitingChanged(waiting());
            return true;
        }
    }
    return false;
}

int Sharer::retryInMs() const
{
    return m_retry.isActive() ? m_retry.remainingTime() : 0;
}

void Sharer::dropTransport()
{
    m_inFlight.clear();
    if (!m_transport)
        return;
    m_transport->disconnect(this);
    m_transport->stop();
    // It may be answering right now, inside its own signal.
    m_transport.release()->deleteLater();
}

void Sharer::pump()
{
    if (!m_started || !isOn() || m_refused || m_retry.isActive() || m_pumping)
        return;
    // Never in clear what the user asked to go sealed.
    if (const QString why = cannotSeal(m_settings); !why.isEmpty()) {
        m_refused = true;
        Q_EMIT refused(why);
        return;
    }
    m_pumping = true;
    if (!m_transport) {
        m_transport = m_makeTransport(m_settings);
        if (m_transport) {
            connect(m_transport.get(), &ShareTransport::delivered, this, &Sharer::onDelivered);
            connect(m_transport.get(), &ShareTransport::failed, this, &Sharer::onFailed);
            connect(m_transport.get(), &ShareTransport::listenFailed, this, &Sharer::stopFor);
            if (m_settings.commands) {
                connect(m_transport.get(), &ShareTransport::requestReceived, &m_requests,
                        [this](const QByteArray &object, const QString &stale, int lifetime) {
                            m_requests.received(object, stale, lifetime);
                        });
                m_transport->listen();
            }
        }
    }
    // A transport may answer inside send(): the loop looks again each time round.
    while (m_transport && m_inFlight.size() < m_transport->window() && !m_refused
           && !m_retry.isActive()) {
        ShareQueue *from = nullptr;
        ShareQueue::Entry next;
        for (ShareQueue *queue : std::as_const(m_queues)) {
            for (const ShareQueue::Entry &entry : queue->first(int(m_inFlight.size()) + 1)) {
                if (m_inFlight.contains(entry.id))
                    continue;
                if (m_heldFrom && entry.log >= *m_heldFrom)
                    break;
                if (!from || entry.tst < next.tst) {
                    from = queue;
                    next = entry;
                }
                break;
            }
        }
        if (!from)
            break;
        m_inFlight.insert(next.id, {from, next.log});
        m_transport->send({next.id, outgoing(m_settings, next.body)});
    }
    m_pumping = false;
}

void Sharer::onDelivered(qint64 id)
{
    const InFlight sent = m_inFlight.take(id);
    if (!sent.queue)
        return;
    // Made again meanwhile: it waits, to go next as it is now.
    if (!sent.changed)
        sent.queue->remove(id);
    m_retryMs = m_firstRetryMs;
    m_setAsideInRow = 0;
    Q_EMIT waitingChanged(waiting());
    pump();
}

void Sharer::onFailed(qint64 id, const ShareFailure &failure)
{
    if (!m_inFlight.contains(id))
        return;
    // The third in a row stays and stops the sending: a server that takes none is most likely
    // the wrong one, or wants another format, and would have every message set aside.
    constexpr int MostInRow = 2;
    if (failure.kind == ShareFailure::Kind::Rejected && m_setAsideInRow < MostInRow) {
        const InFlight sent = m_inFlight.take(id);
        // The server would not take the earlier one; the one made since may do.
        if (!sent.changed) {
            // Not kept aside, it waits first in line: tried again at once, it would count as
            // the server taking none. It goes again later, as when the server is away.
            if (!sent.queue->setAside(id, failure.words))
                return stopFor({ShareFailure::Kind::Retry, failure.words});
            ++m_setAsideInRow;
        }
        // The server answered: it is there.
        m_retryMs = m_firstRetryMs;
        Q_EMIT waitingChanged(waiting());
        pump();
        return;
    }
    stopFor(failure);
}

void Sharer::stopFor(const ShareFailure &failure)
{
    dropTransport();
    if (failure.kind != ShareFailure::Kind::Retry) {
        m_refused = true;
        // Whatever the user does next to start it again, the count begins anew.
        m_setAsideInRow = 0;
        Q_EMIT refused(failure.kind == ShareFailure::Kind::Refused
                           ? failure.words
                           : QStringLiteral("The server took none of the last three logs; the "
                                            "address or the format may be wrong. %1")
                                 .arg(failure.words));
        return;
    }
    m_retry.start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, m_lastRetryMs);
}

QString Sharer::cannotSeal(const ShareSettings &settings)
{
    return settings.encryptionKey.isEmpty() ? QString() : SodiumLibrary::load();
}

QByteArray Sharer::outgoing(const ShareSettings &settings, const QByteArray &body) const
{
    if (settings.encryptionKey.isEmpty())
        return body;
    // The topic an HTTP server names the device by goes inside, where only the key reads it.
    const bool withTopic = settings.mode == ShareSettings::Mode::Http && settings.topicInBody;
    return SealedMessage::seal(settings.encryptionKey,
                               withTopic ? OwnMessage::withTopic(body, settings.defaultTopic())
                                         : body);
}
