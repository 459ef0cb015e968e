// The backend's XCB calls under libxcb's own names, made through the table loaded at run time.
#pragma once

#include "x11_client.h"

#define xcb_connect x11_client.xcb_connect
#define xcb_connection_has_error x11_client.xcb_connection_has_error
#define xcb_disconnect x11_client.xcb_disconnect
#define xcb_get_setup x11_client.xcb_get_setup
#define xcb_setup_roots_iterator x11_client.xcb_setup_roots_iterator
#define xcb_screen_next x11_client.xcb_screen_next
#define xcb_get_extension_data x11_client.xcb_get_extension_data
#define xcb_get_atom_name x11_client.xcb_get_atom_name
#define xcb_get_atom_name_reply x11_client.xcb_get_atom_name_reply
#define xcb_randr_id (*x11_client.xcb_randr_id)
#define xcb_randr_query_version x11_client.xcb_randr_query_version
#define xcb_randr_query_version_reply x11_client.xcb_randr_query_version_reply
#define xcb_randr_get_monitors x11_client.xcb_randr_get_monitors
#define xcb_randr_get_monitors_reply x11_client.xcb_randr_get_monitors_reply
#define xcb_xinerama_id (*x11_client.xcb_xinerama_id)
#define xcb_xinerama_is_active x11_client.xcb_xinerama_is_active
#define xcb_xinerama_is_active_reply x11_client.xcb_xinerama_is_active_reply
#define xcb_xinerama_query_screens x11_client.xcb_xinerama_query_screens
#define xcb_xinerama_query_screens_reply x11_client.xcb_xinerama_query_screens_reply
