#pragma once

#include "settings/startupsettings.h"
#include "settings/storedfield.h"

#include <initializer_list>
#include <span>

// The switch and the start-up options as the settings file keeps them: each key with the field
// it fills, read and written the key's own way.
namespace StoredStartupSettings {

using Field = Settings::StoredField<StartupSettings>;

// Every key of the group, in the order start-up reads them.
std::span<const Field> fields();

// A choice stores only the keys it changes. Raises a Failure when the store refuses a key; the
// keys before it are saved.
void write(Settings::Store &store, const StartupSettings &settings,
           std::initializer_list<const SettingKeys::Key *> keys);

} // namespace StoredStartupSettings
