// The XCB calls of the X11 backend, loaded from the system's libraries.
#include "x11_client.h"

#include "linux_libraries.h"

X11Client x11_client;

bool LoadX11Client()
{
    const char* const xcb_name = "libxcb.so.1";
    const char* const randr_name = "libxcb-randr.so.0";
    void* const xcb = OpenLibrary(xcb_name);
    void* const randr = xcb != nullptr ? OpenLibrary(randr_name) : nullptr;
    if (randr == nullptr) {
        return false;
    }
#define X11_LOAD_XCB(name) LoadCall(xcb, xcb_name, #name, &x11_client.name)&&
#define X11_LOAD_RANDR(name) LoadCall(randr, randr_name, #name, &x11_client.name)&&
    return X11_XCB_CALLS(X11_LOAD_XCB) X11_RANDR_CALLS(X11_LOAD_RANDR) true;
#undef X11_LOAD_XCB
#undef X11_LOAD_RANDR
}

bool LoadX11Xinerama()
{
    // Bound now, as the others are; never closed.
    void* const xinerama = dlopen("libxcb-xinerama.so.0", RTLD_NOW | RTLD_LOCAL);
    bool loaded = xinerama != nullptr;
#define X11_LOAD_XINERAMA(name) \
    loaded =                    \
        loaded && (x11_client.name = reinterpret_cast<decltype(x11_client.name)>(dlsym(xinerama, #name)));
    X11_XINERAMA_CALLS(X11_LOAD_XINERAMA)
#undef X11_LOAD_XINERAMA
    return loaded;
}
