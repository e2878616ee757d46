#include "settings/settingsstore.h"

#include "core/failure.h"
#include "core/xdgfolders.h"
#include "settings/storefile.h"

#include <QDir>
#include <QHash>
#include <QSettings>
#include <cmath>
#include <memory>
#include <optional>

namespace Settings {

using namespace StoreFile;

struct Snapshot::Data
{
    std::unique_ptr<QSettings> settings; // none when the store could not be read
    std::optional<Failure> failure; // why it could not
    QHash<QString, QString> saved; // by the key's name in lower case: what was saved since
    Data *previous = nullptr;
};

namespace {

Snapshot::Data *&activeSnapshot()
{
    static Snapshot::Data *data = nullptr;
    return data;
}

} // namespace

Snapshot::Snapshot() : m_data(std::make_unique<Data>())
{
    try {
        m_data->settings = openStore(storeFile(), Purpose::Read, QString());
    } catch (const Failure &failure) {
        m_data->failure = failure;
    }
    m_data->previous = activeSnapshot();
    activeSnapshot() = m_data.get();
}

Snapshot::~Snapshot()
{
    activeSnapshot() = m_data->previous;
}

QString get(const SettingKeys::Key &key, const QString &fallback)
{
    const QString name = QString::fromLatin1(key.name);
    const QString defaultText = key.defaultText ? QString::fromLatin1(key.defaultText) : fallback;
    Snapshot::Data *snapshot = activeSnapshot();
    if (!snapshot)
        return get(name, defaultText);
    if (snapshot->failure)
        throw *snapshot->failure;
    if (const auto saved = snapshot->saved.constFind(name.toLower());
        saved != snapshot->saved.constEnd())
        return *saved;
    const QString section = QString::fromLatin1(SectionName);
    const QStringList found = findKeys(*snapshot->settings, section, name);
    return found.isEmpty() ? defaultText : storedText(snapshot->settings->value(found.first()));
}

void save(const SettingKeys::Key &key, const QString &value)
{
    const QString name = QString::fromLatin1(key.name);
    Snapshot::Data *snapshot = activeSnapshot();
    if (snapshot && !snapshot->failure) {
        const auto saved = snapshot->saved.constFind(name.toLower());
        if (saved != snapshot->saved.constEnd()
                ? *saved == value
                : holdsExactly(*snapshot->settings, QString::fromLatin1(SectionName), name, value))
            return;
    }
    save(name, value);
    if (snapshot)
        snapshot->saved.insert(name.toLower(), value);
}

QString GetSetting(const QString &app, const QString &section, const QString &key,
                   const QString &defaultText)
{
    checkNames(app, section, key);
    const auto settings = openStore(storeFile(app), Purpose::Read, key);
    const QStringList found = findKeys(*settings, section, key);
    if (found.isEmpty())
        return defaultText;
    return storedText(settings->value(found.first()));
}

QString GetSetting(const QString &app, const QString &section, const QString &key,
                   qint64 defaultNumber)
{
    return GetSetting(app, section, key, QString::number(defaultNumber));
}

void SaveSetting(const QString &app, const QString &section, const QString &key,
                 const QString &value)
{
    checkNames(app, section, key);
    const QString path = storeFile(app);
    const auto settings = openStore(path, Purpose::Save, key);

    const QString target = section + QLatin1Char('/') + key;
    // The store holds exactly this already (start-up writes back what it read): the file is
    // left alone rather than rewritten and synced to disk for nothing.
    if (holdsExactly(*settings, section, key, value))
        return;
    QStringList touched = findKeys(*settings, section, key);
    if (!touched.contains(target))
        touched.append(target);
    QHash<QString, QVariant> before;
    for (const QString &name : std::as_const(touched)) {
        if (settings->contains(name))
            before.insert(name, settings->value(name));
        if (name != target)
            settings->remove(name);
    }
    settings->setValue(target, value);
    settings->sync();
    if (settings->status() == QSettings::NoError) {
        keepPrivate(path);
        return;
    }

    // Qt keeps the unsaved change in its cache of the file, where later reads would see it and a
    // later, unrelated access would write it out. Put back what the file holds.
    for (const QString &name : std::as_const(touched)) {
        const auto old = before.constFind(name);
        if (old != before.constEnd())
            settings->setValue(name, *old);
        else
            settings->remove(name);
    }
    throw Failure(
        QStringLiteral("The setting %1 could not be saved: the settings file %2 cannot be written.")
            .arg(quoted(key), quoted(path)));
}

QString get(const QString &key, const QString &defaultText)
{
    return GetSetting(QString::fromLatin1(AppName), QString::fromLatin1(SectionName), key,
                      defaultText);
}

void save(const QString &key, const QString &value)
{
    SaveSetting(QString::fromLatin1(AppName), QString::fromLatin1(SectionName), key, value);
}

bool TruthValue(const QString &text)
{
    // The words must stand alone: " true" is neither word. A number may have blanks around it.
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    // toDouble also takes "nan" and "inf", which no one means as a yes or no.
    if (isNumber && std::isfinite(number))
        return number != 0.0;
    throw Failure(QStringLiteral("%1 is not a truth value: expected True, False or a number.")
                      .arg(quoted(text)));
}

QString TruthText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString storeFile(const QString &app)
{
    QString folder = StoreFile::storeFolder();
    if (folder.isEmpty())
        folder = Xdg::configHome();
    // One file per application, named after this program; sections are groups inside it.
    return QDir::cleanPath(folder + QLatin1Char('/') + app + QLatin1Char('/')
                           + QLatin1String(SectionName) + QStringLiteral(".conf"));
}

void setStoreFolder(const QString &folder)
{
    StoreFile::setStoreFolder(folder);
}

} // namespace Settings
