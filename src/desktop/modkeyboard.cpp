#include "desktop/modkeyboard.h"

#include "desktop/globalhotkey.h"

modKeyboard::modKeyboard(std::function<void()> toggle, std::unique_ptr<GlobalHotkey> backend,
                         QObject *parent)
    : QObject(parent), m_toggle(std::move(toggle))
{
    setBackend(std::move(backend));
}

modKeyboard::~modKeyboard()
{
    UnhookKeyboard();
}

void modKeyboard::setBackend(std::unique_ptr<GlobalHotkey> backend)
{
    UnhookKeyboard();
    m_backend = std::move(backend);
    if (!m_backend)
        return;
    // Run from the event loop, not from inside the listener's reading of the display.
    connect(
        m_backend.get(), &GlobalHotkey::activated, this, [this] { m_toggle(); },
        Qt::QueuedConnection);
    connect(m_backend.get(), &GlobalHotkey::triggerChanged, this, &modKeyboard::triggerChanged);
}

bool modKeyboard::HookKeyboard()
{
    if (!m_backend)
        return false;
    if (m_backend->install())
        return true;
    // A display system the program knows, with no way to listen: nothing works by key.
    Q_EMIT triggerChanged(QString());
    return false;
}

void modKeyboard::UnhookKeyboard()
{
    if (m_backend)
        m_backend->remove();
}
