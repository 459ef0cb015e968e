// The X11 backend of the Linux layer: the RandR 1.5 active monitors of the X server named by
// DISPLAY, read through XCB.
#pragma once

#include "linux_exchange.h"

// Connects as libxcb does and publishes the monitors, then their names, stage by stage. The
// entry of the X11 module; returns true.
extern "C" bool X11Exchange(Exchange* exchange);
