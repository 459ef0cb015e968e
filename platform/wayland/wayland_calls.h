// The backend's libwayland-client calls under the library's own names, made through the table
// loaded at run time. Included before any other Wayland header: the protocol headers' inline
// requests then call through the table too.
#pragma once

#include "wayland_client.h"

#define wl_display_connect wayland_client.wl_display_connect
#define wl_display_disconnect wayland_client.wl_display_disconnect
#define wl_display_roundtrip wayland_client.wl_display_roundtrip
#define wl_log_set_handler_client wayland_client.wl_log_set_handler_client
#define wl_proxy_add_listener wayland_client.wl_proxy_add_listener
#define wl_proxy_destroy wayland_client.wl_proxy_destroy
#define wl_proxy_get_version wayland_client.wl_proxy_get_version
#define wl_proxy_marshal_flags wayland_client.wl_proxy_marshal_flags

#include <wayland-client-protocol.h>
