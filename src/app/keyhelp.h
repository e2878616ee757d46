#pragma once

#include <QString>

class Dialogs;
namespace Settings {
class Store;
}

// The service key: entering it, and the once-per-run offer to open the service's sign-up
// page for a user who has none.
class KeyHelp
{
public:
    // settings: where the key is kept.
    KeyHelp(Dialogs *dialogs, Settings::Store &settings) : m_dialogs(dialogs), m_settings(settings)
    { }

    // "Enter Your API Key": asks for the key with the stored one proposed; an empty answer or
    // Cancel keeps the stored key.
    void PushButton8_Click();
    // "Help / How Do I Get An API Key?"
    void PushButton7_Click();

    // Makes the offer when always is true or no key is stored (a key of blanks is none), but
    // only once per run. Raises a Failure when the settings cannot be read.
    void ShowKeyHelp(bool always);

    // The key as stored, the lookups' source of it. Raises a Failure when the settings cannot
    // be read.
    QString storedKey() const;

private:
    Dialogs *m_dialogs;
    Settings::Store &m_settings;
    bool m_keyHelpShown = false;
};
