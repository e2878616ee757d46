// Starts a program and prints "PID MILLISECONDS": the time until the window manager shows the
// first window of that process. It follows the window manager's list of windows over one
// display connection instead of starting a tool again and again, so the waiting takes next to
// no processor time from the program under test.
// Usage: first_window PROGRAM [ARGS...]   (the program is left running)
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <set>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name),
                              nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The window's _NET_WM_PID, or 0.
pid_t windowPid(xcb_connection_t *c, xcb_window_t window, xcb_atom_t pidAtom)
{
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1),
                               nullptr),
        &std::free);
    if (!reply || xcb_get_property_value_length(reply.get()) < 4)
        return 0;
    return pid_t(*static_cast<std::uint32_t *>(xcb_get_property_value(reply.get())));
}

bool viewable(xcb_connection_t *c, xcb_window_t window)
{
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> reply(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr),
        &std::free);
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "first_window: no X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t clientList = atom(c, "_NET_CLIENT_LIST");
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");
    const std::uint32_t rootMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_flush(c);

    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        // The program's output would hold up whoever reads ours until the program ends.
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    if (pid < 0)
        return 1;

    // The window manager lists each window it takes on; the program's windows are then checked
    // every half millisecond until one is viewable (its frame mapped too). Until then this
    // waits for the display's events without asking it anything.
    std::set<xcb_window_t> watched;
    auto lookAtClients = [&] {
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(
                c, xcb_get_property(c, 0, root, clientList, XCB_ATOM_WINDOW, 0, 4096), nullptr),
            &std::free);
        if (!reply)
            return;
        const auto *windows = static_cast<xcb_window_t *>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        for (int i = 0; i < count; ++i) {
            if (!watched.count(windows[i]) && windowPid(c, windows[i], pidAtom) == pid)
                watched.insert(windows[i]);
        }
    };

    lookAtClients();
    while (Clock::now() - start < std::chrono::seconds(30)) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const auto *e = reinterpret_cast<xcb_property_notify_event_t *>(event);
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY && e->window == root
                && e->atom == clientList)
                lookAtClients();
            std::free(event);
        }
        for (const xcb_window_t window : watched) {
            if (viewable(c, window)) {
                const auto ms
                    = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                std::printf("%d %.1f\n", int(pid), ms);
                return 0;
            }
        }
        if (xcb_connection_has_error(c))
            break;
        if (watched.empty()) {
            // Nothing to look at yet: sleep until the display has news, so that the display
            // server is free to serve the program.
            pollfd display {xcb_get_file_descriptor(c), POLLIN, 0};
            poll(&display, 1, 100);
        } else {
            usleep(500);
        }
    }
    std::fprintf(stderr, "first_window: no window shown within 30 s\n");
    return 1;
}
