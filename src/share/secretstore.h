#pragma once

#include "settings/settingkeys.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class Dialogs;
namespace Settings {
class Store;
}

// The password or token of the user's location server, kept in the desktop's secret store
// (the Secret Service, or KWallet on Plasma) under the service "Trovanel". Where no store
// answers, the user is asked whether it may be kept in the settings file, which only they can
// read; without their agreement it is not kept anywhere. Every answer comes later, through the
// event loop: a store that asks the user to unlock it holds up nothing else.
class SecretStore : public QObject
{
    Q_OBJECT

public:
    static constexpr char Service[] = "Trovanel";
    // An unlock prompt nobody answers holds a read up no longer than this.
    static constexpr int ReadBoundMs = 30'000;

    // The server's password or token, and the key messages are sealed with: each its own entry
    // in the store and its own key in the file.
    struct Kind
    {
        const char *entry;
        const SettingKeys::TextKey &fileKey;
        const char *words; // what it is, in the user's words
    };
    static const Kind Password;
    static const Kind EncryptionKey;

    // settings: the file that keeps the copy the user agreed to.
    SecretStore(Dialogs *dialogs, Settings::Store &settings, QObject *parent = nullptr,
                const Kind &kind = Password);

    using Answer = std::function<void(const std::optional<QString> &)>;
    // done(secret): the kept secret, empty when none is kept; nothing when the store holds one
    // it did not give (locked, its unlock prompt dismissed or left unanswered, access refused).
    // The copy the user agreed to keep in the settings file is the newest there is.
    void read(Answer done);
    // done(kept): false when it could be kept nowhere the user agreed to. An empty secret
    // removes the kept one.
    void write(const QString &secret, std::function<void(bool)> done);

private:
    void askWhetherKept(const Answer &answer);
    void keepInFile(const QString &secret, const QString &why,
                    const std::function<void(bool)> &done);

    Dialogs *m_dialogs;
    Settings::Store &m_settings;
    const Kind &m_kind;
};
