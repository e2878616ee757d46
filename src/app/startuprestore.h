#pragma once

#include "app/reportsteps.h"
#include "settings/settingkeys.h"
#include "settings/storedfield.h"

#include <QString>
#include <functional>
#include <initializer_list>
#include <span>
#include <utility>

class StepRunner;
namespace Settings {
class Snapshot;
}

// One stored choice brought back at start-up: its key, the report line a failure to read or
// apply it is told under, and how it is applied.
struct Restore
{
    const SettingKeys::Key &key;
    FormLoadStep line;
    std::function<void(const QString &)> apply;
    QString fallback = {}; // for a key without a default of its own
};

// Walks the table in order, each choice read from the settings and applied as one of the steps.
// A store that cannot be read is reported under the step's place and line, and the choice takes
// its first-run value rather than leaving the control blank.
void RestoreAll(StepRunner &steps, const Settings::Snapshot &settings,
                std::initializer_list<Restore> table);

// A group's keys brought back in the group's order, each as one of the steps above: its text
// read into the group's value, which is then shown where it belongs.
template<class Group>
void RestoreFields(StepRunner &steps, const Settings::Snapshot &settings,
                   std::span<const Settings::StoredField<Group>> fields, Group &stored,
                   std::span<const std::pair<FormLoadStep, std::function<void()>>> shows)
{
    Q_ASSERT(fields.size() == shows.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        const auto restore = [&, i](const QString &text) {
            fields[i].read(stored, text);
            shows[i].second();
        };
        RestoreAll(steps, settings, {{fields[i].key, shows[i].first, restore}});
    }
}
