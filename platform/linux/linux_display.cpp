// EnumDisplayMonitors on Linux: the display is read on a worker under a deadline, and the
// callbacks are made afterwards, on the caller's thread, from what was read.
#include <stdlib.h>

#include "linux_exchange.h"
#include "wayland_display.h"
#include "x11_display.h"

namespace {

// Wayland's own view where a compositor can be reached; X11's otherwise, never a mix of both.
void ReadDisplay(Exchange* exchange)
{
    if (!WaylandExchange(exchange)) {
        X11Exchange(exchange);
    }
}

}  // namespace

BOOL EnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC lpfnEnum, LPARAM dwData)
{
    MonitorList list = RunExchange(ReadDisplay);
    ReportMonitors(&list, lpfnEnum, dwData);
    const BOOL read = list.monitors != nullptr ? TRUE : FALSE;
    free(list.monitors);
    return read;
}
