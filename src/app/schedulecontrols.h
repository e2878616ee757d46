#pragma once

#include "scheduler/schedulemodel.h"

#include <QGroupBox>
#include <QList>

class Dialogs;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTimeEdit;

// The "Log Schedule" frame: the three schedule modes, the interval boxes, the weekday and the
// time picker, each showing the schedule and changing it. A box left holding no number is
// pointed out; the schedule itself keeps whatever was typed.
class ScheduleControls : public QGroupBox
{
    Q_OBJECT

public:
    ScheduleControls(ScheduleModel *schedule, Dialogs *dialogs, QWidget *parent = nullptr);

    // Where the schedule reports a failed choice: under the window and the handler of the
    // control it was made in.
    static ScheduleModel::Places reportPlaces();

    // The controls in the order the keyboard visits them.
    QList<QWidget *> focusOrder() const;
    // The captions and boxes over which the pointer goes back to the plain arrow.
    QList<QWidget *> resettingAreas() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMode(ScheduleModel::Mode mode);
    void showIntervalText(ScheduleModel::Part part, const QString &text);
    void lostFocus(QLineEdit *box);

    ScheduleModel *m_schedule;
    Dialogs *m_dialogs;
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
    bool m_warning = false; // the numeric-entry notice is on screen
};
