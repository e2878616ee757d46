#include "platform/portalhotkey.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString ShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// One shortcut as the portal passes it: its id and its properties (description, triggers).
struct Shortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

// The trigger the desktop gives the toggle in a list of shortcuts; empty when the list leaves
// it out or gives it no trigger.
QString toggleTrigger(const QVariant &shortcuts)
{
    if (!shortcuts.canConvert<QDBusArgument>())
        return QString();
    for (const Shortcut &shortcut : qdbus_cast<QList<Shortcut>>(shortcuts.value<QDBusArgument>()))
        if (shortcut.id == QLatin1String(PortalHotkey::ShortcutId))
            return shortcut.properties.value(QStringLiteral("trigger_description")).toString();
    return QString();
}

QString pathText(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

PortalHotkey::PortalHotkey(const QDBusConnection &bus, QObject *parent)
    : GlobalHotkey(parent), m_bus(bus)
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

PortalHotkey::~PortalHotkey()
{
    remove();
}

bool PortalHotkey::install()
{
    if (m_installed)
        return true;
    if (!m_bus.isConnected())
        return false;
    m_installed = true;
    listenToPortal(true);
    request(QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"),
              QStringLiteral("trovanel%1").arg(m_requests + 1)}},
            SLOT(sessionCreated(uint, QVariantMap)));
    return true;
}

void PortalHotkey::remove()
{
    if (!m_installed)
        return;
    m_installed = false;
    stopWaiting();
    listenToPortal(false);
    if (!m_session.isEmpty())
        // The desktop drops the shortcut with the session; no answer is needed.
        m_bus.asyncCall(QDBusMessage::createMethodCall(
            PortalService, m_session, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
    m_session.clear();
}

void PortalHotkey::listenToPortal(bool listen)
{
    const auto hook = listen
        ? qOverload<const QString &, const QString &, const QString &, const QString &, QObject *,
                    const char *>(&QDBusConnection::connect)
        : qOverload<const QString &, const QString &, const QString &, const QString &, QObject *,
                    const char *>(&QDBusConnection::disconnect);
    (m_bus.*hook)(PortalService, PortalPath, ShortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(shortcutActivated(QDBusMessage)));
    (m_bus.*hook)(PortalService, PortalPath, ShortcutsInterface, QStringLiteral("ShortcutsChanged"),
                  this, SLOT(shortcutsChanged(QDBusMessage)));
}

void PortalHotkey::request(const QString &method, QVariantList arguments, QVariantMap options,
                           const char *slot)
{
    stopWaiting();
    const QString token = QStringLiteral("trovanel%1").arg(++m_requests);
    // The portal names the Request after the caller's unique name and the token.
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    m_request = PortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    m_requestSlot = slot;
    m_bus.connect(PortalService, m_request, RequestInterface, QStringLiteral("Response"), this,
                  slot);

    options.insert(QStringLiteral("handle_token"), token);
    arguments << options;
    QDBusMessage call
        = QDBusMessage::createMethodCall(PortalService, PortalPath, ShortcutsInterface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path = m_request](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *call;
                if (!m_installed || path != m_request)
                    return;
                if (reply.isError()) {
                    // No portal, or one without global shortcuts (GNOME before 48).
                    stopWaiting();
                    noShortcut();
                } else if (reply.value().path() != m_request) {
                    // A portal that names its Requests otherwise: listen where it says.
                    const char *slot = m_requestSlot;
                    stopWaiting();
                    m_request = reply.value().path();
                    m_requestSlot = slot;
                    m_bus.connect(PortalService, m_request, RequestInterface,
                                  QStringLiteral("Response"), this, slot);
                }
            });
}

void PortalHotkey::stopWaiting()
{
    if (!m_request.isEmpty())
        m_bus.disconnect(PortalService, m_request, RequestInterface, QStringLiteral("Response"),
                         this, m_requestSlot);
    m_request.clear();
    m_requestSlot = nullptr;
}

void PortalHotkey::noShortcut()
{
    setTrigger(QString());
}

void PortalHotkey::sessionCreated(uint response, const QVariantMap &results)
{
    stopWaiting();
    m_session = pathText(results.value(QStringLiteral("session_handle")));
    // Any answer but 0 is a refusal: the user cancelled, or the desktop said no.
    if (response != 0 || m_session.isEmpty())
        return noShortcut();
    const QVariantMap properties {
        {QStringLiteral("description"), QString::fromLatin1(Description)},
        {QStringLiteral("preferred_trigger"), QString::fromLatin1(PreferredTrigger)},
    };
    const QList<Shortcut> shortcuts {{QString::fromLatin1(ShortcutId), properties}};
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
             QString()},
            {}, SLOT(shortcutsBound(uint, QVariantMap)));
}

void PortalHotkey::shortcutsBound(uint response, const QVariantMap &results)
{
    stopWaiting();
    if (response != 0)
        return noShortcut();
    setTrigger(toggleTrigger(results.value(QStringLiteral("shortcuts"))));
}

void PortalHotkey::shortcutActivated(const QDBusMessage &signal)
{
    const QVariantList arguments = signal.arguments();
    if (arguments.size() >= 2 && pathText(arguments.at(0)) == m_session && !m_session.isEmpty()
        && arguments.at(1).toString() == QLatin1String(ShortcutId))
        Q_EMIT activated();
}

void PortalHotkey::shortcutsChanged(const QDBusMessage &signal)
{
    const QVariantList arguments = signal.arguments();
    // The user changed the trigger in the desktop's settings: the list carries the new one.
    if (arguments.size() >= 2 && pathText(arguments.at(0)) == m_session && !m_session.isEmpty())
        setTrigger(toggleTrigger(arguments.at(1)));
}
