// The XCB calls of the X11 backend, from the system's libxcb and libxcb-randr, loaded when an X
// display is read. Each entry keeps the type of libxcb's own declaration.
#pragma once

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xinerama.h>

// clang-format off
#define X11_XCB_CALLS(CALL)            \
    CALL(xcb_connect)                  \
    CALL(xcb_connection_has_error)     \
    CALL(xcb_disconnect)               \
    CALL(xcb_get_setup)                \
    CALL(xcb_setup_roots_iterator)     \
    CALL(xcb_screen_next)              \
    CALL(xcb_get_extension_data)       \
    CALL(xcb_get_atom_name)            \
    CALL(xcb_get_atom_name_reply)
#define X11_RANDR_CALLS(CALL)          \
    CALL(xcb_randr_id)                 \
    CALL(xcb_randr_query_version)      \
    CALL(xcb_randr_query_version_reply) \
    CALL(xcb_randr_get_monitors)       \
    CALL(xcb_randr_get_monitors_reply)
#define X11_XINERAMA_CALLS(CALL)       \
    CALL(xcb_xinerama_id)              \
    CALL(xcb_xinerama_is_active)       \
    CALL(xcb_xinerama_is_active_reply) \
    CALL(xcb_xinerama_query_screens)   \
    CALL(xcb_xinerama_query_screens_reply)
// clang-format on

struct X11Client {
#define X11_MEMBER(name) decltype(&::name) name;
    X11_XCB_CALLS(X11_MEMBER)
    X11_RANDR_CALLS(X11_MEMBER)
    X11_XINERAMA_CALLS(X11_MEMBER)
#undef X11_MEMBER
};

extern X11Client x11_client;

// Loads libxcb.so.1 and libxcb-randr.so.0 into x11_client; false, having said which and why on
// standard error, when either cannot be loaded.
bool LoadX11Client();

// Loads libxcb-xinerama.so.0 into x11_client, for a server without RandR 1.5 only; false when it
// cannot be loaded. Quietly: without it, such a server's screen is listed whole.
bool LoadX11Xinerama();
