#include "scheduler/schedulecontrols.h"

#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/localetime.h"
#include "scheduler/schedulerules.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimer>

namespace {

void saveSetting(const QString &procedure, const char *key, const QString &value)
{
    StepRunner steps(QStringLiteral("Form1"), procedure);
    steps.step(100, [&] { Settings::save(QString::fromLatin1(key), value); });
}

QLineEdit *intervalBox(const QString &name, const QString &accessibleName, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setAccessibleName(accessibleName);
    box->setMaximumWidth(60);
    return box;
}

} // namespace

ScheduleControls::ScheduleControls(ScheduleState *state, Dialogs *dialogs, Clock clock,
                                   QWidget *parent)
    : QGroupBox(QStringLiteral("Log Schedule"), parent),
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
      dtpWeekly(new QTimeEdit(this)),
      m_state(state),
      m_dialogs(dialogs),
      m_clock(std::move(clock))
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
    cboWeekly->addItems({QStringLiteral("Sunday"), QStringLiteral("Monday"),
                         QStringLiteral("Tuesday"), QStringLiteral("Wednesday"),
                         QStringLiteral("Thursday"), QStringLiteral("Friday"),
                         QStringLiteral("Saturday")});
    // Blank until restored: a stored day that is not one of the seven stays blank and never
    // matches, rather than quietly turning into another day.
    cboWeekly->setCurrentIndex(-1);

    dtpWeekly->setObjectName(QStringLiteral("dtpWeekly"));
    dtpWeekly->setAccessibleName(QStringLiteral("Time of the daily or weekly log"));
    dtpWeekly->setDisplayFormat(TimeFormatWithSeconds(locale()));
    dtpWeekly->setTime(m_clock().time());
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

    setTabOrder(Option3, Text1);
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Option2);
    setTabOrder(Option2, Option1);
    setTabOrder(Option1, cboWeekly);
    setTabOrder(cboWeekly, dtpWeekly);

    // A program-made selection runs the click handler just as the user's does; clearing one
    // does not.
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option1_Click();
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option2_Click();
    });
    connect(Option3, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option3_Click();
    });
    connect(Option3, &QRadioButton::clicked, this, [this] {
        // Clicking the selected interval mode again still restarts the count.
        if (Option3->isChecked())
            m_state->ElapsedSeconds = 0;
    });
    connect(Text1, &QLineEdit::textChanged, this,
            [this] { textChanged(Text1, QString::fromLatin1(SettingKeys::Text1.name)); });
    connect(Text2, &QLineEdit::textChanged, this,
            [this] { textChanged(Text2, QString::fromLatin1(SettingKeys::Text2.name)); });
    connect(Text3, &QLineEdit::textChanged, this,
            [this] { textChanged(Text3, QString::fromLatin1(SettingKeys::Text3.name)); });
    for (QLineEdit *box : {Text1, Text2, Text3})
        box->installEventFilter(this);
    connect(cboWeekly, &QComboBox::currentTextChanged, this, &ScheduleControls::cboWeekly_Change);
    connect(dtpWeekly, &QTimeEdit::timeChanged, this, &ScheduleControls::dtpWeekly_Change);

    dtpWeekly->setEnabled(false);
    cboWeekly->setEnabled(false);
}

ScheduleControls::Mode ScheduleControls::mode() const
{
    if (Option1->isChecked())
        return Mode::Weekly;
    if (Option2->isChecked())
        return Mode::Daily;
    if (Option3->isChecked())
        return Mode::Interval;
    return Mode::None;
}

void ScheduleControls::recomputeSpan()
{
    m_state->TotalSeconds = ScheduleRules::SecondsUntilToday(m_clock(), dtpWeekly->time());
}

void ScheduleControls::Option1_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Option1_Click"));
    steps.step(100, [this] { recomputeSpan(); });
    dtpWeekly->setEnabled(true);
    cboWeekly->setEnabled(true);
    saveOptions(QStringLiteral("Option1_Click"));
}

void ScheduleControls::Option2_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Option2_Click"));
    steps.step(100, [this] { recomputeSpan(); });
    dtpWeekly->setEnabled(true);
    cboWeekly->setEnabled(false);
    saveOptions(QStringLiteral("Option2_Click"));
}

void ScheduleControls::Option3_Click()
{
    m_state->ElapsedSeconds = 0;
    dtpWeekly->setEnabled(false);
    cboWeekly->setEnabled(false);
    saveOptions(QStringLiteral("Option3_Click"));
}

void ScheduleControls::saveOptions(const QString &procedure)
{
    Q_EMIT scheduleChanged();
    StepRunner steps(QStringLiteral("Form1"), procedure);
    steps.step(102, [this] {
        Settings::save(QString::fromLatin1(SettingKeys::Option1.name),
                       Settings::TruthText(Option1->isChecked()));
    });
    steps.step(104, [this] {
        Settings::save(QString::fromLatin1(SettingKeys::Option2.name),
                       Settings::TruthText(Option2->isChecked()));
    });
    steps.step(106, [this] {
        Settings::save(QString::fromLatin1(SettingKeys::Option3.name),
                       Settings::TruthText(Option3->isChecked()));
    });
}

void ScheduleControls::textChanged(QLineEdit *box, const QString &key)
{
    saveSetting(box->objectName() + QStringLiteral("_Change"), key.toLatin1().constData(),
                box->text());
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

void ScheduleControls::cboWeekly_Change()
{
    Q_EMIT scheduleChanged();
    saveSetting(QStringLiteral("cboWeekly_Change"), SettingKeys::Weekly.name,
                cboWeekly->currentText());
}

void ScheduleControls::dtpWeekly_Change()
{
    Q_EMIT scheduleChanged();
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("dtpWeekly_Change"));
    steps.step(100, [this] {
        Settings::save(QString::fromLatin1(SettingKeys::WeeklyTime.name),
                       ScheduleRules::WeeklyTimeText(dtpWeekly->time()));
    });
    if (Option2->isChecked())
        steps.step(102, [this] { recomputeSpan(); });
}
