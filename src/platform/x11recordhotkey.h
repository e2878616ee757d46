#pragma once

#include "desktop/globalhotkey.h"

#include <QSet>
#include <cstdint>

class QSocketNotifier;
struct xcb_connection_t;

// Ctrl+Shift+T under X11, seen through the RECORD extension: a connection of our own records
// every key press and release on the display, so the keys still reach the focused window and
// nothing is grabbed. One press of T while Control and Shift are down is one activation; the
// repeats of a held T are not.
class X11RecordHotkey : public GlobalHotkey
{
    Q_OBJECT

public:
    explicit X11RecordHotkey(QObject *parent = nullptr);
    ~X11RecordHotkey() override;

    bool install() override;
    void remove() override;
    bool isInstalled() const override { return m_data != nullptr; }

    // Feeds one recorded key event; public so that tests can drive the key logic.
    void keyEvent(bool press, std::uint8_t keycode, std::uint32_t time);

    // The key codes of the combination; filled from the display's keyboard mapping.
    void setKeycodes(const QSet<std::uint8_t> &control, const QSet<std::uint8_t> &shift,
                     const QSet<std::uint8_t> &t);

private:
    void readReplies();
    bool loadKeycodes();

    xcb_connection_t *m_control = nullptr;
    xcb_connection_t *m_data = nullptr;
    std::uint32_t m_context = 0;
    unsigned int m_sequence = 0;
    QSocketNotifier *m_notifier = nullptr;

    QSet<std::uint8_t> m_controlKeys, m_shiftKeys, m_tKeys;
    QSet<std::uint8_t> m_down;
    std::uint32_t m_lastTRelease = 0;
    bool m_tReleasedOnce = false;
};
