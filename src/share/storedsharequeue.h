#pragma once

#include "share/sharequeue.h"

#include <QSet>
#include <functional>

class HistoryStore;

// The queue while results are kept between runs: the messages live in the kept history's file,
// committed with their rows, so that a kill or a restart loses none. While the history cannot
// be read or written, the messages wait there; one delivered but not yet removed is not sent
// again in this run. Damage met in the file is handed to whoever keeps the history, which moves
// it aside and carries the messages that can still be read into a fresh one.
class StoredShareQueue : public ShareQueue
{
public:
    // The history, when it is open; nothing while results are not kept.
    explicit StoredShareQueue(std::function<HistoryStore *()> store,
                              std::function<void()> damaged = {})
        : m_store(std::move(store)), m_damaged(std::move(damaged))
    { }

    // A message kept here from now on (one that waited in memory when keeping began).
    bool add(LogId log, qint64 tst, const QByteArray &body);
    QList<Entry> first(int count) override;
    void remove(qint64 id) override;
    qint64 count() override;
    bool replace(LogId log, const QByteArray &now) override;
    bool setAside(qint64 id, const QString &words) override;
    QList<SetAside> setAsideMessages() override;
    bool sendAgain(qint64 id) override;
    bool discard(qint64 id) override;

private:
    // Runs work on the open history; false when there is none or it failed. After damage the
    // work is done once more, in the fresh file.
    bool use(const std::function<void(HistoryStore &)> &work);

    std::function<HistoryStore *()> m_store;
    std::function<void()> m_damaged;
    QSet<qint64> m_gone;
    // A message that could not be set aside was reported, and none has been since.
    bool m_asideReported = false;
};
