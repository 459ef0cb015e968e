// EnumDisplayMonitors and GetMonitorInfoW over the RandR 1.5 monitor list, through XCB.
#include <stdlib.h>

#include <memory>

#include "x11_connection.h"
#include "x11_monitors.h"

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

// Reads the monitors and their names. Requests that do not depend on each other go out together,
// so a run costs the same round trips for one monitor or many.
bool QueryMonitors(xcb_connection_t* connection, int screen, X11MonitorList* list)
{
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
    const xcb_window_t root = RootOf(connection, screen);
    if (randr == nullptr || !randr->present || root == XCB_WINDOW_NONE) {
        return false;
    }
    const auto version_cookie = xcb_randr_query_version(connection, 1, 5);
    const auto monitors_cookie = xcb_randr_get_monitors(connection, root, 1);
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(connection, version_cookie, nullptr));
    Reply<xcb_randr_get_monitors_reply_t> monitors(
        xcb_randr_get_monitors_reply(connection, monitors_cookie, nullptr));
    if (!version || version->major_version != 1 || version->minor_version < 5 || !monitors) {
        return false;
    }
    if (!X11ReadMonitors(monitors.get(), X11ReplySize(monitors.get()), list)) {
        return false;
    }

    Reply<xcb_get_atom_name_cookie_t> cookies(
        static_cast<xcb_get_atom_name_cookie_t*>(calloc(list->count + 1, sizeof(xcb_get_atom_name_cookie_t))));
    if (!cookies) {
        return false;
    }
    for (size_t i = 0; i < list->count; ++i) {
        cookies.get()[i] = xcb_get_atom_name(connection, list->monitors[i].name);
    }
    for (size_t i = 0; i < list->count; ++i) {
        Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(connection, cookies.get()[i], nullptr));
        X11SetMonitorName(&list->monitors[i], name.get(), name ? X11ReplySize(name.get()) : 0);
    }
    return true;
}

}  // namespace

BOOL EnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC lpfnEnum, LPARAM dwData)
{
    X11MonitorList list = {};
    int screen = 0;
    bool read = false;
    if (xcb_connection_t* connection = X11Connect(&screen)) {
        read = QueryMonitors(connection, screen, &list);
        X11Disconnect(connection);
    }
    // The server is done with before the first callback: the report is written from what was read.
    X11ReportMonitors(&list, lpfnEnum, dwData);
    free(list.monitors);
    return read ? TRUE : FALSE;
}
