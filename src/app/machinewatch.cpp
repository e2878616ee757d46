#include "app/machinewatch.h"

#include "app/startupoptions.h"
#include "desktop/networkwatch.h"
#include "desktop/sleepwatch.h"
#include "scheduler/networkchangelog.h"
#include "scheduler/scheduler.h"

MachineWatch::MachineWatch(Scheduler *scheduler, ScheduleModel *schedule, StartupOptions *options,
                           QObject *parent)
    : QObject(parent),
      m_sleep(new SleepWatch(this)),
      m_network(new NetworkWatch(this)),
      m_changeLog(new NetworkChangeLog(scheduler, schedule, this))
{
    setObjectName(QStringLiteral("MachineWatch"));
    connect(m_sleep, &SleepWatch::aboutToSleep, scheduler, &Scheduler::aboutToSleep);
    connect(m_sleep, &SleepWatch::woke, scheduler, &Scheduler::woke);
    scheduler->setNetworkUp([network = m_network] { return network->isUp(); });
    m_changeLog->setEnabled(options->logsNetworkChanges());
    connect(options, &StartupOptions::networkChangeChosen, m_changeLog,
            &NetworkChangeLog::setEnabled);
    connect(m_network, &NetworkWatch::changed, m_changeLog, &NetworkChangeLog::networkChanged);
}

void MachineWatch::start()
{
    // The sleep is subscribed first: once the network's first answer is in, both are heard.
    // Without a system bus the network's state still comes from Qt's network information.
    const bool bus = m_sleep->start();
    if (!m_network->start() || !bus)
        qInfo("No system bus: a sleep is seen by the clocks alone.");
}
