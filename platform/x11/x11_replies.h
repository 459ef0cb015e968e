// Monitor records from the X server's RandR replies, checked against the bytes the server really
// sent. Needs no server, so that the fuzzer can drive it with replies of any shape.
#pragma once

#include <stddef.h>
#include <xcb/randr.h>
#include <xcb/xinerama.h>
#include <xcb/xproto.h>

#include "linux_monitors.h"

struct X11Monitors {
    MonitorList list;
    xcb_atom_t* names;  // each monitor's name atom; malloc'd, as list.monitors
};

// The size in bytes of an XCB reply, from its length field.
size_t X11ReplySize(const void* reply);

// One record per monitor of a GetMonitors reply of `size` bytes, in the server's order, with its
// rectangle, its name atom and the primary flag on the first monitor marked primary only.
// A reply cut short keeps the monitors that are whole. Returns false when no list could be made.
bool X11ReadMonitors(const xcb_randr_get_monitors_reply_t* reply, size_t size, X11Monitors* monitors);

// Sets the record's device name from a GetAtomName reply of `size` bytes (null: no name).
void X11SetMonitorName(MONITORINFOEXW* monitor, const xcb_get_atom_name_reply_t* reply, size_t size);

// One record per head of a Xinerama QueryScreens reply of `size` bytes, in the server's order:
// unnamed, none primary. A reply cut short keeps the heads that are whole. Returns false when no
// list could be made.
bool X11ReadHeads(const xcb_xinerama_query_screens_reply_t* reply, size_t size, MonitorList* heads);

void X11FreeMonitors(X11Monitors* monitors);
