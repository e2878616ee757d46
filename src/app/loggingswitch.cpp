#include "app/loggingswitch.h"

#include "app/keyhelp.h"
#include "app/look.h"
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

void LoggingSwitch::turnOn(StepRunner &steps, int spanLine, int tickLine)
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
        steps.step(182, [&] { m_scheduler->stopTimer(); });
        steps.step(186, [&] { m_status->showOff(); });
        steps.step(188, [&] { m_pointer->setPointer(PointerRule::Pointer::Default); });
        steps.step(190, [&] { m_status->setProgressValue(0); });
        steps.step(192, [&] { m_status->setProgressText(ProgressIdleText()); });
        steps.step(194, [&] { m_schedule->setOn(false); });
    } else if (state == QLatin1String(SettingKeys::On)) {
        steps.step(200, [&] { m_schedule->setOn(true); });
        turnOn(steps, 204, 206);
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
        steps.step(100, [&] { m_keyHelp->ShowKeyHelp(false); });
        steps.step(
            104, [&] { m_window->setWindowState(m_window->windowState() | Qt::WindowMinimized); });
        steps.step(106, [&] { m_schedule->setOn(true); });
        turnOn(steps, 108, 110);
        steps.step(112, [&] { m_schedule->saveSwitch(); });
    } else {
        steps.step(114, [&] {
            m_scheduler->stopTimer();
            m_scheduler->dropScheduledLog();
        });
        steps.step(116, [&] { m_status->showOff(); });
        steps.step(118, [&] { m_pointer->setPointer(PointerRule::Pointer::Default); });
        steps.step(120, [&] {
            m_status->setProgressValue(0);
            m_status->setProgressText(ProgressIdleText());
        });
        steps.step(122, [&] { m_schedule->setOn(false); });
        steps.step(124, [&] { m_schedule->saveSwitch(); });
    }
}
