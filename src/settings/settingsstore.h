#pragma once

#include "settings/settingkeys.h"

#include <QObject>
#include <QString>
#include <memory>
#include <type_traits>

// The per-user settings store: short text values under (application, section, key).
// On Linux it is the file $XDG_CONFIG_HOME/Brenvatic/Trovanel.conf, group [Trovanel].
// All three names are found without regard to letter case. A store that cannot be read or
// written raises a Failure for the calling handler to report; it never drops other keys. The
// file holds the service key, so it and its folder are the user's alone.
namespace Settings {

inline constexpr char AppName[] = "Brenvatic";
inline constexpr char SectionName[] = "Trovanel";

class Store;

// One reading of the store for a stretch of work that reads many keys (start-up), handed to
// whoever reads them. A save made meanwhile (a restored choice stores what follows from it) is
// read back, as from the store itself. A store that cannot be read is told at each read.
class Snapshot
{
public:
    explicit Snapshot(const Store &store);
    ~Snapshot();
    Snapshot(const Snapshot &) = delete;
    Snapshot &operator=(const Snapshot &) = delete;

    // As Store::get(), from this reading.
    QString get(const SettingKeys::Key &key, const QString &fallback = QString()) const;

private:
    struct Data;
    std::unique_ptr<Data> m_data;
};

// The program's own settings file, made once and handed to each part that reads or writes a
// setting, so that a test hands in one on a folder of its own. Each key is read and written
// the key's own way; whoever shows a setting hears when a save changes its stored text.
class Store : public QObject
{
    Q_OBJECT

public:
    // folder: where the application's folder with the file goes; empty for $XDG_CONFIG_HOME
    // (or ~/.config) as it is when the store is made.
    explicit Store(const QString &folder = QString(), QObject *parent = nullptr);

    QString file() const { return m_file; }

    // The stored text, or the key's default (fallback for a key without one, "Weekly Time").
    QString get(const SettingKeys::Key &key, const QString &fallback = QString()) const;
    // Stores the text, replacing an earlier value of the same key in any letter case.
    void save(const SettingKeys::Key &key, const QString &text);
    // The same under any name in the program's own section.
    QString get(const QString &name, const QString &fallback) const;
    void save(const QString &name, const QString &text);

    // The value the key's text stands for, read and written the key's own way.
    template<typename T>
    T value(const SettingKeys::Typed<T> &key, const QString &fallback = QString()) const
    {
        return key.decode(get(static_cast<const SettingKeys::Key &>(key), fallback));
    }
    template<typename T>
    void setValue(const SettingKeys::Typed<T> &key, const std::type_identity_t<T> &value)
    {
        save(static_cast<const SettingKeys::Key &>(key), key.encode(value));
    }

Q_SIGNALS:
    // A save changed the stored text of the key (its name as stored).
    void changed(const QString &key);

private:
    QString m_file;
};

// Reads a truth text: the words True and False in any letter case, or a number (0 is false,
// any other number is true). Anything else raises a Failure.
bool TruthValue(const QString &text);
// "True" or "False".
QString TruthText(bool value);

// The file the store lives in for the given application, below folder, or when that is empty
// below $XDG_CONFIG_HOME (or ~/.config).
QString storeFile(const QString &app = QString::fromLatin1(AppName),
                  const QString &folder = QString());

} // namespace Settings
