// The X11 backend: RandR 1.5's active monitors through XCB. libxcb makes the connection, so
// every DISPLAY form, authority file and fallback it knows works here as in xrandr.
#include "x11_display.h"

#include <stdlib.h>

#include <memory>

#include "x11_calls.h"
#include "x11_replies.h"

namespace {

struct FreeReply {
    void operator()(void* reply) const { free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// The screen that DISPLAY names (the 1 of ":0.1"); null where the server has no such screen.
// libxcb refuses such a DISPLAY itself where it has that check (XCB_CONN_CLOSED_INVALID_SCREEN);
// the package accepts any libxcb1, and one without it would hand over a number past the list.
const xcb_screen_t* ScreenOf(xcb_connection_t* connection, int screen)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; it.rem > 0 && screen > 0; --screen) {
        xcb_screen_next(&it);
    }
    return it.rem > 0 ? it.data : nullptr;
}

// Xinerama's heads where it is active; an empty list where it is not, or cannot be asked.
MonitorList XineramaHeads(xcb_connection_t* connection, Exchange* exchange)
{
    MonitorList heads = {};
    if (!LoadX11Xinerama()) {
        return heads;
    }
    const xcb_query_extension_reply_t* xinerama = xcb_get_extension_data(connection, &xcb_xinerama_id);
    if (xinerama == nullptr || !xinerama->present || !ExchangeProgress(exchange)) {
        return heads;
    }
    Reply<xcb_xinerama_is_active_reply_t> active(
        xcb_xinerama_is_active_reply(connection, xcb_xinerama_is_active(connection), nullptr));
    if (!active || !active->state || !ExchangeProgress(exchange)) {
        return heads;
    }
    Reply<xcb_xinerama_query_screens_reply_t> screens(
        xcb_xinerama_query_screens_reply(connection, xcb_xinerama_query_screens(connection), nullptr));
    if (screens) {
        X11ReadHeads(screens.get(), X11ReplySize(screens.get()), &heads);
    }
    return heads;
}

// A server without RandR 1.5 (Xnest, an Xvfb without RandR) has no monitors to ask for. Windows
// (Wine) lists one per Xinerama head there, or else the screen; so do we. Such a server names
// none and marks none primary.
void PublishScreens(xcb_connection_t* connection, const xcb_screen_t* screen, Exchange* exchange)
{
    MonitorList heads = XineramaHeads(connection, exchange);
    // A server that has gone meanwhile has shown no screen.
    if (heads.count == 0 && !xcb_connection_has_error(connection)) {
        free(heads.monitors);
        heads.monitors = static_cast<MONITORINFOEXW*>(calloc(1, sizeof(MONITORINFOEXW)));
        if (heads.monitors != nullptr) {
            MONITORINFOEXW& info = heads.monitors[heads.count++];
            info.cbSize = sizeof info;
            info.rcMonitor = RECT{0, 0, screen->width_in_pixels, screen->height_in_pixels};
            info.rcWork = info.rcMonitor;
        }
    }
    if (heads.count > 0) {
        ExchangePublish(exchange, heads.monitors, heads.count);
    }
    free(heads.monitors);
}

// Asks for every name before reading any, so that a run costs the same round trips for one
// monitor or many.
void PublishNames(xcb_connection_t* connection, X11Monitors* monitors, Exchange* exchange)
{
    const size_t count = monitors->list.count;
    Reply<xcb_get_atom_name_cookie_t> cookies(
        static_cast<xcb_get_atom_name_cookie_t*>(calloc(count + 1, sizeof(xcb_get_atom_name_cookie_t))));
    if (!cookies) {
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        cookies.get()[i] = xcb_get_atom_name(connection, monitors->names[i]);
    }
    for (size_t i = 0; i < count; ++i) {
        Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(connection, cookies.get()[i], nullptr));
        MONITORINFOEXW& monitor = monitors->list.monitors[i];
        X11SetMonitorName(&monitor, name.get(), name ? X11ReplySize(name.get()) : 0);
        if (!ExchangeUpdate(exchange, i, monitor)) {
            return;
        }
    }
}

// The version and the monitors are asked for together: one round trip.
void QueryMonitors(xcb_connection_t* connection, int screen_number, Exchange* exchange)
{
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
    const xcb_screen_t* screen = ScreenOf(connection, screen_number);
    if (xcb_connection_has_error(connection) || screen == nullptr || !ExchangeProgress(exchange)) {
        return;
    }
    if (randr == nullptr || !randr->present) {
        PublishScreens(connection, screen, exchange);
        return;
    }
    const auto version_cookie = xcb_randr_query_version(connection, 1, 5);
    // Active monitors only, as Windows lists the monitors of the desktop.
    const auto monitors_cookie = xcb_randr_get_monitors(connection, screen->root, 1);
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(connection, version_cookie, nullptr));
    Reply<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(connection, monitors_cookie, nullptr));
    if (!version || version->major_version != 1 || version->minor_version < 5 || !reply) {
        // An older RandR refuses GetMonitors; a server that has gone has nothing to show.
        if (!xcb_connection_has_error(connection) && ExchangeProgress(exchange)) {
            PublishScreens(connection, screen, exchange);
        }
        return;
    }
    X11Monitors monitors;
    if (X11ReadMonitors(reply.get(), X11ReplySize(reply.get()), &monitors) &&
        ExchangePublish(exchange, monitors.list.monitors, monitors.list.count)) {
        PublishNames(connection, &monitors, exchange);
    }
    X11FreeMonitors(&monitors);
}

}  // namespace

bool X11Exchange(Exchange* exchange, void*)
{
    if (!LoadX11Client()) {
        return false;
    }
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screen);
    if (!xcb_connection_has_error(connection) && ExchangeProgress(exchange)) {
        QueryMonitors(connection, screen, exchange);
    }
    xcb_disconnect(connection);
    return true;
}
