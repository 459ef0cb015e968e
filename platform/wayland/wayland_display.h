// The Wayland backend of the Linux layer: the compositor's outputs, with their connector names,
// and the primary where the compositor itself says which.
#pragma once

#include "linux_exchange.h"

// Connects to the compositor that WAYLAND_DISPLAY names and publishes its outputs; the calls are
// those of LoadWaylandClient. Every wait is bounded by ExchangeWaitMs, so it runs on the calling
// thread (RunExchangeHere); mutter's D-Bus query goes to a worker. Returns false, having published
// nothing, when no compositor could be reached.
bool WaylandExchange(Exchange* exchange);
