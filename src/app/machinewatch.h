#pragma once

#include <QObject>

class NetworkChangeLog;
class NetworkWatch;
class ScheduleModel;
class Scheduler;
class SleepWatch;
class StartupOptions;

// What the machine tells the schedule: logind's sleep and wake, and NetworkManager's network,
// which a log that fell due while asleep waits for and whose changes log when the start-up
// options say so. It listens on the system bus once started, after the window is on screen, so
// that the window comes up without waiting for the bus.
class MachineWatch : public QObject
{
    Q_OBJECT

public:
    MachineWatch(Scheduler *scheduler, ScheduleModel *schedule, StartupOptions *options,
                 QObject *parent);

    SleepWatch *sleep() const { return m_sleep; }
    NetworkWatch *network() const { return m_network; }
    NetworkChangeLog *changeLog() const { return m_changeLog; }

    void start();

private:
    SleepWatch *m_sleep;
    NetworkWatch *m_network;
    NetworkChangeLog *m_changeLog;
};
