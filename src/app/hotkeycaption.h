#pragma once

#include <QObject>
#include <QString>

class Dialogs;
class QLabel;
namespace Settings {
class Store;
}

// The caption beside the switch promises only a key that works. It names the trigger the
// desktop bound, in the window's own shape ("Ctrl + Shift + T", whichever way the desktop
// spells it); where nothing is bound, it names the command a desktop shortcut can run instead,
// and the first time ever a message says where to bind it.
class HotkeyCaption : public QObject
{
    Q_OBJECT

public:
    // settings: where the message once shown is remembered.
    HotkeyCaption(QLabel *label, Dialogs *dialogs, Settings::Store &settings,
                  QObject *parent = nullptr);

    // What the desktop bound; empty: nothing.
    void showTrigger(const QString &trigger);

private:
    void adviseOnce();

    QLabel *m_label;
    Dialogs *m_dialogs;
    Settings::Store &m_settings;
};
