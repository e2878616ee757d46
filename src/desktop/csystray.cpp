#include "desktop/csystray.h"

namespace {
constexpr int IconId = 0;
}

cSysTray::cSysTray(QObject *parent) : QObject(parent), m_icon(QStringLiteral(":/trovanel.svg"))
{
    m_tray.setIcon(m_icon);
    m_tray.setToolTip(m_tip);
    m_balloonTimer.setSingleShot(true);
    connect(&m_balloonTimer, &QTimer::timeout, this, &cSysTray::balloonOver);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &cSysTray::onActivated);
    connect(&m_tray, &QSystemTrayIcon::messageClicked, this, &cSysTray::balloonOver);
}

cSysTray::~cSysTray()
{
    setInTray(false);
}

void cSysTray::setTrayIcon(const QVariant &icon)
{
    if (icon.userType() != QMetaType::QIcon)
        return;
    const QIcon taken = icon.value<QIcon>();
    if (taken.isNull())
        return;
    m_icon = taken;
    m_tray.setIcon(m_icon);
}

void cSysTray::setTrayTip(const QString &tip)
{
    m_tip = tip;
    m_tray.setToolTip(tip);
}

void cSysTray::setInTray(bool show)
{
    if (show == m_inTray)
        return;
    m_inTray = show;
    m_tray.setVisible(show);
}

void cSysTray::ShowBalloon(const QString &Tip, const QString &sTitle, int ShowTimer, bool ShowOnce)
{
    if (ShowOnce && m_showOnceCount >= 1)
        return;
    // The desktop's own display time when none is asked for.
    const int msecs = ShowTimer > 0 ? ShowTimer * 1000 : 10000;
    m_tray.showMessage(sTitle, Tip, QSystemTrayIcon::NoIcon, msecs);
    m_lastBalloon = {Tip, sTitle, ShowTimer};
    m_balloonShowing = true;
    if (ShowOnce)
        ++m_showOnceCount;
    if (ShowTimer > 0)
        m_balloonTimer.start(msecs);
}

void cSysTray::balloonOver()
{
    m_balloonTimer.stop();
    m_balloonShowing = false;
}

void cSysTray::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // The tray reports a whole click; it stands for the press and the release of the button.
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        Q_EMIT MouseDown(1, IconId);
        Q_EMIT MouseUp(1, IconId);
        break;
    case QSystemTrayIcon::Context:
        Q_EMIT MouseDown(2, IconId);
        Q_EMIT MouseUp(2, IconId);
        break;
    case QSystemTrayIcon::DoubleClick:
        Q_EMIT MouseDblClick(1, IconId);
        break;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
}
