// Waiting for a compositor under the exchange's deadline.
#pragma once

#include <wayland-client-core.h>

#include "linux_exchange.h"

// A round trip: true once the compositor has answered; false when it has failed or gone, or the
// exchange has been given up meanwhile.
bool WaylandRoundtrip(wl_display* display, Exchange* exchange);
