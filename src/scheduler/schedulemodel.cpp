#include "scheduler/schedulemodel.h"

#include "core/errorreport.h"
#include "scheduler/schedulerules.h"
#include "settings/settingsstore.h"

namespace {

const SettingKeys::TextKey *const IntervalKeys[]
    = {&SettingKeys::Text1, &SettingKeys::Text2, &SettingKeys::Text3};

} // namespace

const ErrorReport::Place &ScheduleModel::Places::mode(Mode mode) const
{
    switch (mode) {
    case Mode::Weekly:
        return weekly;
    case Mode::Daily:
        return daily;
    default:
        return interval;
    }
}

ScheduleModel::ScheduleModel(const Clock &clock, Settings::Store &store, Places places,
                             QObject *parent)
    : QObject(parent), m_store(store), m_places(std::move(places)), m_time(clock().time())
{ }

const QStringList &ScheduleModel::days()
{
    static const QStringList names {QStringLiteral("Sunday"),   QStringLiteral("Monday"),
                                    QStringLiteral("Tuesday"),  QStringLiteral("Wednesday"),
                                    QStringLiteral("Thursday"), QStringLiteral("Friday"),
                                    QStringLiteral("Saturday")};
    return names;
}

void ScheduleModel::setMode(Mode mode)
{
    if (mode == m_mode) {
        if (mode == Mode::Interval)
            Q_EMIT modeChosen(mode);
        return;
    }
    m_mode = mode;
    Q_EMIT modeChosen(mode);
    Q_EMIT modeChanged(mode);
    Q_EMIT scheduleChanged();
    StepRunner steps(m_places.mode(mode));
    steps.step(102, [&] { m_store.setValue(SettingKeys::Option1, mode == Mode::Weekly); });
    steps.step(104, [&] { m_store.setValue(SettingKeys::Option2, mode == Mode::Daily); });
    steps.step(106, [&] { m_store.setValue(SettingKeys::Option3, mode == Mode::Interval); });
    Q_EMIT changed();
}

void ScheduleModel::setIntervalText(Part part, const QString &text)
{
    QString &held = m_interval[size_t(part)];
    if (text == held)
        return;
    held = text;
    Q_EMIT intervalTextChanged(part, text);
    const SettingKeys::TextKey &key = *IntervalKeys[size_t(part)];
    StepRunner steps(m_places.intervalBoxes[size_t(part)]);
    steps.step(100, [&] { m_store.save(key, text); });
    Q_EMIT changed();
}

void ScheduleModel::setDay(const QString &day)
{
    if (day == m_day)
        return;
    m_day = day;
    Q_EMIT dayChanged(day);
    Q_EMIT scheduleChanged();
    StepRunner steps(m_places.day);
    steps.step(100, [&] { m_store.save(SettingKeys::Weekly, day); });
    Q_EMIT changed();
}

void ScheduleModel::setTime(QTime time)
{
    if (time == m_time)
        return;
    m_time = time;
    Q_EMIT scheduleChanged();
    StepRunner steps(m_places.time);
    steps.step(100,
               [&] { m_store.save(SettingKeys::WeeklyTime, ScheduleRules::WeeklyTimeText(time)); });
    Q_EMIT timeChanged(time);
    Q_EMIT changed();
}

void ScheduleModel::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    Q_EMIT switchChanged(on);
    Q_EMIT changed();
}

void ScheduleModel::saveSwitch() const
{
    m_store.save(SettingKeys::StartStopState, SettingKeys::encodeOnOff(m_on));
}

void ScheduleModel::restore(const SettingKeys::Key &key, const QString &text)
{
    const QLatin1String name(key.name);
    if (name == QLatin1String(SettingKeys::Option1.name)) {
        if (SettingKeys::Option1.decode(text))
            setMode(Mode::Weekly);
    } else if (name == QLatin1String(SettingKeys::Option2.name)) {
        if (SettingKeys::Option2.decode(text))
            setMode(Mode::Daily);
    } else if (name == QLatin1String(SettingKeys::Option3.name)) {
        if (SettingKeys::Option3.decode(text))
            setMode(Mode::Interval);
    } else if (name == QLatin1String(SettingKeys::WeeklyTime.name)) {
        const QTime time = ScheduleRules::ParseWeeklyTime(text);
        // A time equal to the one already held changes nothing, so it is stored here.
        if (time == m_time)
            m_store.save(SettingKeys::WeeklyTime, ScheduleRules::WeeklyTimeText(time));
        setTime(time);
    } else if (name == QLatin1String(SettingKeys::Weekly.name)) {
        setDay(text);
    } else {
        for (size_t part = 0; part < std::size(IntervalKeys); ++part) {
            if (name == QLatin1String(IntervalKeys[part]->name))
                setIntervalText(Part(part), text);
        }
    }
}
