#include "share/restoreaddress.h"

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace {

const QString DawarichPath = QStringLiteral("api/v1/owntracks/points");

// The address's scheme, host and port with a path of its own, ending in '/'.
QString rooted(const QUrl &url, const QString &path)
{
    QUrl root;
    root.setScheme(url.scheme().toLower());
    root.setHost(url.host());
    root.setPort(url.port());
    root.setPath(path.endsWith(u'/') ? path : path + u'/');
    return root.toString();
}

// base, and the key when the address is dawarich's OwnTracks address; a recorder's publish
// address leaves its path: the API is at the server's root.
void readUrl(const QString &text, RestoreAddress &address)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    address.base.clear();
    if (!url.isValid() || url.host().isEmpty())
        return;
    const QString path = url.path();
    const qsizetype dawarich = path.indexOf(DawarichPath);
    const QString key
        = QUrlQuery(url).queryItemValue(QStringLiteral("api_key"), QUrl::FullyDecoded);
    if (dawarich >= 0 || !key.isEmpty()) {
        address.likely = RestoreKind::Dawarich;
        address.base = rooted(url, dawarich >= 0 ? path.left(dawarich) : QStringLiteral("/"));
        if (!key.isEmpty())
            address.apiKey = key;
    } else {
        address.likely = RestoreKind::Recorder;
        address.base = rooted(url, QStringLiteral("/"));
    }
}

} // namespace

RestoreAddress RestoreAddress::fromSettings(const ShareSettings &settings)
{
    RestoreAddress address;
    address.user = settings.userName();
    address.device = settings.deviceName();
    switch (settings.mode) {
    case ShareSettings::Mode::Off:
        break;
    case ShareSettings::Mode::Http:
        address.auth = settings.auth;
        address.login = settings.userName();
        address.secret = settings.secret;
        readUrl(settings.url, address);
        // dawarich also reads its key as a bearer token.
        if (address.likely == RestoreKind::Dawarich && address.apiKey.isEmpty()
            && settings.auth == ShareSettings::Auth::Token)
            address.apiKey = settings.secret.trimmed();
        break;
    case ShareSettings::Mode::Mqtt: {
        // The recorder files what it hears under the topic's user and device.
        const QStringList topic = settings.topic.split(u'/');
        if (topic.size() == 3 && !topic[1].isEmpty() && !topic[2].isEmpty()) {
            address.user = topic[1];
            address.device = topic[2];
        }
        QUrl url;
        url.setScheme(QStringLiteral("http"));
        url.setHost(settings.host.trimmed());
        url.setPort(RecorderPort);
        if (!settings.host.trimmed().isEmpty() && url.isValid())
            address.base = rooted(url, QStringLiteral("/"));
        address.likely = RestoreKind::Recorder;
        // The broker's password is not the recorder's: none is sent.
        break;
    }
    }
    return address;
}

RestoreAddress RestoreAddress::at(const QString &url) const
{
    RestoreAddress moved = *this;
    readUrl(url, moved);
    return moved;
}

std::optional<QString> RestoreAddress::unusable() const
{
    if (base.isEmpty())
        return QStringLiteral("No server address is set.");
    // A password or key crosses in clear only to this computer, as when the logs are sent.
    const bool secret = !apiKey.isEmpty() || auth != ShareSettings::Auth::None;
    if (secret)
        return ShareSettings::unusableUrl(base);
    return std::nullopt;
}

QString RestoreAddress::api(const QString &path, const QString &query) const
{
    return base + path + (query.isEmpty() ? QString() : u'?' + query);
}
