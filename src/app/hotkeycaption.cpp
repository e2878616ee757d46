#include "app/hotkeycaption.h"

#include "core/dialogs.h"
#include "core/errorreport.h"
#include "settings/settingsstore.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTimer>

namespace {

// The command any desktop can bind to a key.
const QString ToggleCommand = QStringLiteral("trovanel --toggle");

// A trigger in the window's shape: its modifiers in the order Ctrl, Shift, Alt, Super, each
// by that name, then the key, joined by " + ". The desktop's spelling varies: "CTRL+SHIFT+t"
// (the shortcuts XDG form), "Shift+Ctrl+T", "<Control><Shift>t".
QString triggerShape(QString trigger)
{
    trigger.replace(QRegularExpression(QStringLiteral("<([^>]*)>")), QStringLiteral("\\1+"));
    static const std::pair<const char *, const char *> modifiers[] = {
        {"ctrl", "Ctrl"},  {"control", "Ctrl"}, {"primary", "Ctrl"}, {"shift", "Shift"},
        {"alt", "Alt"},    {"mod1", "Alt"},     {"super", "Super"},  {"logo", "Super"},
        {"meta", "Super"}, {"mod4", "Super"},
    };
    QStringList held;
    QString key;
    const QStringList parts = trigger.split(QLatin1Char('+'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString part = parts[i].trimmed();
        // "Ctrl++": the key is the plus sign itself.
        if (part.isEmpty()) {
            if (i == parts.size() - 1 && i > 0 && key.isEmpty())
                key = QStringLiteral("+");
            continue;
        }
        const auto modifier
            = std::find_if(std::begin(modifiers), std::end(modifiers), [&](const auto &m) {
                  return part.compare(QLatin1String(m.first), Qt::CaseInsensitive) == 0;
              });
        if (modifier != std::end(modifiers) && i + 1 < parts.size())
            held << QString::fromLatin1(modifier->second);
        else
            key = part.left(1).toUpper() + part.mid(1);
    }
    QStringList shape;
    for (const char *name : {"Ctrl", "Shift", "Alt", "Super"})
        if (held.contains(QLatin1String(name)))
            shape << QString::fromLatin1(name);
    shape << key;
    return shape.join(QStringLiteral(" + "));
}

} // namespace

HotkeyCaption::HotkeyCaption(QLabel *label, Dialogs *dialogs, Settings::Store &settings,
                             QObject *parent)
    : QObject(parent), m_label(label), m_dialogs(dialogs), m_settings(settings)
{ }

void HotkeyCaption::showTrigger(const QString &trigger)
{
    const bool bound = !trigger.trimmed().isEmpty();
    const QString caption = bound
        ? QStringLiteral("Turn On (Press %1 to toggle ON/OFF)").arg(triggerShape(trigger))
        : QStringLiteral("Turn On (Bind %1 to a key in your keyboard settings to toggle ON/OFF)")
              .arg(ToggleCommand);
    m_label->setText(caption);
    m_label->setAccessibleName(caption);
    m_label->setAccessibleDescription(
        bound ? QStringLiteral("The key turns logging on or off from any window.")
              : QStringLiteral("This desktop binds no key to the switch; the command %1 "
                               "turns logging on or off from a shortcut of your own.")
                    .arg(ToggleCommand));
    if (!bound)
        // Not from inside the desktop's answer: the message waits for the user.
        QTimer::singleShot(0, this, &HotkeyCaption::adviseOnce);
}

void HotkeyCaption::adviseOnce()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("ShortcutAdvice"));
    steps.step(100, [&] {
        if (m_settings.value(SettingKeys::ShortcutAdvice))
            return;
        // Remembered before it is shown: where the store cannot be written, that is what the
        // user hears of, and the message waits for a start that can remember it.
        m_settings.setValue(SettingKeys::ShortcutAdvice, true);
        m_dialogs->inform(
            QStringLiteral(
                "No key turns logging on or off on this desktop yet. To have one, bind a key to "
                "the command\n\n    %1\n\nin your desktop's keyboard settings:\n\n"
                "GNOME: Settings → Keyboard → Keyboard Shortcuts → Custom Shortcuts\n"
                "Plasma: System Settings → Shortcuts → Add Command\n"
                "Other desktops: the compositor's configuration (sway: bindsym Ctrl+Shift+t "
                "exec %1)")
                .arg(ToggleCommand));
    });
}
