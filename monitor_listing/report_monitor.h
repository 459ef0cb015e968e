// The per-monitor procedure that the display enumeration calls.
#pragma once

#include "win32_display.h"

// Writes the monitor's report line: device name, tab, "true" or "false".
BOOL CALLBACK ReportMonitor(HMONITOR monitor, HDC hdc, LPRECT rect, LPARAM data);
