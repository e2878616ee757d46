#include "share/sharingtable.h"

#include "share/sharequeue.h"
#include "share/sharer.h"

SharingTable::SharingTable(Parts parts) : m_parts(std::move(parts))
{
    m_due.setSingleShot(true);
    QObject::connect(&m_due, &QTimer::timeout, [this] { stopWaiting(); });
}

int SharingTable::appendRecord(const LogRecord &record)
{
    // A fix for the row before comes no more once another log is in.
    stopWaiting();
    if (!m_parts.sharer->isOn() || !record.failure.isEmpty())
        return m_parts.next->appendRecord(record);
    LogRecord shared = record;
    shared.shareMessage
        = OwnMessage::location(record, m_parts.sender(), m_parts.clock().toSecsSinceEpoch());
    if (shared.shareMessage.isEmpty())
        return m_parts.next->appendRecord(record);
    const int row = m_parts.next->appendRecord(shared);
    if (!m_parts.keptLast())
        m_parts.memory->add(record.id, record.instant.toSecsSinceEpoch(), shared.shareMessage);
    if (record.wiFiDueMs > 0) {
        m_waiting = shared;
        m_parts.sharer->hold(record.id);
        m_due.start(record.wiFiDueMs);
    }
    m_parts.sharer->queued();
    return row;
}

bool SharingTable::joinWiFiFix(LogId log, const Fix &fix)
{
    const bool joined = m_parts.next->joinWiFiFix(log, fix);
    if (m_waiting && m_waiting->id == log) {
        LogRecord better = *m_waiting;
        better.wifi = fix;
        const QByteArray message
            = OwnMessage::location(better, m_parts.sender(), m_parts.clock().toSecsSinceEpoch());
        if (!message.isEmpty())
            m_parts.sharer->replace(log, message);
        stopWaiting();
    }
    return joined;
}

void SharingTable::noWiFiFix(LogId log)
{
    if (m_waiting && m_waiting->id == log)
        stopWaiting();
}

void SharingTable::stopWaiting()
{
    m_due.stop();
    if (!m_waiting)
        return;
    m_waiting.reset();
    m_parts.sharer->release();
}
