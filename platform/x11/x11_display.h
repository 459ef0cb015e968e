// The X11 backend of the Linux layer: the RandR 1.5 active monitors of the X server named by
// DISPLAY, read through XCB; on a server without RandR 1.5, its Xinerama heads or its screen.
#pragma once

#include "linux_exchange.h"

// Loads libxcb (LoadX11Client), connects as libxcb does and publishes the monitors, then their
// names, stage by stage. Returns false where libxcb will not load; otherwise true, since a
// display that cannot be reached lists nothing.
bool X11Exchange(Exchange* exchange, void* context);
