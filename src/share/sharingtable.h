#pragma once

#include "core/clock.h"
#include "core/logtable.h"
#include "share/ownmessage.h"

#include <QTimer>
#include <functional>
#include <optional>

class MemoryShareQueue;
class Sharer;

// The results table as the lookup sees it while logs are shared: a good row's message is made
// as the row is added and goes with it into the kept history, in the same commit; a row the
// history did not keep leaves its message in memory instead. While the location service's fix
// may still join the newest row, its message waits, and is made again with the fix when it
// comes: the server gets the row's best place.
class SharingTable : public LogTable
{
public:
    struct Parts
    {
        LogTable *next; // where rows go on to (the kept results)
        Sharer *sharer;
        MemoryShareQueue *memory;
        std::function<bool()> keptLast; // whether the history committed the last row added
        std::function<OwnMessage::Sender()> sender;
        Clock clock = SystemNow;
    };
    explicit SharingTable(Parts parts);

    int appendRecord(const LogRecord &record) override;
    bool joinWiFiFix(LogId log, const Fix &fix) override;
    void noWiFiFix(LogId log) override;

private:
    void stopWaiting();

    Parts m_parts;
    // The newest row, while its message waits for the location service's fix.
    std::optional<LogRecord> m_waiting;
    QTimer m_due;
};
