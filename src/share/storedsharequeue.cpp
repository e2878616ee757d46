#include "share/storedsharequeue.h"

#include "core/failure.h"
#include "results/historystore.h"

bool StoredShareQueue::add(qint64 tst, const QByteArray &body)
{
    HistoryStore *store = m_store();
    if (!store)
        return false;
    try {
        store->addToOutbox(tst, body);
        return true;
    } catch (const Failure &) {
        return false;
    }
}

QList<ShareQueue::Entry> StoredShareQueue::first(int count)
{
    HistoryStore *store = m_store();
    if (!store)
        return {};
    QList<Entry> entries;
    try {
        for (const HistoryStore::Outgoing &message : store->outbox(count + int(m_gone.size()))) {
            if (!m_gone.contains(message.id) && entries.size() < count)
                entries.append({message.id, message.tst, message.body});
        }
    } catch (const Failure &) {
        // The kept history tells of a file it cannot read; the messages wait in it meanwhile.
    }
    return entries;
}

void StoredShareQueue::remove(qint64 id)
{
    // Those that could not be removed before go with this one.
    m_gone.insert(id);
    HistoryStore *store = m_store();
    if (!store)
        return;
    try {
        for (auto it = m_gone.begin(); it != m_gone.end();) {
            store->removeFromOutbox(*it);
            it = m_gone.erase(it);
        }
    } catch (const Failure &) { }
}

bool StoredShareQueue::replace(const QByteArray &was, const QByteArray &now)
{
    HistoryStore *store = m_store();
    if (!store)
        return false;
    try {
        return store->replaceInOutbox(was, now);
    } catch (const Failure &) {
        // Sent as it was made.
        return false;
    }
}

qint64 StoredShareQueue::count()
{
    HistoryStore *store = m_store();
    if (!store)
        return 0;
    try {
        return store->outboxCount() - m_gone.size();
    } catch (const Failure &) {
        return 0;
    }
}
