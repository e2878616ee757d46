#include "share/sharingtable.h"

#include "share/sharequeue.h"
#include "share/sharer.h"

SharingTable::SharingTable(Parts parts) : m_parts(std::move(parts))
{
    m_due.setSingleShot(true);
    QObject::connect(&m_due, &QTimer::timeout, [this] { stopWaiting(); });
}

std::optional<QByteArray> SharingTable::messageFor(const LogRecord &record) const
{
    if (!m_parts.sharer->isOn() || !record.failure.isEmpty())
        return std::nullopt;
    QByteArray message
        = OwnMessage::location(record, m_parts.sender(), m_parts.clock().toSecsSinceEpoch());
    if (message.isEmpty())
        return std::nullopt;
    return message;
}

void SharingTable::mayJoin(LogId log, int milliseconds)
{
    stopWaiting();
    m_log = log;
    m_dueMs = milliseconds;
}

void SharingTable::added(const LogRecord &record, const QByteArray &message, bool kept)
{
    // A fix for the row before comes no more once another log is in.
    if (record.id != m_log)
        stopWaiting();
    if (!kept)
        m_parts.memory->add(record.id, record.instant.toSecsSinceEpoch(), message);
    if (record.id == m_log && m_dueMs > 0 && !m_holding) {
        m_holding = true;
        m_askedBy = record.askedBy;
        m_parts.sharer->hold(record.id);
        m_due.start(m_dueMs);
    }
    m_parts.sharer->queued();
}

void SharingTable::waitOver(LogId log, std::optional<LogRecord> joined)
{
    if (!log || log != m_log)
        return;
    if (joined && m_holding) {
        // The row as the table has it knows not who asked for it; the message does.
        joined->askedBy = m_askedBy;
        const QByteArray message
            = OwnMessage::location(*joined, m_parts.sender(), m_parts.clock().toSecsSinceEpoch());
        if (!message.isEmpty())
            m_parts.sharer->replace(log, message);
    }
    stopWaiting();
}

void SharingTable::stopWaiting()
{
    m_due.stop();
    m_log = {};
    m_dueMs = 0;
    if (!std::exchange(m_holding, false))
        return;
    m_parts.sharer->release();
}
