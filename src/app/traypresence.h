#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <functional>

class Dialogs;
class QWidget;
class cSysTray;

// The window's life in the tray: the icon and its tip, hiding the window there when it is
// minimized (with the balloon that says how to bring it back), bringing it back, and the task
// bar in its place on a desktop without a tray.
class TrayPresence : public QObject
{
    Q_OBJECT

public:
    TrayPresence(QWidget *window, Dialogs *dialogs);

    // The window goes straight to the tray once start-up is over; it is never shown.
    void setStartHidden(bool hidden) { m_startHidden = hidden; }
    void showAtStart();

    // The icon, once the window is on screen; then putInTray shows it.
    void createIcon();
    void putInTray();
    // From now on a missing tray is waited for a little; a window that starts hidden goes.
    void startWaiting();

    // The window was minimized: it goes to the tray, or stays in the task bar where the
    // desktop has no tray.
    void windowMinimized();
    // The user clicked the icon, or started the program again: the window comes back.
    void restore();
    // The program is ending: nothing goes to the tray or comes back any more.
    void close() { m_closed = true; }
    void removeIcon();

    bool hiddenInTray() const { return m_hiddenInTray; }
    void setTrayAvailable(std::function<bool()> available)
    {
        m_trayAvailable = std::move(available);
    }
    cSysTray *icon() const { return m_icon; }
    // The tip names the last failed log until a log succeeds (failure empty).
    void showLastFailure(const QString &failure);
    // The tip says how many logs wait for the user's location server, while any do, how many
    // older ones were dropped from memory to make room, and how many the server would not take.
    void showWaitingToShare(qint64 count, qint64 dropped, qint64 setAside);
    // The tip says that sharing waits for the secret store, which did not give the secret.
    void showSecretLocked(bool locked);

private:
    void showTip();
    bool trayAvailable() const;
    bool wantsTray() const;
    void sendToTray();

    static constexpr int TrayWaitMs = 5000;

    QWidget *m_window;
    Dialogs *m_dialogs;
    cSysTray *m_icon = nullptr;
    bool m_hiddenInTray = false;
    bool m_startHidden = false;
    bool m_noTrayTold = false;
    bool m_closed = false;
    QString m_lastFailure;
    qint64 m_waitingToShare = 0;
    qint64 m_droppedFromShare = 0;
    qint64 m_setAsideFromShare = 0;
    bool m_secretLocked = false;
    QElapsedTimer m_trayWait; // since start-up: how long a missing tray is waited for
    std::function<bool()> m_trayAvailable;
};
