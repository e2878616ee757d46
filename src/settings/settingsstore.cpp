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

namespace {

QString readIn(const QString &path, const QString &section, const QString &key,
               const QString &defaultText)
{
    const auto settings = openStore(path, Purpose::Read, key);
    const QStringList found = findKeys(*settings, section, key);
    if (found.isEmpty())
        return defaultText;
    return storedText(settings->value(found.first()));
}

// Whether the stored text changed: false when the store held exactly this already.
bool saveIn(const QString &path, const QString &section, const QString &key, const QString &value)
{
    std::optional<QString> old;
    {
        // The store holds exactly this already (start-up writes back what it read): the file is
        // left alone rather than rewritten and synced to disk for nothing, and so need not be
        // writable.
        const auto current = openStore(path, Purpose::Read, key);
        if (holdsExactly(*current, section, key, value))
            return false;
        if (const QStringList found = findKeys(*current, section, key); !found.isEmpty())
            old = storedText(current->value(found.first()));
    }
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
        return old != value;
    }

    // Qt keeps the unsaved change in its cache of the file, where later reads would see it and a
    // later, unrelated access would write it out. Put back what the file holds.
    for (const QString &name : std::as_const(touched)) {
        const auto held = before.constFind(name);
        if (held != before.constEnd())
            settings->setValue(name, *held);
        else
            settings->remove(name);
    }
    throw Failure(
        QStringLiteral("The setting %1 could not be saved: the settings file %2 cannot be written.")
            .arg(quoted(key), quoted(path)));
}

} // namespace

struct Snapshot::Data
{
    std::unique_ptr<QSettings> settings; // none when the store could not be read
    std::optional<Failure> failure; // why it could not
};

Snapshot::Snapshot(const Store &store) : m_data(std::make_unique<Data>())
{
    try {
        m_data->settings = openStore(store.file(), Purpose::Read, QString());
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

Store::Store(const QString &folder, QObject *parent)
    : QObject(parent), m_file(storeFile(QString::fromLatin1(AppName), folder))
{ }

QString Store::get(const SettingKeys::Key &key, const QString &fallback) const
{
    return get(QString::fromLatin1(key.name),
               key.defaultText ? QString::fromLatin1(key.defaultText) : fallback);
}

void Store::save(const SettingKeys::Key &key, const QString &text)
{
    save(QString::fromLatin1(key.name), text);
}

QString Store::get(const QString &name, const QString &fallback) const
{
    checkNames(QString::fromLatin1(AppName), QString::fromLatin1(SectionName), name);
    return readIn(m_file, QString::fromLatin1(SectionName), name, fallback);
}

void Store::save(const QString &name, const QString &text)
{
    checkNames(QString::fromLatin1(AppName), QString::fromLatin1(SectionName), name);
    if (saveIn(m_file, QString::fromLatin1(SectionName), name, text))
        Q_EMIT changed(name);
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

QString storeFile(const QString &app, const QString &folder)
{
    const QString base = folder.isEmpty() ? Xdg::configHome() : folder;
    // One file per application, named after this program; sections are groups inside it.
    return QDir::cleanPath(base + QLatin1Char('/') + app + QLatin1Char('/')
                           + QLatin1String(SectionName) + QStringLiteral(".conf"));
}

} // namespace Settings
