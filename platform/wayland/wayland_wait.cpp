// Waiting for a compositor under the exchange's deadline. libwayland's own round trip would wait
// without end for one that stops answering; it lets a client wait with a time limit instead.
#include "wayland_wait.h"

#include <errno.h>
#include <poll.h>

#include "wayland_calls.h"  // before any protocol header: its requests go through the table

namespace {

void OnDone(void* data, wl_callback*, uint32_t)
{
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener kDoneListener = {OnDone};

// Reads and dispatches what the compositor has sent, waiting at most as long as the exchange
// allows; false when the compositor has failed or gone, or the exchange is given up.
bool Dispatch(wl_display* display, Exchange* exchange)
{
    if (wl_display_prepare_read(display) != 0) {
        return wl_display_dispatch_pending(display) >= 0;
    }
    pollfd socket = {wl_display_get_fd(display), POLLIN, 0};
    int ready;
    while ((ready = wl_display_flush(display)) < 0 && errno == EAGAIN) {
        socket.events = POLLOUT;
        if (poll(&socket, 1, ExchangeWaitMs(exchange)) <= 0) {
            break;
        }
    }
    socket.events = POLLIN;
    if (ready >= 0 || errno == EPIPE) {  // a compositor gone may have left events to read
        while ((ready = poll(&socket, 1, ExchangeWaitMs(exchange))) < 0 && errno == EINTR) {
        }
    }
    if (ready <= 0) {
        wl_display_cancel_read(display);
        return false;
    }
    return wl_display_read_events(display) >= 0 && wl_display_dispatch_pending(display) >= 0;
}

}  // namespace

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
