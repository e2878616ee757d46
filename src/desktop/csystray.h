#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVariant>

// The program's icon in the desktop's system tray: its picture, its tip, balloons, and the
// mouse buttons released over it. One icon for the whole run.
class cSysTray : public QObject
{
    Q_OBJECT

public:
    explicit cSysTray(QObject *parent = nullptr);
    ~cSysTray() override;

    QIcon TrayIcon() const { return m_icon; }
    // Only an icon is taken; anything else (a plain picture, nothing at all) leaves the icon as
    // it was.
    void setTrayIcon(const QVariant &icon);

    QString TrayTip() const { return m_tip; }
    void setTrayTip(const QString &tip);

    bool InTray() const { return m_inTray; }
    // Adds the icon to the tray or removes it; setting the current value does nothing.
    void setInTray(bool show);

    // A balloon with title sTitle and text Tip for ShowTimer seconds (the desktop's own time
    // when 0 or less). With ShowOnce, only the first such balloon of the run is shown. Returns
    // at once; the balloon ends by itself, or earlier when the user clicks it.
    void ShowBalloon(const QString &Tip, const QString &sTitle, int ShowTimer, bool ShowOnce);
    bool balloonShowing() const { return m_balloonShowing; }
    // The last balloon shown: its text, its title and its time in seconds.
    struct Balloon
    {
        QString text;
        QString title;
        int seconds = 0;
    };
    Balloon lastBalloon() const { return m_lastBalloon; }
    int showOnceCount() const { return m_showOnceCount; }

    // The desktop's tray, for tests and for the window's choice between tray and task bar.
    QSystemTrayIcon *systemTrayIcon() { return &m_tray; }

Q_SIGNALS:
    // Button: 1 for the left button, 2 for the right; Id: the icon's number (0). Desktop trays
    // report whole clicks, not the pointer passing over the icon.
    void MouseDown(int Button, int Id);
    void MouseUp(int Button, int Id);
    void MouseDblClick(int Button, int Id);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void balloonOver();

    QSystemTrayIcon m_tray;
    QIcon m_icon;
    QString m_tip = QStringLiteral("Telnet Server");
    bool m_inTray = false;
    bool m_balloonShowing = false;
    int m_showOnceCount = 0;
    Balloon m_lastBalloon;
    QTimer m_balloonTimer;
};
