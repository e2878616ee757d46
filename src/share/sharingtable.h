#pragma once

#include "core/clock.h"
#include "core/logtable.h"
#include "share/ownmessage.h"

#include <functional>

class MemoryShareQueue;
class Sharer;

// The results table as the lookup sees it while logs are shared: a good row's message is made
// as the row is added and goes with it into the kept history, in the same commit; a row the
// history did not keep leaves its message in memory instead.
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
    explicit SharingTable(Parts parts) : m_parts(std::move(parts)) { }

    int appendRecord(const LogRecord &record) override;
    bool joinWiFiFix(int row, const QDateTime &instant, const Fix &fix) override
    {
        return m_parts.next->joinWiFiFix(row, instant, fix);
    }

private:
    Parts m_parts;
};
