#include "scheduler/schedulemodel.h"

#include "core/errorreport.h"
#include "scheduler/schedulerules.h"
#include "settings/settingsstore.h"
#include "settings/storedstartupsettings.h"

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
    : QObject(parent), m_store(store), m_places(std::move(places))
{
    m_chosen.time = clock().time();
}

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
    if (mode == m_chosen.mode) {
        if (mode == Mode::Interval)
            Q_EMIT modeChosen(mode);
        return;
    }
    m_chosen.mode = mode;
    const ScheduleSettings chosen = m_chosen;
    Q_EMIT modeChosen(mode);
    Q_EMIT modeChanged(mode);
    Q_EMIT scheduleChanged();
    StepRunner steps(m_places.mode(mode));
    steps.step(102, [&] { save(chosen, SettingKeys::Option1); });
    steps.step(104, [&] { save(chosen, SettingKeys::Option2); });
    steps.step(106, [&] { save(chosen, SettingKeys::Option3); });
    Q_EMIT changed();
}

void ScheduleModel::setIntervalText(Part part, const QString &text)
{
    QString &held = m_chosen.interval[size_t(part)];
    if (text == held)
        return;
    held = text;
    const ScheduleSettings chosen = m_chosen;
    Q_EMIT intervalTextChanged(part, text);
    StepRunner steps(m_places.intervalBoxes[size_t(part)]);
    steps.step(100, [&] { save(chosen, *IntervalKeys[size_t(part)]); });
    Q_EMIT changed();
}

void ScheduleModel::setDay(const QString &day)
{
    if (day == m_chosen.day)
        return;
    m_chosen.day = day;
    const ScheduleSettings chosen = m_chosen;
    Q_EMIT dayChanged(day);
    Q_EMIT scheduleChanged();
    StepRunner steps(m_places.day);
    steps.step(100, [&] { save(chosen, SettingKeys::Weekly); });
    Q_EMIT changed();
}

void ScheduleModel::setTime(QTime time)
{
    if (time == m_chosen.time)
        return;
    m_chosen.time = time;
    const ScheduleSettings chosen = m_chosen;
    Q_EMIT scheduleChanged();
    StepRunner steps(m_places.time);
    steps.step(100, [&] { save(chosen, SettingKeys::WeeklyTime); });
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
    // Of the start-up group, only the switch is the schedule's to store.
    StoredStartupSettings::write(m_store, {.switchState = SettingKeys::encodeOnOff(m_on)},
                                 {&SettingKeys::StartStopState});
}

void ScheduleModel::restore(const StoredScheduleSettings::Field &field, const QString &text)
{
    const ScheduleSettings held = m_chosen;
    ScheduleSettings stored = held;
    field.read(stored, text);
    // A time equal to the one already held changes nothing, so it is stored here.
    if (&field.key == &SettingKeys::WeeklyTime && stored.time == held.time)
        save(stored, SettingKeys::WeeklyTime);
    // Only the key's own field can differ: it is chosen as the user would choose it. What a
    // listener of that choice changes meanwhile stays.
    if (stored.mode != held.mode)
        setMode(stored.mode);
    if (stored.time != held.time)
        setTime(stored.time);
    if (stored.day != held.day)
        setDay(stored.day);
    for (size_t part = 0; part < stored.interval.size(); ++part) {
        if (stored.interval[part] != held.interval[part])
            setIntervalText(Part(part), stored.interval[part]);
    }
}

void ScheduleModel::save(const ScheduleSettings &chosen, const SettingKeys::Key &key) const
{
    StoredScheduleSettings::write(m_store, chosen, {&key});
}
