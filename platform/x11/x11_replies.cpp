// Monitor records from RandR replies, checked against the bytes the server really sent.
#include "x11_replies.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "linux_names.h"

size_t X11ReplySize(const void* reply)
{
    // Every reply is 32 bytes, then `length` units of 4 bytes.
    return 32 + size_t{static_cast<const xcb_generic_reply_t*>(reply)->length} * 4;
}

bool X11ReadMonitors(const xcb_randr_get_monitors_reply_t* reply, size_t size, X11Monitors* monitors)
{
    *monitors = {};
    if (reply == nullptr || size < sizeof *reply) {
        return false;
    }

    // The server's monitor count is only a claim: never trust it beyond the bytes received.
    const size_t room = (size - sizeof *reply) / sizeof(xcb_randr_monitor_info_t);
    const size_t claimed = reply->nMonitors < room ? reply->nMonitors : room;
    MonitorList& list = monitors->list;
    list.monitors = static_cast<MONITORINFOEXW*>(calloc(claimed ? claimed : 1, sizeof(MONITORINFOEXW)));
    monitors->names = static_cast<xcb_atom_t*>(calloc(claimed ? claimed : 1, sizeof(xcb_atom_t)));
    if (list.monitors == nullptr || monitors->names == nullptr) {
        X11FreeMonitors(monitors);
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

        monitors->names[list.count] = found.name;
        MONITORINFOEXW& info = list.monitors[list.count++];
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

void X11SetMonitorName(MONITORINFOEXW* monitor, const xcb_get_atom_name_reply_t* reply, size_t size)
{
    // Atom names are bytes; xrandr --setmonitor stores a name as typed, so UTF-8 in practice.
    size_t length = 0;
    const char* text = nullptr;
    if (reply != nullptr && size >= sizeof *reply) {
        length = reply->name_len;
        if (length > size - sizeof *reply) {
            length = size - sizeof *reply;
        }
        text = reinterpret_cast<const char*>(reply + 1);
    }
    SetDeviceNameFromUtf8(monitor, text, length);
}

bool X11ReadHeads(const xcb_xinerama_query_screens_reply_t* reply, size_t size, MonitorList* heads)
{
    *heads = {};
    if (reply == nullptr || size < sizeof *reply) {
        return false;
    }
    const size_t room = (size - sizeof *reply) / sizeof(xcb_xinerama_screen_info_t);
    const size_t count = reply->number < room ? reply->number : room;
    heads->monitors = static_cast<MONITORINFOEXW*>(calloc(count ? count : 1, sizeof(MONITORINFOEXW)));
    if (heads->monitors == nullptr) {
        return false;
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(reply + 1);
    for (; heads->count < count; ++heads->count) {
        xcb_xinerama_screen_info_t head;
        memcpy(&head, bytes + heads->count * sizeof head, sizeof head);
        MONITORINFOEXW& info = heads->monitors[heads->count];
        info.cbSize = sizeof info;
        info.rcMonitor = RECT{head.x_org, head.y_org, head.x_org + head.width, head.y_org + head.height};
        info.rcWork = info.rcMonitor;
    }
    return true;
}

void X11FreeMonitors(X11Monitors* monitors)
{
    free(monitors->list.monitors);
    free(monitors->names);
    *monitors = {};
}
