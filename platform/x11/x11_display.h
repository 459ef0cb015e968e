// The X11 backend of the Linux layer: the RandR 1.5 active monitors of the X server named by
// DISPLAY, read through XCB; on a server without RandR 1.5, its Xinerama heads or its screen.
#pragma once

#include "linux_exchange.h"

// Connects as libxcb does and publishes the monitors, then their names, stage by stage; the
// calls are those of LoadX11Client. Returns true: a display that cannot be reached lists nothing.
bool X11Exchange(Exchange* exchange, void* context);
