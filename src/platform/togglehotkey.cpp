#include "platform/togglehotkey.h"

#include "platform/portalhotkey.h"
#include "platform/x11recordhotkey.h"

#include <QDBusConnection>

std::unique_ptr<GlobalHotkey> createToggleHotkey(QObject *parent, const QString &platform)
{
    if (platform == QLatin1String("xcb"))
        return std::make_unique<X11RecordHotkey>(parent);
    // "wayland", or a compositor's own flavour of it ("wayland-egl").
    if (platform.startsWith(QLatin1String("wayland")))
        return std::make_unique<PortalHotkey>(QDBusConnection::sessionBus(), parent);
    return nullptr;
}
