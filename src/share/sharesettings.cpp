#include "share/sharesettings.h"

#include <QStringList>
#include <QSysInfo>
#include <QUrl>

#include <pwd.h>
#include <unistd.h>

QString ShareSettings::userName() const
{
    const QString given = user.trimmed();
    return given.isEmpty() ? loginName() : given;
}

QString ShareSettings::deviceName() const
{
    const QString given = device.trimmed();
    return given.isEmpty() ? hostName() : given;
}

QString ShareSettings::defaultTopic() const
{
    return QStringLiteral("owntracks/%1/%2").arg(userName(), deviceName());
}

QString ShareSettings::defaultClientId()
{
    return QStringLiteral("trovanel-") + hostName();
}

QString ShareSettings::loginName()
{
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_name && *entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

QString ShareSettings::hostName()
{
    return QSysInfo::machineHostName();
}

bool ShareSettings::isLoopback(const QString &host)
{
    QString name = host.trimmed().toLower();
    if (name.startsWith(u'[') && name.endsWith(u']')) // as an address writes IPv6
        name = name.mid(1, name.size() - 2);
    if (name == QLatin1String("localhost") || name == QLatin1String("::1"))
        return true;
    // 127.0.0.0/8, written out in full.
    const QStringList parts = name.split(u'.');
    if (parts.size() != 4 || parts[0] != QLatin1String("127"))
        return false;
    for (const QString &part : parts) {
        bool isNumber = false;
        if (part.toUInt(&isNumber) > 255 || !isNumber)
            return false;
    }
    return true;
}

std::optional<QString> ShareSettings::unusable() const
{
    switch (mode) {
    case Mode::Http:
        return unusableUrl(url);
    case Mode::Mqtt:
        return unusableBroker();
    case Mode::Off:
        break;
    }
    return std::nullopt;
}

std::optional<QString> ShareSettings::unusableUrl(const QString &url)
{
    const QUrl parsed(url.trimmed(), QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (url.trimmed().isEmpty())
        return QStringLiteral("No server address is set.");
    if (!parsed.isValid() || parsed.host().isEmpty()
        || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return QStringLiteral("The server address is not an https:// address.");
    if (scheme == QLatin1String("https") || isLoopback(parsed.host()))
        return std::nullopt;
    return QStringLiteral("The server address must start with https://: over plain http the "
                          "password and the places would cross the network unprotected. Plain "
                          "http is only for a server on this computer.");
}

std::optional<QString> ShareSettings::unusableBroker() const
{
    if (host.trimmed().isEmpty())
        return QStringLiteral("No MQTT broker is set.");
    if (tls || user.trimmed().isEmpty() || secret.isEmpty() || isLoopback(host))
        return std::nullopt;
    return QStringLiteral("Turn TLS on: the password would cross the network to %1:%2 readable by "
                          "anyone on the way. Only a broker on this computer may go without it.")
        .arg(host.trimmed())
        .arg(port);
}
