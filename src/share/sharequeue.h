#pragma once

#include "core/logid.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <deque>

// Messages waiting for the user's server, in the order of their logs' instants, and those the
// server would not take, set aside with its words until the user sends them again or discards
// them.
class ShareQueue
{
public:
    struct Entry
    {
        qint64 id = 0; // unique among every queue's entries
        LogId log; // the log the message shares
        qint64 tst = 0; // the log's instant, Unix seconds
        QByteArray body;
    };
    struct SetAside
    {
        qint64 id = 0; // unique among every queue's set-aside messages
        LogId log;
        qint64 tst = 0;
        QByteArray body;
        QString words; // why the server would not take it
    };

    virtual ~ShareQueue() = default;
    // The first `count` entries, oldest log first (ties in the order they came).
    virtual QList<Entry> first(int count) = 0;
    virtual void remove(qint64 id) = 0;
    virtual qint64 count() = 0;
    // The log's waiting message becomes `now`; false when none such waits here.
    virtual bool replace(LogId log, const QByteArray &now) = 0;

    // The waiting message `id` waits no more but is kept, with the server's words; false when
    // it could not be kept so, and waits still.
    virtual bool setAside(qint64 id, const QString &words) = 0;
    // Oldest log first.
    virtual QList<SetAside> setAsideMessages() = 0;
    // The set-aside message `id` waits again, in its log's place; false when none such is here.
    virtual bool sendAgain(qint64 id) = 0;
    virtual bool discard(qint64 id) = 0;
};

// The queue while results are not kept between runs: at most Capacity messages, the oldest
// dropped first when more come; how many were dropped is told.
class MemoryShareQueue : public ShareQueue
{
public:
    static constexpr qsizetype Capacity = 10'000;

    void add(LogId log, qint64 tst, const QByteArray &body);
    // A message the server would not take, kept elsewhere until now.
    void keepSetAside(LogId log, qint64 tst, const QByteArray &body, const QString &words);
    QList<Entry> first(int count) override;
    void remove(qint64 id) override;
    qint64 count() override { return qint64(m_entries.size()); }
    bool replace(LogId log, const QByteArray &now) override;
    // The log's message waits no more (its row was removed).
    void withdraw(LogId log);
    bool setAside(qint64 id, const QString &words) override;
    QList<SetAside> setAsideMessages() override { return m_aside; }
    bool sendAgain(qint64 id) override;
    bool discard(qint64 id) override;
    qint64 dropped() const { return m_dropped; }

private:
    void insertAside(const SetAside &aside);

    std::deque<Entry> m_entries;
    // Not counted against Capacity: the user alone decides what becomes of them.
    QList<SetAside> m_aside;
    qint64 m_dropped = 0;
    // Kept apart from the kept history's keys, which are positive.
    qint64 m_nextId = -1;
};
