#include "share/sharingtable.h"

#include "share/sharequeue.h"
#include "share/sharer.h"

int SharingTable::appendRecord(const LogRecord &record)
{
    if (!m_parts.sharer->isOn() || !record.failure.isEmpty())
        return m_parts.next->appendRecord(record);
    LogRecord shared = record;
    shared.shareMessage
        = OwnMessage::location(record, m_parts.sender(), m_parts.clock().toSecsSinceEpoch());
    if (shared.shareMessage.isEmpty())
        return m_parts.next->appendRecord(record);
    const int row = m_parts.next->appendRecord(shared);
    if (!m_parts.keptLast())
        m_parts.memory->add(record.instant.toSecsSinceEpoch(), shared.shareMessage);
    m_parts.sharer->queued();
    return row;
}
