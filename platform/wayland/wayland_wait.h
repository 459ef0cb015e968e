// Connecting to a compositor and waiting for it under the exchange's deadline.
#pragma once

#include <wayland-client-core.h>

#include "linux_exchange.h"

// Connects to the compositor that WAYLAND_SOCKET hands over or WAYLAND_DISPLAY names, waiting no
// longer than the exchange allows; null where it cannot. `*reached` says whether a compositor was
// there (one whose queue of connections stayed full was, though it was given up).
wl_display* WaylandConnect(Exchange* exchange, bool* reached);

// A round trip: true once the compositor has answered; false when it has failed or gone, or the
// exchange's time is gone with its answer not come.
bool WaylandRoundtrip(wl_display* display, Exchange* exchange);
