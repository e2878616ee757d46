#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

// The settings file itself: reading it safely, finding a key in any letter case, and the checks
// that keep a save from losing what the file holds. Raises a Failure that says what is wrong.
namespace Settings::StoreFile {

// The text in double quotes, as messages name files and keys.
QString quoted(const QString &text);

// Each of the three names must be usable: not empty, without a slash.
void checkNames(const QString &app, const QString &section, const QString &key);

// The file holds the service key: it and its folder (the application's, below the base folder)
// are the user's alone. A new file is made open to others (Qt follows the umask); its folder,
// made private before it, keeps others out until this closes it.
void keepPrivate(const QString &path);

enum class Purpose { Read, Save };
// The file parsed, after checking that it can be read (and for a save, written) and that it is
// not damaged. key: the setting a save is for, as messages name it.
std::unique_ptr<QSettings> openStore(const QString &path, Purpose purpose, const QString &key);

// Every stored spelling of section/key, the caller's own spelling first.
QStringList findKeys(QSettings &settings, const QString &section, const QString &key);

// A stored value as the text the program wrote.
QString storedText(const QVariant &value);

// The stored text is exactly value, under exactly this spelling of the key.
bool holdsExactly(QSettings &settings, const QString &section, const QString &key,
                  const QString &value);

} // namespace Settings::StoreFile
