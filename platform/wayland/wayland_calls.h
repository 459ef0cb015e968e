// The backend's libwayland-client calls under the library's own names, made through the table
// loaded at run time. Included before any other Wayland header: the protocol headers' inline
// requests then call through the table too.
#pragma once

#include "wayland_client.h"

#define wl_display_connect wayland_client.wl_display_connect
#define wl_display_connect_to_fd wayland_client.wl_display_connect_to_fd
#define wl_display_disconnect wayland_client.wl_display_disconnect
#define wl_display_get_fd wayland_client.wl_display_get_fd
#define wl_display_flush wayland_client.wl_display_flush
#define wl_display_prepare_read wayland_client.wl_display_prepare_read
#define wl_display_cancel_read wayland_client.wl_display_cancel_read
#define wl_display_read_events wayland_client.wl_display_read_events
#define wl_display_dispatch_pending wayland_client.wl_display_dispatch_pending
#define wl_log_set_handler_client wayland_client.wl_log_set_handler_client
#define wl_proxy_add_listener wayland_client.wl_proxy_add_listener
#define wl_proxy_destroy wayland_client.wl_proxy_destroy
#define wl_proxy_get_version wayland_client.wl_proxy_get_version
#define wl_proxy_marshal_flags wayland_client.wl_proxy_marshal_flags

#include <wayland-client-protocol.h>
