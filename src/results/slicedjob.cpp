#include "results/slicedjob.h"

namespace {

// A turn lasts about this long: long enough to go through thousands of rows, short enough that
// the window does not stutter while a million are exported.
constexpr qint64 TurnNanoseconds = 8'000'000;

} // namespace

SlicedJob::SlicedJob(std::function<void()> work) : m_work(std::move(work))
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
    return m_turn.nsecsElapsed() >= TurnNanoseconds;
}

void SlicedJob::turn()
{
    m_turn.start();
    m_work();
}
