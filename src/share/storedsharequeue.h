#pragma once

#include "share/sharequeue.h"

#include <QSet>
#include <functional>

class HistoryStore;

// The queue while results are kept between runs: the messages live in the kept history's file,
// committed with their rows, so that a kill or a restart loses none. While the history cannot
// be read or written, the messages wait there; one delivered but not yet removed is not sent
// again in this run.
class StoredShareQueue : public ShareQueue
{
public:
    // The history, when it is open; nothing while results are not kept.
    explicit StoredShareQueue(std::function<HistoryStore *()> store) : m_store(std::move(store)) { }

    // A message kept here from now on (one that waited in memory when keeping began).
    bool add(qint64 tst, const QByteArray &body);
    QList<Entry> first(int count) override;
    void remove(qint64 id) override;
    qint64 count() override;
    bool replace(const QByteArray &was, const QByteArray &now) override;

private:
    std::function<HistoryStore *()> m_store;
    QSet<qint64> m_gone;
};
