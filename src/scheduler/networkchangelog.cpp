#include "scheduler/networkchangelog.h"

#include "scheduler/schedulemodel.h"
#include "scheduler/scheduler.h"

NetworkChangeLog::NetworkChangeLog(Scheduler *scheduler, ScheduleModel *schedule, QObject *parent)
    : QObject(parent), m_scheduler(scheduler), m_schedule(schedule)
{
    setObjectName(QStringLiteral("NetworkChangeLog"));
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, &NetworkChangeLog::settled);
}

void NetworkChangeLog::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        m_settle.stop();
}

void NetworkChangeLog::networkChanged()
{
    if (m_enabled && m_schedule->isOn()) {
        m_lastChangeMs = m_scheduler->bootMs();
        m_settle.start(m_settleMs);
    }
}

void NetworkChangeLog::setTimings(int settleMs, qint64 gapMs)
{
    m_settleMs = settleMs;
    m_gapMs = gapMs;
}

void NetworkChangeLog::settled()
{
    // Switched off meanwhile, or the change ended with no way out: nothing to log.
    if (!m_enabled || !m_schedule->isOn() || !m_scheduler->networkIsUp())
        return;
    const std::optional<qint64> lookup = m_scheduler->lastLookupStartMs();
    if (lookup && *lookup >= m_lastChangeMs)
        return;
    const qint64 now = m_scheduler->bootMs();
    if (m_lastLogMs && now - *m_lastLogMs < m_gapMs) {
        m_settle.start(int(std::min<qint64>(m_gapMs - (now - *m_lastLogMs), m_gapMs)));
        return;
    }
    m_lastLogMs = now;
    m_scheduler->requestLog(LogQueue::Reason::OnNetworkChange);
}
