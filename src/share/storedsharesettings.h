#pragma once

#include "settings/settingkeys.h"
#include "share/sharesettings.h"

#include <span>

namespace Settings {
class Store;
}

// Sharing's settings as the settings file keeps them: each key with the field it fills, read and
// written the key's own way, so that no other part decodes or saves them one by one.
namespace StoredShareSettings {

struct Field
{
    const SettingKeys::Key &key;
    // Fills the field from the key's stored text; never fails.
    void (*read)(ShareSettings &settings, const QString &text);
};

// Every key of sharing, in the order start-up reads them.
std::span<const Field> fields();

// A choice stores every key at once. Raises a Failure when the store refuses a key; the keys
// before it are saved.
void write(Settings::Store &store, const ShareSettings &settings);

} // namespace StoredShareSettings
