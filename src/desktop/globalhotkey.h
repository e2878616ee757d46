#pragma once

#include <QObject>
#include <QString>

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

    // What the desktop has bound, in its own words ("Ctrl+Shift+T", "Shift+Ctrl+T"); empty
    // while nothing is bound. A desktop may bind another key than the one asked for, or none.
    QString trigger() const { return m_trigger; }

Q_SIGNALS:
    void activated();
    // The desktop told what is bound: a new trigger, or its first answer, even when that is
    // none, so that whoever waits for the answer hears it.
    void triggerChanged(const QString &trigger);

protected:
    void setTrigger(const QString &trigger)
    {
        if (m_answered && trigger == m_trigger)
            return;
        m_answered = true;
        m_trigger = trigger;
        Q_EMIT triggerChanged(trigger);
    }

private:
    QString m_trigger;
    bool m_answered = false;
};
