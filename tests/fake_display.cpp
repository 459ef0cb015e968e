// A scripted stand-in for the two display calls, for the cases a real server cannot produce.
// FAKE_MONITORS holds one monitor per line, "FLAGS|NAME": FLAGS is the dwFlags value in hex,
// or "fail" for a monitor whose GetMonitorInfoW fails and leaves the record as it was, or
// "pause" for one reported after a second's pause.
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "win32_display.h"

namespace {

struct FakeMonitor {
    bool fails;
    DWORD flags;
    const char* name;
    size_t name_length;
};

bool IsZeroFilled(const MONITORINFOEXW& info)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&info);
    for (size_t i = sizeof info.cbSize; i < sizeof info; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

BOOL EnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC lpfnEnum, LPARAM dwData)
{
    const char* script = getenv("FAKE_MONITORS");
    for (const char* line = script; line != nullptr && *line != '\0';) {
        const char* end = strchr(line, '\n');
        const size_t length = end ? size_t(end - line) : strlen(line);
        const char* bar = static_cast<const char*>(memchr(line, '|', length));
        FakeMonitor monitor = {};
        monitor.fails = strncmp(line, "fail", 4) == 0;
        if (strncmp(line, "pause", 5) == 0) {
            sleep(1);
        }
        monitor.flags = monitor.fails ? 0 : DWORD(strtoul(line, nullptr, 16));
        monitor.name = bar ? bar + 1 : line + length;
        monitor.name_length = bar ? size_t(line + length - bar - 1) : 0;

        RECT rect = {0, 0, 1024, 768};
        if (!lpfnEnum(reinterpret_cast<HMONITOR>(&monitor), nullptr, &rect, dwData)) {
            return TRUE;
        }
        line = end ? end + 1 : line + length;
    }
    return TRUE;
}

BOOL GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi)
{
    const FakeMonitor* monitor = reinterpret_cast<const FakeMonitor*>(hMonitor);
    if (monitor->fails || lpmi->cbSize != sizeof(MONITORINFOEXW)) {
        return FALSE;
    }
    MONITORINFOEXW* info = static_cast<MONITORINFOEXW*>(lpmi);
    // A caller that skipped the zero fill would print stale bytes where a query fails.
    const char* name = IsZeroFilled(*info) ? monitor->name : "record-not-zero-filled";
    const size_t length = IsZeroFilled(*info) ? monitor->name_length : strlen(name);
    for (size_t i = 0; i < length && i < CCHDEVICENAME - 1; ++i) {
        info->szDevice[i] = static_cast<unsigned char>(name[i]);
    }
    info->dwFlags = monitor->flags;
    return TRUE;
}
