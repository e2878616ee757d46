#include "app/loggingswitch.h"

#include "app/keyhelp.h"
#include "app/look.h"
#include "app/reportsteps.h"
#include "app/statusframe.h"
#include "core/errorreport.h"
#include "core/progresstext.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/scheduler.h"
#include "settings/settingkeys.h"

#include <QAction>
#include <QPushButton>
#include <QScopedValueRollback>

LoggingSwitch::LoggingSwitch(QPushButton *button, QWidget *window, ScheduleModel *schedule,
                             Scheduler *scheduler, KeyHelp *keyHelp, StatusFrame *status,
                             PointerRule *pointer)
    : QObject(window),
      m_window(window),
      m_schedule(schedule),
      m_scheduler(scheduler),
      m_keyHelp(keyHelp),
      m_status(status),
      m_pointer(pointer)
{
    button->setText(QStringLiteral("Turn On"));
    // One command for every way of switching: the button, the hotkey, a desktop's command.
    m_toggle = new QAction(QStringLiteral("Turn logging on or off"), this);
    m_toggle->setObjectName(QStringLiteral("ToggleLogging"));
    connect(m_toggle, &QAction::triggered, this, &LoggingSwitch::toggle);
    connect(button, &QPushButton::clicked, m_toggle, &QAction::trigger);
    connect(m_schedule, &ScheduleModel::switchChanged, button, [button](bool on) {
        button->setText(on ? QStringLiteral("Turn Off") : QStringLiteral("Turn On"));
    });
}

template<class Step> void LoggingSwitch::turnOn(StepRunner &steps, Step spanLine, Step tickLine)
{
    const ScheduleModel::Mode mode = m_schedule->mode();
    if (mode == ScheduleModel::Mode::Weekly || mode == ScheduleModel::Mode::Daily)
        steps.step(spanLine, [&] { m_scheduler->recomputeSpan(); });
    steps.step(tickLine, [&] {
        m_scheduler->restartFromNow();
        m_scheduler->startTimer();
    });
}

void LoggingSwitch::restore(const QString &state)
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    if (state == QLatin1String(SettingKeys::Off)) {
        steps.step(FormLoadStep::OffStopTimer, [&] { m_scheduler->stopTimer(); });
        steps.step(FormLoadStep::OffStatus, [&] { m_status->showOff(); });
        steps.step(FormLoadStep::OffPointer,
                   [&] { m_pointer->setPointer(PointerRule::Pointer::Default); });
        steps.step(FormLoadStep::OffProgress, [&] { m_status->setProgressValue(0); });
        steps.step(FormLoadStep::OffProgressText,
                   [&] { m_status->setProgressText(ProgressIdleText()); });
        steps.step(FormLoadStep::OffSwitch, [&] { m_schedule->setOn(false); });
    } else if (state == QLatin1String(SettingKeys::On)) {
        steps.step(FormLoadStep::OnSwitch, [&] { m_schedule->setOn(true); });
        turnOn(steps, FormLoadStep::OnSpan, FormLoadStep::OnTick);
    }
}

void LoggingSwitch::toggle()
{
    // The key offer waits for the user; a second toggle meanwhile (the hotkey) is not taken.
    if (m_switching)
        return;
    const QScopedValueRollback switching(m_switching, true);
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    if (!m_schedule->isOn()) {
        steps.step(SwitchStep::KeyOffer, [&] { m_keyHelp->ShowKeyHelp(false); });
        steps.step(SwitchStep::Minimize, [&] {
            m_window->setWindowState(m_window->windowState() | Qt::WindowMinimized);
        });
        steps.step(SwitchStep::On, [&] { m_schedule->setOn(true); });
        turnOn(steps, SwitchStep::Span, SwitchStep::Tick);
        steps.step(SwitchStep::SaveOn, [&] { m_schedule->saveSwitch(); });
    } else {
        steps.step(SwitchStep::StopTimer, [&] {
            m_scheduler->stopTimer();
            m_scheduler->dropScheduledLog();
        });
        steps.step(SwitchStep::Status, [&] { m_status->showOff(); });
        steps.step(SwitchStep::Pointer,
                   [&] { m_pointer->setPointer(PointerRule::Pointer::Default); });
        steps.step(SwitchStep::Progress, [&] {
            m_status->setProgressValue(0);
            m_status->setProgressText(ProgressIdleText());
        });
        steps.step(SwitchStep::Off, [&] { m_schedule->setOn(false); });
        steps.step(SwitchStep::SaveOff, [&] { m_schedule->saveSwitch(); });
    }
}
