#pragma once

#include <QObject>
#include <functional>
#include <memory>

class GlobalHotkey;

// Ctrl+Shift+T from anywhere toggles logging on and off.
class modKeyboard : public QObject
{
    Q_OBJECT

public:
    // toggle: what the key combination does (the switch's click); backend: the desktop's
    // listener, none where there is no way to listen.
    modKeyboard(std::function<void()> toggle, std::unique_ptr<GlobalHotkey> backend,
                QObject *parent = nullptr);
    ~modKeyboard() override;

    // Starts listening; false where the desktop offers no way (the program runs without it).
    bool HookKeyboard();
    void UnhookKeyboard();

    // Replaces the desktop's listener (tests).
    void setBackend(std::unique_ptr<GlobalHotkey> backend);

Q_SIGNALS:
    // What the desktop bound to the toggle (empty: nothing works), once it is known: when the
    // listener answers, or at once when it cannot listen at all.
    void triggerChanged(const QString &trigger);

private:
    std::function<void()> m_toggle;
    std::unique_ptr<GlobalHotkey> m_backend;
};
