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
    // toggle: what the key combination does (the switch's click).
    explicit modKeyboard(std::function<void()> toggle, QObject *parent = nullptr);
    ~modKeyboard() override;

    // Starts listening; false where the desktop offers no way (the program runs without it).
    bool HookKeyboard();
    void UnhookKeyboard();
    bool isHooked() const;

    // Replaces the desktop's listener (tests).
    void setBackend(std::unique_ptr<GlobalHotkey> backend);

private:
    std::function<void()> m_toggle;
    std::unique_ptr<GlobalHotkey> m_backend;
};
