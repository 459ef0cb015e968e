// The monitor records of the Linux layer, and GetMonitorInfoW over them.
#include "linux_monitors.h"

#include <string.h>

namespace {

// The record whose callback is running.
const MONITORINFOEXW* current_monitor = nullptr;

bool IsControl(WCHAR c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

}  // namespace

void SetDeviceName(MONITORINFOEXW* info, const WCHAR* text, size_t length)
{
    memset(info->szDevice, 0, sizeof info->szDevice);
    if (length > CCHDEVICENAME - 1) {
        length = CCHDEVICENAME - 1;
    }
    for (size_t i = 0; i < length; ++i) {
        info->szDevice[i] = IsControl(text[i]) ? L'?' : text[i];
    }
}

void ReportMonitors(const MonitorList* list, MONITORENUMPROC proc, LPARAM data)
{
    for (size_t i = 0; i < list->count; ++i) {
        current_monitor = &list->monitors[i];
        RECT rect = current_monitor->rcMonitor;
        const BOOL go_on = proc(reinterpret_cast<HMONITOR>(&list->monitors[i]), nullptr, &rect, data);
        current_monitor = nullptr;
        if (!go_on) {
            break;
        }
    }
}

BOOL GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi)
{
    const MONITORINFOEXW* monitor = reinterpret_cast<const MONITORINFOEXW*>(hMonitor);
    if (monitor == nullptr || monitor != current_monitor || lpmi == nullptr) {
        return FALSE;
    }
    if (lpmi->cbSize != sizeof(MONITORINFO) && lpmi->cbSize != sizeof(MONITORINFOEXW)) {
        return FALSE;
    }
    lpmi->rcMonitor = monitor->rcMonitor;
    lpmi->rcWork = monitor->rcWork;
    lpmi->dwFlags = monitor->dwFlags;
    if (lpmi->cbSize == sizeof(MONITORINFOEXW)) {
        memcpy(static_cast<MONITORINFOEXW*>(lpmi)->szDevice, monitor->szDevice, sizeof monitor->szDevice);
    }
    return TRUE;
}
