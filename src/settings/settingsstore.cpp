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
};

Snapshot::Snapshot() : m_data(std::make_unique<Data>())
{
    try {
        m_data->settings = openStore(storeFile(), Purpose::Read, QString());
    } catch (const Failure &failure) {
        m_data->failure = failure;
    }
}

Snapshot::~Snapshot() = default;

QString Snapshot::get(const SettingKeys::Key &key, const QString &fallback) const
{
    if (m_data->failure)
        throw *m_data->failure;
    // Qt shows a save made through any other of its readers of the file to this one at once.
    const QString name = QString::fromLatin1(key.name);
    const QStringList found = findKeys(*m_data->settings, QString::fromLatin1(SectionName), name);
    if (found.isEmpty())
        return key.defaultText ? QString::fromLatin1(key.defaultText) : fallback;
    return storedText(m_data->settings->value(found.first()));
}

QString get(const SettingKeys::Key &key, const QString &fallback)
{
    return get(QString::fromLatin1(key.name),
               key.defaultText ? QString::fromLatin1(key.defaultText) : fallback);
}

void save(const SettingKeys::Key &key, const QString &value)
{
    save(QString::fromLatin1(key.name), value);
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
    // The store holds exactly this already (start-up writes back what it read): the file is
    // left alone rather than rewritten and synced to disk for nothing, and so need not be
    // writable.
    if (holdsExactly(*openStore(path, Purpose::Read, key), section, key, value))
        return;
    const auto settings = openStore(path, Purpose::Save, key);

    const QString target = section + QLatin1Char('/') + key;
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
