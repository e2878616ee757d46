#include "settings/storedstartupsettings.h"

namespace StoredStartupSettings {
namespace {

using Settings::typedField;

const Field Fields[] = {
    typedField<&StartupSettings::switchState, SettingKeys::StartStopState>(),
    typedField<&StartupSettings::sessionStart, SettingKeys::WindowsStartup>(),
    typedField<&StartupSettings::minimized, SettingKeys::Minimized>(),
    typedField<&StartupSettings::networkChange, SettingKeys::LogOnNetworkChange>(),
    typedField<&StartupSettings::keepResults, SettingKeys::KeepResults>(),
    typedField<&StartupSettings::locationService, SettingKeys::UseLocationService>(),
};

} // namespace

std::span<const Field> fields()
{
    return Fields;
}

void write(Settings::Store &store, const StartupSettings &settings,
           std::initializer_list<const SettingKeys::Key *> keys)
{
    Settings::writeFields(store, fields(), settings, keys);
}

} // namespace StoredStartupSettings
