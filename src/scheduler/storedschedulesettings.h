#pragma once

#include "scheduler/schedulesettings.h"
#include "settings/storedfield.h"

#include <initializer_list>
#include <span>

// The schedule as the settings file keeps it: each key with the field it fills, read and written
// the key's own way, so that no other part decodes or saves them one by one.
namespace StoredScheduleSettings {

using Field = Settings::StoredField<ScheduleSettings>;

// Every key of the schedule, in the order start-up reads them. A mode's key that reads true
// chooses its mode, and one that reads false leaves the mode as it is: start-up stores each
// choice at once, so the keys after the first true one are read back false.
std::span<const Field> fields();

// A choice stores only the keys it changes. Raises a Failure when the store refuses a key; the
// keys before it are saved.
void write(Settings::Store &store, const ScheduleSettings &settings,
           std::initializer_list<const SettingKeys::Key *> keys);

} // namespace StoredScheduleSettings
