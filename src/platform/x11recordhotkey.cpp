#include "platform/x11recordhotkey.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdlib>
#include <xcb/record.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace {

constexpr std::uint32_t KeysymShiftL = 0xffe1, KeysymShiftR = 0xffe2;
constexpr std::uint32_t KeysymControlL = 0xffe3, KeysymControlR = 0xffe4;
constexpr std::uint32_t KeysymLowerT = 0x74, KeysymUpperT = 0x54;
// The category of a recorded reply that carries events from the server.
constexpr std::uint8_t RecordFromServer = 0;

} // namespace

X11RecordHotkey::X11RecordHotkey(QObject *parent) : GlobalHotkey(parent) { }

X11RecordHotkey::~X11RecordHotkey()
{
    remove();
}

void X11RecordHotkey::setKeycodes(const QSet<std::uint8_t> &control,
                                  const QSet<std::uint8_t> &shift, const QSet<std::uint8_t> &t)
{
    m_controlKeys = control;
    m_shiftKeys = shift;
    m_tKeys = t;
}

bool X11RecordHotkey::install()
{
    if (m_data)
        return true;
    // Only an X11 session has the extension; under Wayland the program goes without.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;

    m_control = xcb_connect(nullptr, nullptr);
    m_data = xcb_connect(nullptr, nullptr);
    auto fail = [this] {
        remove();
        return false;
    };
    if (xcb_connection_has_error(m_control) || xcb_connection_has_error(m_data))
        return fail();
    const xcb_query_extension_reply_t *extension
        = xcb_get_extension_data(m_control, &xcb_record_id);
    if (!extension || !extension->present)
        return fail();
    if (!loadKeycodes())
        return fail();

    m_context = xcb_generate_id(m_control);
    xcb_record_range_t range {};
    range.device_events.first = XCB_KEY_PRESS;
    range.device_events.last = XCB_KEY_RELEASE;
    xcb_record_client_spec_t clients = XCB_RECORD_CS_ALL_CLIENTS;
    xcb_generic_error_t *error = xcb_request_check(
        m_control,
        xcb_record_create_context_checked(m_control, m_context, 0, 1, 1, &clients, &range));
    if (error) {
        std::free(error);
        m_context = 0;
        return fail();
    }

    m_sequence = xcb_record_enable_context(m_data, m_context).sequence;
    xcb_flush(m_data);
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_data), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11RecordHotkey::readReplies);
    // The combination is fixed under X11: the one the program listens for.
    setTrigger(QStringLiteral("Ctrl+Shift+T"));
    return true;
}

void X11RecordHotkey::remove()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_control && m_context) {
        xcb_record_disable_context(m_control, m_context);
        xcb_record_free_context(m_control, m_context);
        xcb_flush(m_control);
    }
    m_context = 0;
    if (m_data)
        xcb_disconnect(m_data);
    if (m_control)
        xcb_disconnect(m_control);
    m_data = nullptr;
    m_control = nullptr;
    m_down.clear();
}

bool X11RecordHotkey::loadKeycodes()
{
    const xcb_setup_t *setup = xcb_get_setup(m_control);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t *mapping = xcb_get_keyboard_mapping_reply(
        m_control, xcb_get_keyboard_mapping(m_control, setup->min_keycode, count), nullptr);
    if (!mapping)
        return false;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(mapping);
    const int perCode = mapping->keysyms_per_keycode;
    QSet<std::uint8_t> control, shift, t;
    for (int i = 0; i < count; ++i) {
        for (int j = 0; j < perCode; ++j) {
            const xcb_keysym_t sym = syms[i * perCode + j];
            const auto code = std::uint8_t(first + i);
            if (sym == KeysymControlL || sym == KeysymControlR)
                control.insert(code);
            else if (sym == KeysymShiftL || sym == KeysymShiftR)
                shift.insert(code);
            else if ((sym == KeysymLowerT || sym == KeysymUpperT) && j < 2)
                t.insert(code);
        }
    }
    std::free(mapping);
    setKeycodes(control, shift, t);
    return !control.isEmpty() && !shift.isEmpty() && !t.isEmpty();
}

void X11RecordHotkey::readReplies()
{
    if (!m_data)
        return;
    if (xcb_connection_has_error(m_data)) {
        // The display went away; nothing more will come.
        remove();
        return;
    }
    void *reply = nullptr;
    xcb_generic_error_t *error = nullptr;
    while (m_data && xcb_poll_for_reply(m_data, m_sequence, &reply, &error)) {
        if (error) {
            std::free(error);
            error = nullptr;
        }
        if (!reply)
            break;
        auto *record = static_cast<xcb_record_enable_context_reply_t *>(reply);
        if (record->category == RecordFromServer) {
            const std::uint8_t *data = xcb_record_enable_context_data(record);
            const int length = xcb_record_enable_context_data_length(record);
            // Each recorded device event is one 32-byte core event.
            for (int offset = 0; offset + 32 <= length; offset += 32) {
                const auto *event = reinterpret_cast<const xcb_key_press_event_t *>(data + offset);
                const std::uint8_t type = event->response_type & 0x7f;
                if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)
                    keyEvent(type == XCB_KEY_PRESS, event->detail, event->time);
            }
        }
        std::free(reply);
        reply = nullptr;
    }
}

void X11RecordHotkey::keyEvent(bool press, std::uint8_t keycode, std::uint32_t time)
{
    if (!press) {
        m_down.remove(keycode);
        if (m_tKeys.contains(keycode)) {
            m_lastTRelease = time;
            m_tReleasedOnce = true;
        }
        return;
    }
    const bool alreadyDown = m_down.contains(keycode);
    m_down.insert(keycode);
    if (!m_tKeys.contains(keycode) || alreadyDown)
        return;
    // A held key repeats as a release and a press with the same time: not a new press.
    if (m_tReleasedOnce && time == m_lastTRelease)
        return;
    const bool control = std::any_of(m_controlKeys.begin(), m_controlKeys.end(),
                                     [this](std::uint8_t k) { return m_down.contains(k); });
    const bool shift = std::any_of(m_shiftKeys.begin(), m_shiftKeys.end(),
                                   [this](std::uint8_t k) { return m_down.contains(k); });
    if (control && shift)
        Q_EMIT activated();
}
