#include "app/traypresence.h"

#include "app/apptitle.h"
#include "core/dialogs.h"
#include "desktop/csystray.h"

#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

TrayPresence::TrayPresence(QWidget *window, Dialogs *dialogs)
    : QObject(window), m_window(window), m_dialogs(dialogs)
{ }

void TrayPresence::showAtStart()
{
    if (!m_startHidden)
        m_window->show();
}

void TrayPresence::createIcon()
{
    m_icon = new cSysTray(m_window);
    connect(m_icon, &cSysTray::MouseUp, this, &TrayPresence::restore);
    showTip();
}

void TrayPresence::putInTray()
{
    if (m_icon)
        m_icon->setInTray(true);
}

void TrayPresence::startWaiting()
{
    m_trayWait.start();
    if (m_startHidden)
        sendToTray();
}

void TrayPresence::removeIcon()
{
    if (m_icon)
        m_icon->setInTray(false);
}

void TrayPresence::showLastFailure(const QString &failure)
{
    m_lastFailure = failure;
    showTip();
}

void TrayPresence::showWaitingToShare(qint64 count, qint64 dropped, qint64 setAside)
{
    m_waitingToShare = count;
    m_droppedFromShare = dropped;
    m_setAsideFromShare = setAside;
    showTip();
}

void TrayPresence::showSecretLocked(bool locked)
{
    m_secretLocked = locked;
    showTip();
}

void TrayPresence::showTip()
{
    if (!m_icon)
        return;
    QString tip = QString::fromLatin1(ProductName);
    if (!m_lastFailure.isEmpty())
        tip += QStringLiteral("\nLast log failed: ") + m_lastFailure;
    if (m_waitingToShare == 1)
        tip += QStringLiteral("\n1 log waiting to be shared");
    else if (m_waitingToShare > 1)
        tip += QStringLiteral("\n%1 logs waiting to be shared").arg(m_waitingToShare);
    // Results not kept hold at most 10,000 messages; the oldest make room.
    if (m_droppedFromShare > 0)
        tip += QStringLiteral("\n%1 older not shared: too many waited").arg(m_droppedFromShare);
    // Kept until the user sends them again or discards them in Share Logs….
    if (m_setAsideFromShare == 1)
        tip += QStringLiteral("\n1 log the server would not take");
    else if (m_setAsideFromShare > 1)
        tip += QStringLiteral("\n%1 logs the server would not take").arg(m_setAsideFromShare);
    if (m_secretLocked)
        tip += QStringLiteral("\nSharing waits: the secret store is locked");
    m_icon->setTrayTip(tip);
}

bool TrayPresence::trayAvailable() const
{
    return m_trayAvailable ? m_trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayPresence::windowMinimized()
{
    if (m_window->windowState() & Qt::WindowMinimized)
        sendToTray();
}

bool TrayPresence::wantsTray() const
{
    if (m_hiddenInTray || m_closed)
        return false;
    return (m_window->windowState() & Qt::WindowMinimized)
        || (m_startHidden && !m_window->isVisible());
}

void TrayPresence::sendToTray()
{
    if (!wantsTray())
        return;
    if (!m_icon || !m_icon->InTray() || !trayAvailable()) {
        // A tray may come up a little after the session; hiding the window where nothing can
        // bring it back would lose it, so it waits in the task bar meanwhile.
        if (m_trayWait.isValid() && m_trayWait.elapsed() < TrayWaitMs) {
            QTimer::singleShot(250, this, &TrayPresence::sendToTray);
            return;
        }
        if (m_startHidden && !m_window->isVisible()) {
            m_startHidden = false;
            m_window->showMinimized();
        }
        if (!m_noTrayTold) {
            m_noTrayTold = true;
            m_dialogs->inform(QStringLiteral(
                "This desktop has no system tray, so Trovanel stays in the task bar while it "
                "is minimized."));
        }
        return;
    }
    // Hidden as it is: clearing the minimized state now would map the window again. It comes
    // back at its normal size through restore().
    m_window->hide();
    m_hiddenInTray = true;
    m_icon->ShowBalloon(
        QStringLiteral("has been minimized to the system tray.\nClick on the blue 'B' icon (B "
                       "for Brenvatic) to bring the software back."),
        QString::fromLatin1(ProductName), 5, true);
}

void TrayPresence::restore()
{
    if (m_closed)
        return;
    if (!m_window->isVisible() || (m_window->windowState() & Qt::WindowMinimized))
        m_window->showNormal();
    m_hiddenInTray = false;
    m_startHidden = false;
    m_window->raise();
    m_window->activateWindow();
}
