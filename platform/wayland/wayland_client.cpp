// The libwayland-client calls of the Wayland backend, loaded from the system's library. The core
// protocol's interface descriptions are the program's own, generated from wayland.xml, so that
// nothing but these calls is taken from the library.
#include "wayland_client.h"

#include "linux_libraries.h"

WaylandClient wayland_client;

bool LoadWaylandClient()
{
    const char* const name = "libwayland-client.so.0";
    void* const library = OpenLibrary(name);
#define WAYLAND_LOAD(call) LoadCall(library, name, #call, &wayland_client.call)&&
    return library != nullptr && WAYLAND_CLIENT_CALLS(WAYLAND_LOAD) true;
#undef WAYLAND_LOAD
}
