// The Wayland backend of the Linux layer: the compositor's outputs, with their connector names,
// and the primary where the compositor itself says which.
#pragma once

#include "linux_exchange.h"

// Connects to the compositor that WAYLAND_DISPLAY names and publishes its outputs; the calls are
// those of LoadWaylandClient. Its waits for the compositor and mutter's D-Bus query are bounded
// by ExchangeWaitMs; connecting and libdbus's own start are bounded only by the exchange's child
// being killed. Returns false, having published nothing, when no compositor could be reached.
bool WaylandExchange(Exchange* exchange);
