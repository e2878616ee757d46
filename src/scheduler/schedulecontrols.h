#pragma once

#include "scheduler/schedulestate.h"

#include <QGroupBox>

class Dialogs;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTimeEdit;

// The "Log Schedule" frame: the three schedule modes, the interval boxes, the weekday and the
// time picker. Every change is saved at once; choosing a mode or a time resets the counts the
// tick works with.
class ScheduleControls : public QGroupBox
{
    Q_OBJECT

public:
    enum class Mode { None, Weekly, Daily, Interval };

    ScheduleControls(ScheduleState *state, Dialogs *dialogs, Clock clock,
                     QWidget *parent = nullptr);

    // The selected mode, looked at in the order weekly, daily, interval.
    Mode mode() const;

    // Today's chosen time from the picker: TotalSeconds becomes the seconds from now to it.
    void recomputeSpan();

    QRadioButton *Option1; // " Weekly:"
    QRadioButton *Option2; // "Daily:"
    QRadioButton *Option3; // "Log every:"
    QLineEdit *Text1; // hours
    QLineEdit *Text2; // minutes
    QLineEdit *Text3; // seconds
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QComboBox *cboWeekly;
    QTimeEdit *dtpWeekly;

Q_SIGNALS:
    // The mode, the daily or weekly time, or the weekday changed.
    void scheduleChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void saveOptions(const QString &procedure);
    void textChanged(QLineEdit *box, const QString &key);
    void lostFocus(QLineEdit *box);
    void cboWeekly_Change();
    void dtpWeekly_Change();

    ScheduleState *m_state;
    Dialogs *m_dialogs;
    Clock m_clock;
    bool m_warning = false; // the numeric-entry notice is on screen
};
