#pragma once

#include <QObject>

// A key combination that works from anywhere on the desktop, whichever window has the focus.
// The backend depends on the display system; it never takes the keys from the focused window.
class GlobalHotkey : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts listening; false when this desktop offers no way to (the program then runs
    // without the hotkey).
    virtual bool install() = 0;
    virtual void remove() = 0;
    virtual bool isInstalled() const = 0;

Q_SIGNALS:
    void activated();
};
