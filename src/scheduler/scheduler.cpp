#include "scheduler/scheduler.h"

#include "core/errorreport.h"
#include "core/failure.h"
#include "lookup/curlfunctions.h"
#include "scheduler/schedulecontrols.h"
#include "scheduler/schedulerules.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTimeEdit>
#include <limits>

namespace {

const QString StatusPrefix = QStringLiteral("On. Next Log will occur in: ");

qint32 clampToCount(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

// The countdown of a difference that may not fit a count; only its place within a day shows.
QString countdown(qint64 seconds)
{
    return ScheduleRules::FormatSeconds(qint32(seconds % 86400));
}

} // namespace

Scheduler::Scheduler(ScheduleState *state, ScheduleControls *controls, CurlFunctions *lookup,
                     Clock clock, QObject *parent)
    : QObject(parent),
      m_state(state),
      m_controls(controls),
      m_lookup(lookup),
      m_clock(std::move(clock))
{
    m_timer.setObjectName(QStringLiteral("Timer1"));
    connect(&m_timer, &QTimer::timeout, this, &Scheduler::Timer1_Timer);
    connect(m_lookup, &CurlFunctions::logFinished, this, &Scheduler::onLogFinished);
    connect(m_controls, &ScheduleControls::scheduleChanged, this, &Scheduler::scheduleChanged);
}

void Scheduler::startTimer()
{
    m_timer.start(1000);
}

void Scheduler::stopTimer()
{
    m_timer.stop();
}

void Scheduler::restartFromNow()
{
    m_previousTick = m_clock();
}

void Scheduler::Timer1_Timer()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Timer1_Timer"));
    QDateTime now;
    steps.step(100, [&] {
        now = m_clock();
        if (m_state->ElapsedSeconds < std::numeric_limits<qint32>::max())
            ++m_state->ElapsedSeconds;
    });
    steps.step(102, [&] {
        switch (m_controls->mode()) {
        case ScheduleControls::Mode::Weekly:
            dailyOrWeekly(now, true);
            break;
        case ScheduleControls::Mode::Daily:
            dailyOrWeekly(now, false);
            break;
        case ScheduleControls::Mode::Interval:
            interval();
            break;
        case ScheduleControls::Mode::None:
            break;
        }
    });
    m_previousTick = now;
}

void Scheduler::dailyOrWeekly(const QDateTime &now, bool weekly)
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Timer1_Timer"));
    const QTime chosen = m_controls->dtpWeekly->time();
    const QString day = m_controls->cboWeekly->currentText();
    qint32 remaining = 0;

    // A new day: the bar spans from now to the new day's moment, not the previous day's span.
    if (m_previousTick.isValid() && m_previousTick.date() != now.date())
        steps.step(104,
                   [&] { m_state->TotalSeconds = ScheduleRules::SecondsUntilToday(now, chosen); });
    Q_EMIT progressMaximum(m_state->TotalSeconds);
    if (!steps.step(104, [&] {
            remaining = ScheduleRules::SecondsUntilToday(now, chosen);
            m_state->ElapsedSeconds = clampToCount(qint64(m_state->TotalSeconds) - remaining);
        }))
        return;
    if (remaining < 0) {
        Q_EMIT progressValue(0);
        Q_EMIT statusText(StatusPrefix);
    } else {
        Q_EMIT progressValue(m_state->ElapsedSeconds);
        QString text = StatusPrefix + ScheduleRules::FormatSeconds(remaining);
        if (weekly)
            text += QStringLiteral(" [") + day + QLatin1Char(']');
        Q_EMIT statusText(text);
    }

    const std::optional<QDate> dueDay
        = ScheduleRules::DueDay(m_previousTick, now, chosen, weekly ? day : QString());
    if (!dueDay || *dueDay == m_lastScheduledDay)
        return;
    m_lastScheduledDay = *dueDay;
    requestLog(true);
}

void Scheduler::scheduleChanged()
{
    // A new time or day is a new schedule: its moment logs even on a day that already logged.
    m_lastScheduledDay = QDate();
}

void Scheduler::interval()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Timer1_Timer"));
    // Writing a fallback into a box saves it through the box's own handler.
    steps.step(110, [this] {
        if (!ScheduleRules::IsNumeric(m_controls->Text1->text()))
            m_controls->Text1->setText(QStringLiteral("0"));
        if (!ScheduleRules::IsNumeric(m_controls->Text2->text()))
            m_controls->Text2->setText(QStringLiteral("0"));
        if (!ScheduleRules::IsNumeric(m_controls->Text3->text()))
            m_controls->Text3->setText(QStringLiteral("5"));
    });

    try {
        m_lastIntervalTotal = ScheduleRules::IntervalTotal(
            m_controls->Text1->text(), m_controls->Text2->text(), m_controls->Text3->text());
        m_intervalReported = false;
    } catch (const Failure &failure) {
        // Said once; the tick goes on with the last interval that could be counted.
        if (!m_intervalReported) {
            m_intervalReported = true;
            ErrorReport::report({QStringLiteral("Form1"), QStringLiteral("Timer1_Timer"), 112,
                                 failure.description()});
        }
    }
    if (!m_lastIntervalTotal) {
        // Nothing to count towards (and the shared span may be a daily one, or none): no log
        // until the boxes hold an interval.
        Q_EMIT statusText(StatusPrefix);
        return;
    }
    m_state->TotalSeconds = *m_lastIntervalTotal;

    Q_EMIT progressMaximum(m_state->TotalSeconds);
    if (m_state->ElapsedSeconds <= m_state->TotalSeconds)
        Q_EMIT progressValue(m_state->ElapsedSeconds);
    Q_EMIT statusText(StatusPrefix
                      + countdown(qint64(m_state->TotalSeconds) - m_state->ElapsedSeconds));

    if (m_state->ElapsedSeconds < m_state->TotalSeconds)
        return;
    m_state->ElapsedSeconds = 0;
    requestLog(true);
}

void Scheduler::requestLog(bool scheduled)
{
    if (scheduled) {
        stopTimer();
        m_scheduledLogInChain = true;
    }
    if (!m_lookup->isBusy()) {
        StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Timer1_Timer"));
        steps.step(120, [this] { m_lookup->GetLog(); });
        if (!m_lookup->isBusy())
            onLogFinished(); // nothing was started, so nothing will finish
        return;
    }
    // One waits at most; one the user asked for is never turned back into a scheduled one.
    if (!scheduled || m_waiting == Waiting::None)
        m_waiting = scheduled ? Waiting::Scheduled : Waiting::Asked;
}

void Scheduler::dropScheduledLog()
{
    if (m_waiting == Waiting::Scheduled)
        m_waiting = Waiting::None;
}

void Scheduler::onLogFinished()
{
    if (m_waiting != Waiting::None) {
        m_waiting = Waiting::None;
        if (m_lookup->GetLog())
            return;
    }
    if (m_scheduledLogInChain) {
        m_scheduledLogInChain = false;
        if (m_switchIsOn())
            startTimer();
    }
}

void Scheduler::abortLogs()
{
    m_waiting = Waiting::None;
    m_scheduledLogInChain = false;
    m_lookup->abort();
}
