// The Wayland backend of the Linux layer: the compositor's outputs, with their connector names,
// and the primary where the compositor itself says which.
#pragma once

#include "linux_exchange.h"

// Connects to the compositor that WAYLAND_SOCKET hands over or WAYLAND_DISPLAY names and publishes
// its outputs; the calls are those of LoadWaylandClient. Every wait for the compositor is bounded
// by ExchangeWaitMs, so it runs on the calling thread; mutter's D-Bus query runs in a child of its
// own. Returns false, having published nothing, when no compositor could be reached.
bool WaylandExchange(Exchange* exchange, void* context);
