// The libwayland-client calls of the Wayland backend, from the system's library, loaded when a
// Wayland display is read. Each entry keeps the type of libwayland's own declaration.
#pragma once

#include <wayland-client-core.h>

// clang-format off
#define WAYLAND_CLIENT_CALLS(CALL)     \
    CALL(wl_display_connect)           \
    CALL(wl_display_connect_to_fd)     \
    CALL(wl_display_disconnect)        \
    CALL(wl_display_get_fd)            \
    CALL(wl_display_flush)             \
    CALL(wl_display_prepare_read)      \
    CALL(wl_display_cancel_read)       \
    CALL(wl_display_read_events)       \
    CALL(wl_display_dispatch_pending)  \
    CALL(wl_log_set_handler_client)    \
    CALL(wl_proxy_add_listener)        \
    CALL(wl_proxy_destroy)             \
    CALL(wl_proxy_get_version)         \
    CALL(wl_proxy_marshal_flags)
// clang-format on

struct WaylandClient {
#define WAYLAND_MEMBER(name) decltype(&::name) name;
    WAYLAND_CLIENT_CALLS(WAYLAND_MEMBER)
#undef WAYLAND_MEMBER
};

extern WaylandClient wayland_client;

// Loads libwayland-client.so.0 into wayland_client; false, having said why on standard error,
// when it cannot be loaded.
bool LoadWaylandClient();
