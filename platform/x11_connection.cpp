// The connection to the X server named by DISPLAY.
#include "x11_connection.h"

xcb_connection_t* X11Connect(int* screen)
{
    xcb_connection_t* connection = xcb_connect(nullptr, screen);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return connection;
}

void X11Disconnect(xcb_connection_t* connection)
{
    xcb_disconnect(connection);
}
