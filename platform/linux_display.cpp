// EnumDisplayMonitors on Linux: chooses the backend that the environment names, above the
// backends. The display is read under a deadline, and the callbacks are made afterwards, on the
// caller's thread, from what was read. Only that display's client libraries are loaded, each in
// the process that calls it: libwayland here, libxcb in the X11 exchange's child. One that will not
// load is the program's own error, said here on its standard error and in its status.
// (libxcb-xinerama and libdbus, whose absence only costs what they would add, are loaded quietly
// in the child that needs them.)
#include <errno.h>
#include <limits.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>

#include "drm_display.h"
#include "linux_descriptors.h"
#include "linux_exchange.h"
#include "linux_libraries.h"
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

bool IsConnectedUnixStream(long fd)
{
    int domain = 0, type = 0;
    socklen_t domain_size = sizeof domain, type_size = sizeof type;
    sockaddr_storage peer;
    socklen_t peer_size = sizeof peer;
    return getsockopt(int(fd), SOL_SOCKET, SO_DOMAIN, &domain, &domain_size) == 0 && domain == AF_UNIX &&
           getsockopt(int(fd), SOL_SOCKET, SO_TYPE, &type, &type_size) == 0 && type == SOCK_STREAM &&
           getpeername(int(fd), reinterpret_cast<sockaddr*>(&peer), &peer_size) == 0;
}

// libwayland takes its connection from WAYLAND_SOCKET, a descriptor that a compositor hands to a
// client it starts, before it looks at WAYLAND_DISPLAY. Only a connected Unix stream socket other
// than the standard descriptors can be that: any other value is stray, and is dropped for this run
// so that WAYLAND_DISPLAY decides. Standard output is never taken for a compositor.
bool WaylandSocketHandedOver()
{
    const char* value = getenv("WAYLAND_SOCKET");
    if (value == nullptr) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long fd = strtol(value, &end, 10);
    const bool handed_over =
        errno == 0 && end != value && *end == '\0' && fd > 2 && fd <= INT_MAX && IsConnectedUnixStream(fd);
    if (!handed_over) {
        unsetenv("WAYLAND_SOCKET");
    }
    return handed_over;
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

// Wayland's own view where a compositor can be reached; X11's otherwise, never a mix of both. A
// library that will not load is an error, never a reason to read the other display.
ExchangeResult ReadDisplay()
{
    ExchangeResult result = {};
    const bool wayland_named = WaylandSocketHandedOver() || IsSet("WAYLAND_DISPLAY");
    if (wayland_named) {
        if (!LoadWaylandClient()) {
            return result;
        }
        // libwayland lets every wait be bounded, connecting included: no child is needed.
        result = RunExchange(WaylandExchange, nullptr);
    }
    if (!result.reached && IsSet("DISPLAY")) {
        free(result.list.monitors);
        // xcb_connect can wait without end, even in connect(2), where nothing can wake it.
        result = RunExchangeInChild(X11Exchange, nullptr, nullptr);
    }
    // No display server named (a text console): the kernel's connectors. A named one decides
    // alone, even when it cannot be reached.
    if (!wayland_named && !IsSet("DISPLAY")) {
        result = DrmConnectedMonitors();
    }
    return result;
}

}  // namespace

BOOL EnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC lpfnEnum, LPARAM dwData)
{
    HoldClosedStandardDescriptors();
    ExchangeResult result = ReadDisplay();
    // Said here, in the program, whichever process met it: the display has been read by now, and
    // standard error is the program's again.
    if (const char* failure = LibraryFailure()) {
        fputs(failure, stderr);
    }
    WriteInUtf8(result.list);
    ReportMonitors(&result.list, lpfnEnum, dwData);
    free(result.list.monitors);
    return result.reached ? TRUE : FALSE;
}
