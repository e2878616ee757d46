#pragma once

#include "core/clock.h"
#include "core/errorreport.h"

#include <QObject>
#include <optional>

class CurlFunctions;

// The logs, one in flight at a time. While one is in flight, one more waits at most: one the
// user asked for takes the place of one the schedule asked for, never the other way round.
// Logs the schedule asks for (all but the user's) rest the tick until the last of them and of
// any log waiting behind them is done; switching logging off drops such a log while it waits.
class LogQueue : public QObject
{
    Q_OBJECT

public:
    // Why a log is asked for.
    enum class Reason {
        Scheduled, // the schedule fell due
        Asked, // the user's "Log Now"
        OnWaking, // the schedule fell due while the machine was waking; it waited
        OnNetworkChange, // the network changed and settled
    };

    // boot: the clock the start of each lookup is noted on. startPlace: where a lookup that
    // cannot start is reported.
    LogQueue(CurlFunctions *lookup, SteadyClock boot, ErrorReport::Place startPlace,
             QObject *parent);

    // Runs the log now, or once the one in flight is done.
    void request(Reason reason);
    // A log of the schedule fell due while the machine is still waking: it waits, until asked
    // for once waking is over (OnWaking), or dropped.
    void setWaitingForWake(bool waits) { m_waitsForWake = waits; }
    bool waitsForWake() const { return m_waitsForWake; }
    // What waits behind the log in flight, if anything.
    std::optional<Reason> waiting() const { return m_waiting; }
    // On the boot clock, when the latest lookup began; nothing before the first.
    std::optional<qint64> lastStartMs() const { return m_lastStartMs; }

    // Logging was switched off: a log of the schedule that waits is dropped; one the user
    // asked for still runs.
    void dropScheduled();
    // Ends the log in flight and forgets every one that waits; no row is added.
    void abort();

Q_SIGNALS:
    // The logs of the schedule are done: the tick may go on.
    void scheduledLogsDone();

private:
    void finished();

    CurlFunctions *m_lookup;
    SteadyClock m_boot;
    ErrorReport::Place m_startPlace;
    std::optional<Reason> m_waiting;
    bool m_waitsForWake = false;
    // A log of the schedule was asked for since the tick last went on.
    bool m_tickRests = false;
    std::optional<qint64> m_lastStartMs;
};
