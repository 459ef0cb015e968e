// Fuzzes the X11 layer's handling of server replies: a GetMonitors reply and GetAtomName replies
// of any shape become records and callbacks, and every callback must see a sound record.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "x11_replies.h"

namespace {

// The input, read front to back: a 16-bit length and that many bytes of GetMonitors reply, then
// for each monitor a flag byte (bit 0: the name reply exists, bit 1: the callback stops the
// enumeration), a 16-bit length and that many bytes of GetAtomName reply.
struct Input {
    const uint8_t* data;
    size_t left;

    size_t Number(size_t bytes)
    {
        size_t value = 0;
        for (size_t i = 0; i < bytes && left > 0; ++i, ++data, --left) {
            value |= size_t{*data} << (8 * i);
        }
        return value;
    }
    // A copy of exactly the bytes taken, so that any read past them is caught.
    uint8_t* Bytes(size_t* size)
    {
        *size = *size < left ? *size : left;
        uint8_t* copy = static_cast<uint8_t*>(malloc(*size ? *size : 1));
        memcpy(copy, data, *size);
        data += *size;
        left -= *size;
        return copy;
    }
};

struct Seen {
    const uint8_t* stops;
    size_t calls;
    size_t primaries;
    HMONITOR last;
};

void Require(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

BOOL CALLBACK Check(HMONITOR monitor, HDC, LPRECT rect, LPARAM data)
{
    Seen& seen = *reinterpret_cast<Seen*>(data);
    Require(rect != nullptr);

    MONITORINFOEXW info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    Require(GetMonitorInfoW(monitor, &info) == TRUE);
    Require(info.cbSize == sizeof info);
    size_t length = 0;
    while (length < CCHDEVICENAME && info.szDevice[length] != 0) {
        const WCHAR c = info.szDevice[length++];
        Require(c >= 0x20 && !(c >= 0x7F && c < 0xA0) && c <= 0x10FFFF && !(c >= 0xD800 && c < 0xE000));
    }
    Require(length < CCHDEVICENAME);
    seen.primaries += (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    Require(seen.primaries <= 1);

    MONITORINFO plain = {};
    plain.cbSize = sizeof plain;
    Require(GetMonitorInfoW(monitor, &plain) == TRUE && plain.cbSize == sizeof plain);
    plain.cbSize = 7;
    Require(GetMonitorInfoW(monitor, &plain) == FALSE);

    seen.last = monitor;
    return (seen.stops[seen.calls++] & 2) ? FALSE : TRUE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input = {data, size};
    size_t reply_size = input.Number(2);
    uint8_t* reply = input.Bytes(&reply_size);

    X11Monitors monitors;
    X11ReadMonitors(reinterpret_cast<xcb_randr_get_monitors_reply_t*>(reply), reply_size, &monitors);
    const MonitorList& list = monitors.list;
    Require(list.count <= reply_size / sizeof(xcb_randr_monitor_info_t));

    uint8_t* flags = static_cast<uint8_t*>(calloc(list.count + 1, 1));
    for (size_t i = 0; i < list.count; ++i) {
        flags[i] = static_cast<uint8_t>(input.Number(1));
        size_t name_size = input.Number(2);
        uint8_t* name = input.Bytes(&name_size);
        X11SetMonitorName(&list.monitors[i],
                          (flags[i] & 1) ? reinterpret_cast<xcb_get_atom_name_reply_t*>(name) : nullptr, name_size);
        free(name);
    }

    Seen seen = {flags, 0, 0, nullptr};
    ReportMonitors(&list, Check, reinterpret_cast<LPARAM>(&seen));
    Require(seen.calls <= list.count);
    if (seen.last != nullptr) {
        // A handle is no longer valid once its callback has returned.
        MONITORINFOEXW info = {};
        info.cbSize = sizeof info;
        Require(GetMonitorInfoW(seen.last, &info) == FALSE);
    }

    free(flags);
    X11FreeMonitors(&monitors);
    free(reply);
    return 0;
}
