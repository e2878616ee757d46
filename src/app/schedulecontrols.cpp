#include "app/schedulecontrols.h"

#include "core/dialogs.h"
#include "core/localetime.h"
#include "scheduler/schedulerules.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QTimer>

namespace {

QLineEdit *intervalBox(const QString &name, const QString &accessibleName, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setAccessibleName(accessibleName);
    box->setMaximumWidth(60);
    return box;
}

} // namespace

ScheduleControls::ScheduleControls(ScheduleModel *schedule, Dialogs *dialogs, QWidget *parent)
    : QGroupBox(QStringLiteral("Log Schedule"), parent),
      m_schedule(schedule),
      m_dialogs(dialogs),
      Option1(new QRadioButton(QStringLiteral(" Weekly:"), this)),
      Option2(new QRadioButton(QStringLiteral("Daily:"), this)),
      Option3(new QRadioButton(QStringLiteral("Log every:"), this)),
      Text1(intervalBox(QStringLiteral("Text1"), QStringLiteral("Hours"), this)),
      Text2(intervalBox(QStringLiteral("Text2"), QStringLiteral("Minutes"), this)),
      Text3(intervalBox(QStringLiteral("Text3"), QStringLiteral("Seconds"), this)),
      Label1(new QLabel(QStringLiteral("hour/s"), this)),
      Label2(new QLabel(QStringLiteral("minute/s"), this)),
      Label3(new QLabel(QStringLiteral("second/s"), this)),
      cboWeekly(new QComboBox(this)),
      dtpWeekly(new QTimeEdit(this))
{
    setObjectName(QStringLiteral("Frame1"));
    Option1->setObjectName(QStringLiteral("Option1"));
    Option2->setObjectName(QStringLiteral("Option2"));
    Option3->setObjectName(QStringLiteral("Option3"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label3->setObjectName(QStringLiteral("Label3"));
    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);
    Label3->setBuddy(Text3);

    cboWeekly->setObjectName(QStringLiteral("cboWeekly"));
    cboWeekly->setAccessibleName(QStringLiteral("Day of the week"));
    cboWeekly->addItems(ScheduleModel::days());
    // Blank until restored: a stored day that is not one of the seven stays blank here (the
    // status line names it) and never matches, rather than quietly turning into another day.
    cboWeekly->setCurrentIndex(-1);

    dtpWeekly->setObjectName(QStringLiteral("dtpWeekly"));
    dtpWeekly->setAccessibleName(QStringLiteral("Time of the daily or weekly log"));
    dtpWeekly->setDisplayFormat(TimeFormatWithSeconds(locale()));
    dtpWeekly->setTime(m_schedule->time());
    dtpWeekly->setMinimumWidth(120);

    auto *grid = new QGridLayout(this);
    grid->addWidget(Option3, 0, 0);
    auto *interval = new QHBoxLayout;
    for (auto [box, label] : {std::pair {Text1, Label1}, {Text2, Label2}, {Text3, Label3}}) {
        interval->addWidget(box);
        interval->addWidget(label);
    }
    interval->addStretch(1);
    grid->addLayout(interval, 0, 1, 1, 2);
    grid->addWidget(Option2, 1, 0);
    grid->addWidget(Option1, 2, 0);
    grid->addWidget(cboWeekly, 2, 1);
    grid->addWidget(dtpWeekly, 1, 2, 2, 1, Qt::AlignLeft | Qt::AlignVCenter);
    grid->setColumnStretch(2, 1);

    // What the user chooses goes to the schedule; what the schedule holds shows here.
    using Mode = ScheduleModel::Mode;
    using Part = ScheduleModel::Part;
    for (auto [option, mode] : {std::pair {Option1, Mode::Weekly}, std::pair {Option2, Mode::Daily},
                                std::pair {Option3, Mode::Interval}}) {
        connect(option, &QRadioButton::toggled, this, [this, mode = mode](bool on) {
            if (on)
                m_schedule->setMode(mode);
        });
    }
    connect(Option3, &QRadioButton::clicked, this, [this] {
        // Clicking the selected interval mode again still restarts the count.
        if (Option3->isChecked())
            m_schedule->setMode(Mode::Interval);
    });
    for (auto [box, part] : {std::pair {Text1, Part::Hours}, std::pair {Text2, Part::Minutes},
                             std::pair {Text3, Part::Seconds}}) {
        connect(box, &QLineEdit::textChanged, this, [this, part = part](const QString &text) {
            m_schedule->setIntervalText(part, text);
        });
        box->installEventFilter(this);
    }
    connect(cboWeekly, &QComboBox::currentTextChanged, m_schedule, &ScheduleModel::setDay);
    connect(dtpWeekly, &QTimeEdit::timeChanged, m_schedule, &ScheduleModel::setTime);

    connect(m_schedule, &ScheduleModel::modeChanged, this, &ScheduleControls::showMode);
    connect(m_schedule, &ScheduleModel::intervalTextChanged, this,
            &ScheduleControls::showIntervalText);
    connect(m_schedule, &ScheduleModel::dayChanged, this, [this](const QString &day) {
        const QSignalBlocker quiet(cboWeekly);
        cboWeekly->setCurrentIndex(cboWeekly->findText(day));
    });
    connect(m_schedule, &ScheduleModel::timeChanged, this, [this](QTime time) {
        const QSignalBlocker quiet(dtpWeekly);
        dtpWeekly->setTime(time);
    });

    dtpWeekly->setEnabled(false);
    cboWeekly->setEnabled(false);
}

ScheduleModel::Places ScheduleControls::reportPlaces()
{
    const auto handler = [](const char *name) {
        return ErrorReport::Place {QStringLiteral("Form1"), QString::fromLatin1(name)};
    };
    return {handler("Option1_Click"),
            handler("Option2_Click"),
            handler("Option3_Click"),
            {handler("Text1_Change"), handler("Text2_Change"), handler("Text3_Change")},
            handler("cboWeekly_Change"),
            handler("dtpWeekly_Change")};
}

QList<QWidget *> ScheduleControls::resettingAreas() const
{
    return {Label1, Text2};
}

QList<QWidget *> ScheduleControls::focusOrder() const
{
    return {Option3, Text1, Text2, Text3, Option2, Option1, cboWeekly, dtpWeekly};
}

void ScheduleControls::showMode(ScheduleModel::Mode mode)
{
    QRadioButton *chosen = mode == ScheduleModel::Mode::Weekly ? Option1
        : mode == ScheduleModel::Mode::Daily                   ? Option2
        : mode == ScheduleModel::Mode::Interval                ? Option3
                                                               : nullptr;
    if (chosen && !chosen->isChecked()) {
        const QSignalBlocker quiet(chosen);
        chosen->setChecked(true);
    }
    dtpWeekly->setEnabled(mode == ScheduleModel::Mode::Weekly
                          || mode == ScheduleModel::Mode::Daily);
    cboWeekly->setEnabled(mode == ScheduleModel::Mode::Weekly);
}

void ScheduleControls::showIntervalText(ScheduleModel::Part part, const QString &text)
{
    QLineEdit *box = part == ScheduleModel::Part::Hours ? Text1
        : part == ScheduleModel::Part::Minutes          ? Text2
                                                        : Text3;
    if (box->text() == text)
        return;
    const QSignalBlocker quiet(box);
    box->setText(text);
}

bool ScheduleControls::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (box && event->type() == QEvent::FocusIn) {
        // After the click that gave the focus, which would otherwise place the caret.
        QPointer<QLineEdit> guarded(box);
        QTimer::singleShot(0, box, [guarded] {
            if (guarded && guarded->hasFocus())
                guarded->selectAll();
        });
    } else if (box && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        // Switching to another window or opening a menu is not leaving the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            lostFocus(box);
    }
    return QGroupBox::eventFilter(watched, event);
}

void ScheduleControls::lostFocus(QLineEdit *box)
{
    if (m_warning || ScheduleRules::IsNumeric(box->text()))
        return;
    // The notice waits until the focus has settled on its new owner.
    QPointer<QLineEdit> guarded(box);
    m_warning = true;
    QTimer::singleShot(0, this, [this, guarded] {
        m_dialogs->inform(QStringLiteral("Must be a numeric entry."));
        m_warning = false;
        if (guarded)
            guarded->setFocus(Qt::OtherFocusReason);
    });
}
