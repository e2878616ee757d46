#pragma once

#include "core/clock.h"
#include "core/logtable.h"
#include "share/ownmessage.h"

#include <QTimer>
#include <functional>
#include <optional>

class MemoryShareQueue;
class Sharer;

// What sharing knows of the rows as they go in: a good row's message is made for the kept
// history to commit with the row; a row the history did not keep leaves its message in memory
// instead. While the location service's fix may still join the newest row, its message waits,
// and is made again with the fix when it comes: the server gets the row's best place.
class SharingTable
{
public:
    struct Parts
    {
        Sharer *sharer;
        MemoryShareQueue *memory;
        std::function<OwnMessage::Sender()> sender;
        Clock clock = SystemNow;
    };
    explicit SharingTable(Parts parts);

    // The message that shares the row, or none: sharing is off, or the row has no place.
    std::optional<QByteArray> messageFor(const LogRecord &record) const;
    // The row is in with its message; kept: the history committed the message with it.
    void added(const LogRecord &record, const QByteArray &message, bool kept);
    // The location service's fix for the log about to go in may still come for so long.
    void mayJoin(LogId log, int milliseconds);
    // The wait for the log's fix is over; joined is its row with the fix, when one came.
    void waitOver(LogId log, std::optional<LogRecord> joined);

private:
    void stopWaiting();

    Parts m_parts;
    // The log whose fix may still come, and for how long; holding: its message waits.
    LogId m_log;
    int m_dueMs = 0;
    bool m_holding = false;
    Asker m_askedBy = Asker::Schedule;
    QTimer m_due;
};
