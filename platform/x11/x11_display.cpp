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

xcb_window_t RootOf(xcb_connection_t* connection, int screen)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; it.rem > 0 && screen > 0; --screen) {
        xcb_screen_next(&it);
    }
    return it.rem > 0 ? it.data->root : xcb_window_t{XCB_WINDOW_NONE};
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
void QueryMonitors(xcb_connection_t* connection, int screen, Exchange* exchange)
{
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
    const xcb_window_t root = RootOf(connection, screen);
    if (randr == nullptr || !randr->present || root == XCB_WINDOW_NONE || !ExchangeProgress(exchange)) {
        return;
    }
    const auto version_cookie = xcb_randr_query_version(connection, 1, 5);
    // Active monitors only, as Windows lists the monitors of the desktop.
    const auto monitors_cookie = xcb_randr_get_monitors(connection, root, 1);
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(connection, version_cookie, nullptr));
    Reply<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(connection, monitors_cookie, nullptr));
    if (!version || version->major_version != 1 || version->minor_version < 5 || !reply) {
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

bool X11Exchange(Exchange* exchange)
{
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screen);
    if (!xcb_connection_has_error(connection) && ExchangeProgress(exchange)) {
        QueryMonitors(connection, screen, exchange);
    }
    xcb_disconnect(connection);
    return true;
}
