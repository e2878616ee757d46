#pragma once

#include <QObject>

class NetworkWatch;
class Scheduler;
class SleepWatch;

// What the machine tells the schedule: logind's sleep and wake, and NetworkManager's network,
// which a log that fell due while asleep waits for. It listens on the system bus once the
// event loop runs, so that the window comes up without waiting for the bus.
class MachineWatch : public QObject
{
    Q_OBJECT

public:
    MachineWatch(Scheduler *scheduler, QObject *parent);

    SleepWatch *sleep() const { return m_sleep; }
    NetworkWatch *network() const { return m_network; }

private:
    void start();

    SleepWatch *m_sleep;
    NetworkWatch *m_network;
};
