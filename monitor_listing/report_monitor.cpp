// One report line per display monitor.
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "report_monitor.h"

BOOL CALLBACK ReportMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM)
{
    MONITORINFOEXW info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);

    // %ls and %hs mean a wide and an 8-bit string under glibc and under both printf modes of
    // the Windows runtime; a plain %s does not.
    wprintf(L"%ls\t%hs\n", info.szDevice, (info.dwFlags & MONITORINFOF_PRIMARY) ? "true" : "false");
    return TRUE;
}
