// The Wayland backend of the Linux layer: the compositor's outputs, with their connector names,
// and the primary where the compositor itself says which.
#pragma once

#include "linux_exchange.h"

// Connects to the compositor that WAYLAND_DISPLAY names and publishes its outputs. Returns false,
// having published nothing, when WAYLAND_DISPLAY is unset or no compositor could be reached.
// The entry of the Wayland module.
extern "C" bool WaylandExchange(Exchange* exchange);
