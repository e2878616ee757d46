#pragma once

#include "desktop/globalhotkey.h"

#include <QDBusConnection>
#include <QVariantMap>

class QDBusMessage;

// The toggle in a Wayland session, where no program may watch the keyboard: the desktop portal
// (org.freedesktop.portal.GlobalShortcuts on the session bus) holds one session with one
// shortcut, "Turn logging on or off", asked for as Ctrl+Shift+T. The desktop may ask the user
// first, and may bind that trigger, another one or none; what it bound is read back from its
// answer and again whenever it says the shortcuts changed. Every call is asynchronous, so a
// slow or absent portal never holds up the window; where there is no portal, nothing is bound.
class PortalHotkey : public GlobalHotkey
{
    Q_OBJECT

public:
    // The shortcut as the desktop lists it in its settings.
    static constexpr char ShortcutId[] = "toggle-logging";
    static constexpr char Description[] = "Turn logging on or off";
    // The shortcuts XDG form of Ctrl+Shift+T.
    static constexpr char PreferredTrigger[] = "CTRL+SHIFT+t";

    explicit PortalHotkey(const QDBusConnection &bus, QObject *parent = nullptr);
    ~PortalHotkey() override;

    // Asks for the session; false only without a session bus. The answer comes later.
    bool install() override;
    void remove() override;
    bool isInstalled() const override { return m_installed; }

private Q_SLOTS:
    void sessionCreated(uint response, const QVariantMap &results);
    void shortcutsBound(uint response, const QVariantMap &results);
    void shortcutActivated(const QDBusMessage &signal);
    void shortcutsChanged(const QDBusMessage &signal);

private:
    // Calls a portal method whose answer comes as the Response of a Request object. The
    // Response is listened for, on the path the token gives, before the call goes out, so
    // that a quick answer is not missed; slot takes it.
    void request(const QString &method, QVariantList arguments, QVariantMap options,
                 const char *slot);
    void stopWaiting();
    void listenToPortal(bool listen);
    // Nothing is bound: the portal is missing, refused or the user said no.
    void noShortcut();

    QDBusConnection m_bus;
    QString m_session;
    // The Request awaited, and the slot its Response goes to.
    QString m_request;
    const char *m_requestSlot = nullptr;
    unsigned int m_requests = 0;
    bool m_installed = false;
};
