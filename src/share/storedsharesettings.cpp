#include "share/storedsharesettings.h"

#include "settings/settingsstore.h"

#include <iterator>

namespace StoredShareSettings {
namespace {

// The stored words are the choices' positions in the dialog.
static_assert(std::size(SettingKeys::ShareModeTexts) == int(ShareSettings::Mode::Mqtt) + 1);
static_assert(std::size(SettingKeys::ShareAuthTexts) == int(ShareSettings::Auth::Token) + 1);

// Names, addresses and paths are used without the blanks a hand-edited file may hold.
template<QString ShareSettings::*field> void readText(ShareSettings &s, const QString &text)
{
    s.*field = text.trimmed();
}

template<bool ShareSettings::*field> void readOnOff(ShareSettings &s, const QString &text)
{
    s.*field = SettingKeys::decodeOnOff(text);
}

void readMode(ShareSettings &s, const QString &text)
{
    s.mode = ShareSettings::Mode(SettingKeys::Share.decode(text));
}

void readAuth(ShareSettings &s, const QString &text)
{
    s.auth = ShareSettings::Auth(SettingKeys::ShareAuth.decode(text));
}

void readPort(ShareSettings &s, const QString &text)
{
    s.port = SettingKeys::SharePort.decode(text);
}

const Field Fields[] = {
    {SettingKeys::Share, readMode},
    {SettingKeys::ShareUrl, readText<&ShareSettings::url>},
    {SettingKeys::ShareAuth, readAuth},
    {SettingKeys::ShareUser, readText<&ShareSettings::user>},
    {SettingKeys::ShareDevice, readText<&ShareSettings::device>},
    {SettingKeys::ShareHost, readText<&ShareSettings::host>},
    {SettingKeys::SharePort, readPort},
    {SettingKeys::ShareTls, readOnOff<&ShareSettings::tls>},
    {SettingKeys::ShareCaFile, readText<&ShareSettings::caFile>},
    {SettingKeys::ShareTopic, readText<&ShareSettings::topic>},
    {SettingKeys::ShareClientId, readText<&ShareSettings::clientId>},
    {SettingKeys::ShareTopicInBody, readOnOff<&ShareSettings::topicInBody>},
    {SettingKeys::ShareCommands, readOnOff<&ShareSettings::commands>},
};

} // namespace

std::span<const Field> fields()
{
    return Fields;
}

void write(Settings::Store &store, const ShareSettings &s)
{
    store.setValue(SettingKeys::Share, int(s.mode));
    store.setValue(SettingKeys::ShareUrl, s.url);
    store.setValue(SettingKeys::ShareAuth, int(s.auth));
    store.setValue(SettingKeys::ShareUser, s.user);
    store.setValue(SettingKeys::ShareDevice, s.device);
    store.setValue(SettingKeys::ShareHost, s.host);
    store.setValue(SettingKeys::SharePort, s.port);
    store.setValue(SettingKeys::ShareTls, s.tls);
    store.setValue(SettingKeys::ShareCaFile, s.caFile);
    store.setValue(SettingKeys::ShareTopic, s.topic);
    store.setValue(SettingKeys::ShareClientId, s.clientId);
    store.setValue(SettingKeys::ShareTopicInBody, s.topicInBody);
    store.setValue(SettingKeys::ShareCommands, s.commands);
}

} // namespace StoredShareSettings
