// The primary monitor of GNOME's mutter, which says it only on D-Bus (DisplayConfig), not in
// a Wayland protocol.
#pragma once

#include <dbus/dbus.h>
#include <stddef.h>

// The libdbus calls that read a reply, so that the reading can be driven by a library loaded at
// run time or linked in (the fuzzer).
struct DBusReading {
    dbus_bool_t (*iter_init)(DBusMessage*, DBusMessageIter*);
    int (*get_arg_type)(DBusMessageIter*);
    void (*recurse)(DBusMessageIter*, DBusMessageIter*);
    dbus_bool_t (*next)(DBusMessageIter*);
    void (*get_basic)(DBusMessageIter*, void*);
};

// The connector (e.g. "DP-1") of the first monitor of the primary logical monitor in a
// GetCurrentState reply, malloc'd; null when the reply has none, or is of another shape.
char* MutterPrimaryFromReply(const DBusReading& dbus, DBusMessage* reply);

// Asks mutter on the session bus, waiting at most `timeout_ms`. libdbus is loaded for this
// call only, so that other desktops never load it. Null when there is no answer.
char* MutterPrimaryConnector(int timeout_ms);
