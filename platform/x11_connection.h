// The connection to the X server named by DISPLAY.
#pragma once

#include <xcb/xcb.h>

// Connects to the display, or returns null; prints nothing. `screen` gets the screen number.
xcb_connection_t* X11Connect(int* screen);

void X11Disconnect(xcb_connection_t* connection);
