#include "core/slicedjob.h"

// A turn lasts about DefaultTurnNanoseconds: long enough to go through thousands of rows, short
// enough that the window does not stutter while a million are exported.
SlicedJob::SlicedJob(std::function<void()> work, qint64 turnNanoseconds)
    : m_work(std::move(work)), m_turnNanoseconds(turnNanoseconds)
{
    m_timer.setInterval(0);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { turn(); });
}

void SlicedJob::start()
{
    if (!m_timer.isActive())
        m_timer.start();
}

void SlicedJob::stop()
{
    m_timer.stop();
}

bool SlicedJob::turnIsOver() const
{
    return m_turn.nsecsElapsed() >= m_turnNanoseconds;
}

void SlicedJob::turn()
{
    m_turn.start();
    m_work();
}
