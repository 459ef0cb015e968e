// EnumDisplayMonitors on Linux: the display that the environment names is read under a deadline,
// and the callbacks are made afterwards, on the caller's thread, from what was read. Only that
// display's client libraries are loaded, on this thread before any worker starts, since mapping
// memory costs more once a second thread may run on another CPU.
#include <locale.h>
#include <stdlib.h>

#include "drm_display.h"
#include "linux_exchange.h"
#include "wayland_client.h"
#include "wayland_display.h"
#include "x11_client.h"
#include "x11_display.h"

namespace {

bool IsSet(const char* variable)
{
    const char* value = getenv(variable);
    return value != nullptr && value[0] != '\0';
}

// The names are written as the display gives them, in UTF-8, whatever the locale says. An ASCII
// report is the same in every locale, so the locale is loaded only for a name beyond ASCII.
void WriteInUtf8(const MonitorList& list)
{
    for (size_t i = 0; i < list.count; ++i) {
        for (const WCHAR* c = list.monitors[i].szDevice; *c != 0; ++c) {
            if (*c > 0x7F) {
                setlocale(LC_CTYPE, "C.UTF-8");
                return;
            }
        }
    }
}

}  // namespace

BOOL EnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC lpfnEnum, LPARAM dwData)
{
    // Wayland's own view where a compositor can be reached; X11's otherwise, never a mix of
    // both. A library that will not load is an error, never a reason to read the other display.
    ExchangeResult result = {};
    if (IsSet("WAYLAND_DISPLAY")) {
        if (!LoadWaylandClient()) {
            return FALSE;
        }
        // libwayland waits with a time limit, so a Wayland display needs no worker.
        result = RunExchangeHere(WaylandExchange);
    }
    if (!result.reached && IsSet("DISPLAY")) {
        if (!LoadX11Client()) {
            return FALSE;
        }
        // xcb_connect can wait without end, even in connect(2), where nothing can wake it.
        result = RunExchange(X11Exchange);
    }
    // No display server named (a text console): the kernel's connectors. A named one decides
    // alone, even when it cannot be reached.
    if (!IsSet("WAYLAND_DISPLAY") && !IsSet("DISPLAY")) {
        result = DrmConnectedMonitors();
    }
    WriteInUtf8(result.list);
    ReportMonitors(&result.list, lpfnEnum, dwData);
    free(result.list.monitors);
    return result.reached ? TRUE : FALSE;
}
