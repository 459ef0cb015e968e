// The monitor records of the Linux layer, whichever display they came from, and the callbacks
// over them. Needs no display, so that the fuzzers can drive it.
#pragma once

#include <stddef.h>

#include "win32_display.h"

struct MonitorList {
    MONITORINFOEXW* monitors;  // malloc'd; the owner frees it
    size_t count;
};

// Sets the record's device name from `length` characters: the first 31 of them, each control
// character written as '?', so that every monitor gives one line with one tab.
void SetDeviceName(MONITORINFOEXW* info, const WCHAR* text, size_t length);

// Calls `proc` for each record in order, until it returns FALSE. Each handle is valid for
// GetMonitorInfoW during its own callback only.
void ReportMonitors(const MonitorList* list, MONITORENUMPROC proc, LPARAM data);
