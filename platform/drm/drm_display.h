// The kernel's display connectors, for a console where no display server is named. They are read
// from sysfs, which anyone may read, where opening /dev/dri/card* needs rights.
#pragma once

#include "linux_exchange.h"

// The connectors of /sys/class/drm with a monitor connected and lit, writeback ones left out: by
// card number, then by connector_id where the kernel gives one (those without come after), then
// by name in version order (DP-2 before DP-10). Every line says false: the kernel has no primary.
// Reached when the directory could be read; without it, an empty list.
ExchangeResult DrmConnectedMonitors();
