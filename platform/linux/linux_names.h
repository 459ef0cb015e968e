// Device names from the bytes a display gives (UTF-8, as X atom names and Wayland names are).
// Needs no display, so that the fuzzers can drive it.
#pragma once

#include "linux_monitors.h"

// Decodes `length` bytes of `utf8` (null: no name) into the record's device name: its first 31
// characters, a control character as '?', and a byte that starts no valid character as U+FFFD.
void SetDeviceNameFromUtf8(MONITORINFOEXW* monitor, const char* utf8, size_t length);
