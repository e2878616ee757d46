#include "scheduler/logqueue.h"

#include "lookup/curlfunctions.h"

LogQueue::LogQueue(CurlFunctions *lookup, SteadyClock boot, ErrorReport::Place startPlace,
                   QObject *parent)
    : QObject(parent),
      m_lookup(lookup),
      m_boot(std::move(boot)),
      m_startPlace(std::move(startPlace))
{
    connect(m_lookup, &CurlFunctions::logFinished, this, &LogQueue::finished);
}

void LogQueue::request(Reason reason)
{
    const bool scheduled = reason != Reason::Asked;
    if (scheduled)
        m_tickRests = true;
    if (!m_lookup->isBusy()) {
        StepRunner steps(m_startPlace);
        steps.step(120, [this, scheduled] {
            m_lastStartMs = m_boot();
            m_lookup->GetLog(!scheduled);
        });
        if (!m_lookup->isBusy())
            finished(); // nothing was started, so nothing will finish
        return;
    }
    if (!scheduled || !m_waiting)
        m_waiting = reason;
}

void LogQueue::dropScheduled()
{
    m_waitsForWake = false;
    if (m_waiting && *m_waiting != Reason::Asked)
        m_waiting.reset();
}

void LogQueue::abort()
{
    m_waitsForWake = false;
    m_waiting.reset();
    m_tickRests = false;
    m_lookup->abort();
}

void LogQueue::finished()
{
    if (m_waiting) {
        const bool asked = *m_waiting == Reason::Asked;
        m_waiting.reset();
        m_lastStartMs = m_boot();
        if (m_lookup->GetLog(asked))
            return;
    }
    if (m_tickRests) {
        m_tickRests = false;
        Q_EMIT scheduledLogsDone();
    }
}
