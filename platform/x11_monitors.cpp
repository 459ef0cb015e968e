// Monitor records from RandR replies, checked against the bytes the server really sent, and
// GetMonitorInfoW over them.
#include "x11_monitors.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

// The record whose callback is running.
const X11Monitor* current_monitor = nullptr;

}  // namespace

size_t X11ReplySize(const void* reply)
{
    // Every reply is 32 bytes, then `length` units of 4 bytes.
    return 32 + size_t{static_cast<const xcb_generic_reply_t*>(reply)->length} * 4;
}

bool X11ReadMonitors(const xcb_randr_get_monitors_reply_t* reply, size_t size, X11MonitorList* list)
{
    list->monitors = nullptr;
    list->count = 0;
    if (reply == nullptr || size < sizeof *reply) {
        return false;
    }

    // The server's monitor count is only a claim: never trust it beyond the bytes received.
    const size_t room = (size - sizeof *reply) / sizeof(xcb_randr_monitor_info_t);
    const size_t claimed = reply->nMonitors < room ? reply->nMonitors : room;
    list->monitors = static_cast<X11Monitor*>(calloc(claimed ? claimed : 1, sizeof(X11Monitor)));
    if (list->monitors == nullptr) {
        return false;
    }

    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(reply);
    size_t offset = sizeof *reply;
    bool primary_seen = false;
    for (size_t i = 0; i < claimed && size - offset >= sizeof(xcb_randr_monitor_info_t); ++i) {
        xcb_randr_monitor_info_t found;
        memcpy(&found, bytes + offset, sizeof found);
        const size_t outputs = size_t{found.nOutput} * sizeof(xcb_randr_output_t);
        if (size - offset - sizeof found < outputs) {
            break;
        }
        offset += sizeof found + outputs;

        X11Monitor& monitor = list->monitors[list->count++];
        monitor.name = found.name;
        MONITORINFOEXW& info = monitor.info;
        info.cbSize = sizeof info;
        info.rcMonitor = RECT{found.x, found.y, found.x + found.width, found.y + found.height};
        info.rcWork = info.rcMonitor;
        // A primary output and a primary user-defined monitor can both carry the bit.
        if (found.primary && !primary_seen) {
            info.dwFlags = MONITORINFOF_PRIMARY;
            primary_seen = true;
        }
    }
    return true;
}

void X11SetMonitorName(X11Monitor* monitor, const xcb_get_atom_name_reply_t* reply, size_t size)
{
    WCHAR* name = monitor->info.szDevice;
    memset(name, 0, sizeof monitor->info.szDevice);
    if (reply == nullptr || size < sizeof *reply) {
        return;
    }
    size_t length = reply->name_len;
    if (length > size - sizeof *reply) {
        length = size - sizeof *reply;
    }
    if (length > CCHDEVICENAME - 1) {
        length = CCHDEVICENAME - 1;
    }

    // Atom names are Latin-1. A control character would break the one-line, one-tab shape of
    // the report, and any client can create such names.
    const uint8_t* text = reinterpret_cast<const uint8_t*>(reply + 1);
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = text[i];
        name[i] = (byte < 0x20 || byte == 0x7F) ? L'?' : static_cast<WCHAR>(byte);
    }
}

void X11ReportMonitors(const X11MonitorList* list, MONITORENUMPROC proc, LPARAM data)
{
    for (size_t i = 0; i < list->count; ++i) {
        current_monitor = &list->monitors[i];
        RECT rect = current_monitor->info.rcMonitor;
        const BOOL go_on = proc(reinterpret_cast<HMONITOR>(&list->monitors[i]), nullptr, &rect, data);
        current_monitor = nullptr;
        if (!go_on) {
            break;
        }
    }
}
BOOL GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi)
{
    const X11Monitor* monitor = reinterpret_cast<const X11Monitor*>(hMonitor);
    if (monitor == nullptr || monitor != current_monitor || lpmi == nullptr) {
        return FALSE;
    }
    if (lpmi->cbSize != sizeof(MONITORINFO) && lpmi->cbSize != sizeof(MONITORINFOEXW)) {
        return FALSE;
    }
    lpmi->rcMonitor = monitor->info.rcMonitor;
    lpmi->rcWork = monitor->info.rcWork;
    lpmi->dwFlags = monitor->info.dwFlags;
    if (lpmi->cbSize == sizeof(MONITORINFOEXW)) {
        memcpy(static_cast<MONITORINFOEXW*>(lpmi)->szDevice, monitor->info.szDevice, sizeof monitor->info.szDevice);
    }
    return TRUE;
}
