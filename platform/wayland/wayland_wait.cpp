// Connecting to a compositor and waiting for it under the exchange's deadline. libwayland's own
// connect and round trip would wait without end for one that stops answering, or whose queue of
// connections is full; it lets a client make the connection and wait with a time limit instead.
#include "wayland_wait.h"

#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "wayland_calls.h"  // before any protocol header: its requests go through the table

namespace {

// The compositor's socket as libwayland finds it, and as its documentation says: WAYLAND_DISPLAY
// itself where it is an absolute path, or else that name in XDG_RUNTIME_DIR, which must be one.
// False where there is none, or the path is too long for a socket.
bool SocketAddress(sockaddr_un* address)
{
    const char* name = getenv("WAYLAND_DISPLAY");
    const char* folder = getenv("XDG_RUNTIME_DIR");
    if (name == nullptr || (name[0] != '/' && (folder == nullptr || folder[0] != '/'))) {
        return false;
    }
    address->sun_family = AF_UNIX;
    const size_t room = sizeof address->sun_path;
    const int length = name[0] == '/' ? snprintf(address->sun_path, room, "%s", name)
                                      : snprintf(address->sun_path, room, "%s/%s", folder, name);
    return length >= 0 && size_t(length) < room;
}

void OnDone(void* data, wl_callback*, uint32_t)
{
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener kDoneListener = {OnDone};

// Waits until the compositor's socket is ready for `events`, as long as the exchange allows.
bool WaitFor(wl_display* display, short events, Exchange* exchange)
{
    pollfd socket = {wl_display_get_fd(display), events, 0};
    int ready;
    while ((ready = poll(&socket, 1, ExchangeWaitMs(exchange))) < 0 && errno == EINTR) {
    }
    return ready > 0;
}

// Reads and dispatches what the compositor has sent, waiting at most as long as the exchange
// allows; false when the compositor has failed or gone, or the time is gone with nothing come.
bool Dispatch(wl_display* display, Exchange* exchange)
{
    if (wl_display_prepare_read(display) != 0) {
        return wl_display_dispatch_pending(display) >= 0;
    }
    int flushed;
    while ((flushed = wl_display_flush(display)) < 0 && errno == EAGAIN && WaitFor(display, POLLOUT, exchange)) {
    }
    // A compositor gone may have left events to read.
    if ((flushed < 0 && errno != EPIPE) || !WaitFor(display, POLLIN, exchange)) {
        wl_display_cancel_read(display);
        return false;
    }
    return wl_display_read_events(display) >= 0 && wl_display_dispatch_pending(display) >= 0;
}

}  // namespace

wl_display* WaylandConnect(Exchange* exchange, bool* reached)
{
    // A connection handed over is taken as libwayland takes it.
    if (getenv("WAYLAND_SOCKET") != nullptr) {
        wl_display* display = wl_display_connect(nullptr);
        *reached = display != nullptr;
        return display;
    }
    sockaddr_un address = {};
    const int fd = SocketAddress(&address) ? socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0) : -1;
    *reached = false;
    // connect(2) does not wait on a non-blocking socket: while the compositor's queue of connections
    // is full (it is stopped, or swamped), it is tried again until the time is gone.
    for (int pause = 1; fd >= 0; pause = pause < 64 ? 2 * pause : pause) {
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            *reached = true;
            return wl_display_connect_to_fd(fd);  // closes it where it fails
        }
        const bool full = errno == EAGAIN;
        *reached = full;
        const int left = full ? ExchangeWaitMs(exchange) : 0;
        if (left == 0) {
            break;
        }
        poll(nullptr, 0, pause < left ? pause : left);
    }
    if (fd >= 0) {
        close(fd);
    }
    return nullptr;
}

bool WaylandRoundtrip(wl_display* display, Exchange* exchange)
{
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &kDoneListener, &done);
    bool go_on = true;
    while (go_on && !done) {
        go_on = Dispatch(display, exchange);
    }
    wl_callback_destroy(callback);
    return done;
}
