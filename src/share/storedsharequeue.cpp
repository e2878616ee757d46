#include "share/storedsharequeue.h"

#include "core/errorreport.h"
#include "core/failure.h"
#include "results/historystore.h"

#include <utility>

bool StoredShareQueue::use(const std::function<void(HistoryStore &)> &work)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        HistoryStore *store = m_store();
        if (!store)
            return false;
        try {
            work(*store);
            return true;
        } catch (const HistoryStore::Damaged &) {
            if (attempt > 0 || !m_damaged)
                return false;
            m_damaged();
        } catch (const Failure &) {
            // The kept history tells of a file it cannot use; the messages wait in it meanwhile.
            return false;
        }
    }
    return false;
}

bool StoredShareQueue::add(LogId log, qint64 tst, const QByteArray &body)
{
    return use([&](HistoryStore &store) { store.addToOutbox(log, tst, body); });
}

QList<ShareQueue::Entry> StoredShareQueue::first(int count)
{
    QList<Entry> entries;
    use([&](HistoryStore &store) {
        entries.clear();
        for (const HistoryStore::Outgoing &message : store.outbox(count + int(m_gone.size()))) {
            if (!m_gone.contains(message.id) && entries.size() < count)
                entries.append({message.id, message.log, message.tst, message.body});
        }
    });
    return entries;
}

void StoredShareQueue::remove(qint64 id)
{
    // Those that could not be removed before go with this one.
    m_gone.insert(id);
    use([this](HistoryStore &store) {
        for (auto it = m_gone.begin(); it != m_gone.end();) {
            store.removeFromOutbox(*it);
            it = m_gone.erase(it);
        }
    });
}

bool StoredShareQueue::replace(LogId log, const QByteArray &now)
{
    // Not replaced: sent as it was made.
    bool replaced = false;
    use([&](HistoryStore &store) {
        replaced = store.replaceInOutbox(log, now);
        if (!replaced || m_gone.isEmpty())
            return;
        // One the server has but the file could not let go of is, made again, a message the
        // server has not seen: it waits, and goes.
        for (const HistoryStore::Outgoing &message : store.outbox(int(store.outboxCount()))) {
            if (message.log == log)
                m_gone.remove(message.id);
        }
    });
    return replaced;
}

qint64 StoredShareQueue::count()
{
    qint64 waiting = 0;
    use([&](HistoryStore &store) { waiting = store.outboxCount() - m_gone.size(); });
    return waiting;
}

bool StoredShareQueue::setAside(qint64 id, const QString &words)
{
    QString why;
    const bool kept = use([&](HistoryStore &store) {
        try {
            store.setAside(id, words);
        } catch (const Failure &failure) {
            why = failure.description();
            throw;
        }
    });
    // Told once until one is set aside again: each try would raise a box. A history that is
    // closed was told of by the history itself.
    if (!kept && !why.isEmpty() && !std::exchange(m_asideReported, true))
        ErrorReport::report({QStringLiteral("StoredShareQueue"), QStringLiteral("setAside"), 100,
                             why
                                 + QStringLiteral(" The log the server would not take waits, and "
                                                  "is sent again later.")});
    if (kept)
        m_asideReported = false;
    return kept;
}

QList<ShareQueue::SetAside> StoredShareQueue::setAsideMessages()
{
    QList<SetAside> messages;
    use([&](HistoryStore &store) {
        messages.clear();
        for (const HistoryStore::Aside &aside : store.setAsideMessages())
            messages.append({aside.id, aside.log, aside.tst, aside.body, aside.words});
    });
    return messages;
}

bool StoredShareQueue::sendAgain(qint64 id)
{
    bool found = false;
    use([&](HistoryStore &store) { found = store.sendAgain(id); });
    return found;
}

bool StoredShareQueue::discard(qint64 id)
{
    bool found = false;
    use([&](HistoryStore &store) { found = store.discardSetAside(id); });
    return found;
}
