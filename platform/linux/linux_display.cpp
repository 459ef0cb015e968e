// EnumDisplayMonitors on Linux: the display is read on a worker under a deadline, and the
// callbacks are made afterwards, on the caller's thread, from what was read.
#include <stdlib.h>

#include "linux_exchange.h"
#include "x11_display.h"

BOOL EnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC lpfnEnum, LPARAM dwData)
{
    MonitorList list = RunExchange(X11Exchange);
    ReportMonitors(&list, lpfnEnum, dwData);
    const BOOL read = list.monitors != nullptr ? TRUE : FALSE;
    free(list.monitors);
    return read;
}
