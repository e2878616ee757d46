#pragma once

#include <QObject>

class KeyHelp;
class QAction;
class PointerRule;
class QPushButton;
class QWidget;
class ScheduleModel;
class Scheduler;
class StatusFrame;
class StepRunner;

// The on/off switch and Ctrl+Shift+T. Turning logging on sends the window to the tray and
// starts the tick; turning it off stops the tick and shows the idle status. Whether logging is
// on lives in the schedule; the switch's caption shows it.
class LoggingSwitch : public QObject
{
    Q_OBJECT

public:
    LoggingSwitch(QPushButton *button, QWidget *window, ScheduleModel *schedule,
                  Scheduler *scheduler, KeyHelp *keyHelp, StatusFrame *status,
                  PointerRule *pointer);

    // The switch's click: on when off, off when on.
    void toggle();
    // The command that toggles, shared by the button and the hotkey.
    QAction *toggleAction() const { return m_toggle; }
    // Start-up: the switch as it was left. "On" starts the tick, "Off" shows the idle state,
    // and any other text leaves the switch as it is.
    void restore(const QString &state);

private:
    // Starts the tick, under the numbers of the procedure that turns logging on.
    template<class Step> void turnOn(StepRunner &steps, Step spanLine, Step tickLine);

    QWidget *m_window;
    QAction *m_toggle;
    ScheduleModel *m_schedule;
    Scheduler *m_scheduler;
    KeyHelp *m_keyHelp;
    StatusFrame *m_status;
    PointerRule *m_pointer;
    bool m_switching = false;
};
