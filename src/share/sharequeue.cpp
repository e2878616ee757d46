#include "share/sharequeue.h"

#include <algorithm>

void MemoryShareQueue::add(LogId log, qint64 tst, const QByteArray &body)
{
    if (qsizetype(m_entries.size()) >= Capacity) {
        m_entries.pop_front();
        ++m_dropped;
    }
    // Logs come in the order of their instants but for a clock set back; such a one goes where
    // its instant puts it.
    const auto at = std::upper_bound(m_entries.begin(), m_entries.end(), tst,
                                     [](qint64 t, const Entry &entry) { return t < entry.tst; });
    m_entries.insert(at, Entry {m_nextId--, log, tst, body});
}

QList<ShareQueue::Entry> MemoryShareQueue::first(int count)
{
    QList<Entry> entries;
    for (auto it = m_entries.begin(); it != m_entries.end() && entries.size() < count; ++it)
        entries.append(*it);
    return entries;
}

bool MemoryShareQueue::replace(LogId log, const QByteArray &now)
{
    for (Entry &entry : m_entries) {
        if (entry.log == log) {
            entry.body = now;
            return true;
        }
    }
    return false;
}

void MemoryShareQueue::withdraw(LogId log)
{
    std::erase_if(m_entries, [log](const Entry &entry) { return entry.log == log; });
}

void MemoryShareQueue::remove(qint64 id)
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [id](const Entry &entry) { return entry.id == id; });
    if (it != m_entries.end())
        m_entries.erase(it);
}

bool MemoryShareQueue::setAside(qint64 id, const QString &words)
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [id](const Entry &entry) { return entry.id == id; });
    // One withdrawn meanwhile waits no more either.
    if (it == m_entries.end())
        return true;
    const SetAside aside {it->id, it->log, it->tst, it->body, words};
    m_entries.erase(it);
    insertAside(aside);
    return true;
}

void MemoryShareQueue::keepSetAside(LogId log, qint64 tst, const QByteArray &body,
                                    const QString &words)
{
    insertAside({m_nextId--, log, tst, body, words});
}

void MemoryShareQueue::insertAside(const SetAside &aside)
{
    const auto at = std::upper_bound(m_aside.begin(), m_aside.end(), aside.tst,
                                     [](qint64 t, const SetAside &other) { return t < other.tst; });
    m_aside.insert(at, aside);
}

bool MemoryShareQueue::sendAgain(qint64 id)
{
    for (qsizetype i = 0; i < m_aside.size(); ++i) {
        if (m_aside[i].id == id) {
            const SetAside aside = m_aside.takeAt(i);
            add(aside.log, aside.tst, aside.body);
            return true;
        }
    }
    return false;
}

bool MemoryShareQueue::discard(qint64 id)
{
    return m_aside.removeIf([id](const SetAside &aside) { return aside.id == id; }) > 0;
}
