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
    if (m_backend)
        // Run from the event loop, not from inside the listener's reading of the display.
        connect(
            m_backend.get(), &GlobalHotkey::activated, this, [this] { m_toggle(); },
            Qt::QueuedConnection);
}

bool modKeyboard::HookKeyboard()
{
    return m_backend && m_backend->install();
}

void modKeyboard::UnhookKeyboard()
{
    if (m_backend)
        m_backend->remove();
}
