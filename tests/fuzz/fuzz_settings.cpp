// The settings' text forms on arbitrary text: truth texts, the typed keys' texts (on/off, the
// sharing choices, the port), "Weekly Time" texts and the interval boxes. Each either reads the
// text or says why not; what is read round-trips.
#include "core/failure.h"
#include "scheduler/schedulerules.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

#include <QStringList>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    try {
        const bool value = Settings::TruthValue(text);
        if (Settings::TruthValue(Settings::TruthText(value)) != value)
            std::abort();
    } catch (const Failure &) { }

    const auto roundTrips = [&text](const auto &key) {
        const auto value = key.decode(text);
        return key.decode(key.encode(value)) == value;
    };
    if (!roundTrips(SettingKeys::ShareTls) || !roundTrips(SettingKeys::Share)
        || !roundTrips(SettingKeys::ShareAuth) || !roundTrips(SettingKeys::SharePort))
        std::abort();
    const int port = SettingKeys::SharePort.decode(text);
    if (port < 1 || port > 65535)
        std::abort();

    try {
        const QTime time = ScheduleRules::ParseWeeklyTime(text);
        if (!time.isValid() || time.msec() != 0)
            std::abort();
        if (ScheduleRules::ParseWeeklyTime(ScheduleRules::WeeklyTimeText(time)) != time)
            std::abort();
    } catch (const Failure &) { }

    // Three boxes from the text's lines.
    const QStringList boxes = text.split(u'\n');
    const QString h = boxes.value(0), m = boxes.value(1), s = boxes.value(2);
    const bool numeric
        = ScheduleRules::IsNumeric(h) && ScheduleRules::IsNumeric(m) && ScheduleRules::IsNumeric(s);
    try {
        const qint32 total = ScheduleRules::IntervalTotal(h, m, s);
        if (!numeric || ScheduleRules::FormatSeconds(total).size() != 8)
            std::abort();
    } catch (const Failure &) { }
    return 0;
}
