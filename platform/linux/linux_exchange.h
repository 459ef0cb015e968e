// An exchange with a display, run in a child process under a deadline: a display that stops
// answering cannot hold the program, and an exchange that is given up is killed, so that it can
// touch nothing of the program afterwards (its descriptors, memory, locks or exit path).
#pragma once

#include "linux_monitors.h"

struct Exchange;

// Called by a backend as its stages complete. Each returns false once the exchange has been given
// up: the backend then stops, and what it publishes after that is not reported.
// A stage completed with nothing new to show.
bool ExchangeProgress(Exchange* exchange);
// The monitors as now known, in report order, replacing any published before.
bool ExchangePublish(Exchange* exchange, const MONITORINFOEXW* monitors, size_t count);
// One monitor's record, completed (its name come in, say).
bool ExchangeUpdate(Exchange* exchange, size_t index, const MONITORINFOEXW& monitor);
// How long, in milliseconds, a backend may still wait for its display; 0 once the exchange is
// given up.
int ExchangeWaitMs(Exchange* exchange);

// Reads a display; returns false, having published nothing, when it reached none.
typedef bool ExchangeBackend(Exchange* exchange);

struct ExchangeResult {
    MonitorList list;
    bool reached;  // the backend reached its display, or was given up while trying
};

// Runs `backend` in a child process and returns what it published: all of it when it ends, or
// what it had published when it has completed no stage for 5 s, or after 30 s in any case, and
// the child is then killed. The child has /dev/null for descriptor 2, and a write to a display
// that has gone fails there rather than raising SIGPIPE. Where no child can be had (a process
// limit reached, no descriptors left for its pipe), the backend runs on the calling thread, with
// descriptor 2 on /dev/null meanwhile where a descriptor is to spare: then only the waits that
// the backend bounds by ExchangeWaitMs are limited.
ExchangeResult RunExchange(ExchangeBackend* backend);
