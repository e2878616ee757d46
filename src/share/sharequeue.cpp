#include "share/sharequeue.h"

#include <algorithm>

void MemoryShareQueue::add(qint64 tst, const QByteArray &body)
{
    if (qsizetype(m_entries.size()) >= Capacity) {
        m_entries.pop_front();
        ++m_dropped;
    }
    // Logs come in the order of their instants but for a clock set back; such a one goes where
    // its instant puts it.
    const auto at = std::upper_bound(m_entries.begin(), m_entries.end(), tst,
                                     [](qint64 t, const Entry &entry) { return t < entry.tst; });
    m_entries.insert(at, Entry {m_nextId--, tst, body});
}

QList<ShareQueue::Entry> MemoryShareQueue::first(int count)
{
    QList<Entry> entries;
    for (auto it = m_entries.begin(); it != m_entries.end() && entries.size() < count; ++it)
        entries.append(*it);
    return entries;
}

bool MemoryShareQueue::replace(const QByteArray &was, const QByteArray &now)
{
    for (Entry &entry : m_entries) {
        if (entry.body == was) {
            entry.body = now;
            return true;
        }
    }
    return false;
}

void MemoryShareQueue::remove(qint64 id)
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [id](const Entry &entry) { return entry.id == id; });
    if (it != m_entries.end())
        m_entries.erase(it);
}
