// Output names as the compositor sends them (UTF-8), made device names. Needs no compositor, so
// that the fuzzer can drive it.
#pragma once

#include "linux_monitors.h"

// Decodes `utf8` (null: no name) into the record's device name: its first 31 characters, a
// control character as '?', and a byte that starts no valid character as U+FFFD.
void WaylandSetMonitorName(MONITORINFOEXW* monitor, const char* utf8);
