// Monitor records built from the X server's RandR replies, and the callbacks over them. Needs no
// server, so that the fuzzer can drive it with replies of any shape.
#pragma once

#include <stddef.h>
#include <xcb/randr.h>
#include <xcb/xproto.h>

#include "win32_display.h"

struct X11Monitor {
    xcb_atom_t name;
    MONITORINFOEXW info;
};

struct X11MonitorList {
    X11Monitor* monitors;  // malloc'd; the caller frees it
    size_t count;
};

// The size in bytes of an XCB reply, from its length field.
size_t X11ReplySize(const void* reply);

// One record per monitor of a GetMonitors reply of `size` bytes, in the server's order, with its
// rectangle, its name atom and the primary flag on the first monitor marked primary only.
// A reply cut short keeps the monitors that are whole. Returns false when no list could be made.
bool X11ReadMonitors(const xcb_randr_get_monitors_reply_t* reply, size_t size, X11MonitorList* list);

// Sets the record's device name from a GetAtomName reply of `size` bytes (null: no name).
void X11SetMonitorName(X11Monitor* monitor, const xcb_get_atom_name_reply_t* reply, size_t size);

// Calls `proc` for each record in order, until it returns FALSE. Each handle is valid for
// GetMonitorInfoW during its own callback only.
void X11ReportMonitors(const X11MonitorList* list, MONITORENUMPROC proc, LPARAM data);
