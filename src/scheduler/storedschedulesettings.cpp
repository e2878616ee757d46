#include "scheduler/storedschedulesettings.h"

#include "scheduler/schedulerules.h"

namespace StoredScheduleSettings {
namespace {

using Mode = ScheduleSettings::Mode;

template<Mode mode, const SettingKeys::Typed<bool> &key>
void readMode(ScheduleSettings &settings, const QString &text)
{
    if (key.decode(text))
        settings.mode = mode;
}

template<Mode mode, const SettingKeys::Typed<bool> &key>
QString modeText(const ScheduleSettings &settings)
{
    return key.encode(settings.mode == mode);
}

template<Mode mode, const SettingKeys::Typed<bool> &key> constexpr Field modeField()
{
    return {key, readMode<mode, key>, modeText<mode, key>};
}

template<ScheduleSettings::Part part, const SettingKeys::TextKey &key> constexpr Field partField()
{
    return {key,
            [](ScheduleSettings &settings, const QString &text) {
                settings.interval[size_t(part)] = key.decode(text);
            },
            [](const ScheduleSettings &settings) {
                return key.encode(settings.interval[size_t(part)]);
            }};
}

// The time as earlier versions wrote it, read in either of the forms they used.
void readTime(ScheduleSettings &settings, const QString &text)
{
    settings.time = ScheduleRules::ParseWeeklyTime(text);
}

QString timeText(const ScheduleSettings &settings)
{
    return ScheduleRules::WeeklyTimeText(settings.time);
}

const Field Fields[] = {
    modeField<Mode::Weekly, SettingKeys::Option1>(),
    modeField<Mode::Daily, SettingKeys::Option2>(),
    modeField<Mode::Interval, SettingKeys::Option3>(),
    {SettingKeys::WeeklyTime, readTime, timeText},
    Settings::typedField<&ScheduleSettings::day, SettingKeys::Weekly>(),
    partField<ScheduleSettings::Part::Hours, SettingKeys::Text1>(),
    partField<ScheduleSettings::Part::Minutes, SettingKeys::Text2>(),
    partField<ScheduleSettings::Part::Seconds, SettingKeys::Text3>(),
};

} // namespace

std::span<const Field> fields()
{
    return Fields;
}

void write(Settings::Store &store, const ScheduleSettings &settings,
           std::initializer_list<const SettingKeys::Key *> keys)
{
    Settings::writeFields(store, fields(), settings, keys);
}

} // namespace StoredScheduleSettings
