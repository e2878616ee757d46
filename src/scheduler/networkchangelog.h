#pragma once

#include <QObject>
#include <QTimer>
#include <optional>

class ScheduleModel;
class Scheduler;

// "Also log when the network changes": once the network has been quiet for the settle time
// (a Wi-Fi network, a cable, a VPN rarely change just once), one log, while logging is on and
// the network is up. At most one such log a gap: a change that settles sooner logs when the
// gap is over. The log queues behind one in flight like any scheduled log. A change already
// followed by a log of any kind (the log on waking, once the network is back) is not logged
// again: that log saw the network as it is now.
class NetworkChangeLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int SettleMs = 10'000;
    static constexpr qint64 GapMs = 60'000;

    NetworkChangeLog(Scheduler *scheduler, ScheduleModel *schedule, QObject *parent);

    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    // The primary connection or the network's state changed.
    void networkChanged();

    // Tests wait less than a user's network takes to settle.
    void setTimings(int settleMs, qint64 gapMs);

private:
    void settled();

    Scheduler *m_scheduler;
    ScheduleModel *m_schedule;
    QTimer m_settle;
    int m_settleMs = SettleMs;
    qint64 m_gapMs = GapMs;
    bool m_enabled = false;
    // On the boot clock, when the last of these logs was asked for.
    std::optional<qint64> m_lastLogMs;
    // On the boot clock, the latest change.
    qint64 m_lastChangeMs = 0;
};
