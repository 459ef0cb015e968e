// An exchange with a display under a deadline, so that a display that stops answering cannot hold
// the program. It runs on the calling thread where every wait of the backend is bounded, and in a
// child process where a client library can wait without end (libxcb in connect(2) and in reading
// the set-up, libdbus in connecting and authenticating): a child that is given up is killed, so
// that it can touch nothing of the program afterwards (its descriptors, memory, locks or exit).
#pragma once

#include "linux_monitors.h"

struct Exchange;

// Called by a backend as its stages complete; each one is progress. Each returns false where what
// it carries cannot reach the program (the program has gone, or no memory): the backend then stops.
// A stage completed with nothing new to show.
bool ExchangeProgress(Exchange* exchange);
// The monitors as now known, in report order, replacing any published before.
bool ExchangePublish(Exchange* exchange, const MONITORINFOEXW* monitors, size_t count);
// One monitor's record, completed (its name come in, say).
bool ExchangeUpdate(Exchange* exchange, size_t index, const MONITORINFOEXW& monitor);
// How long, in milliseconds, a backend may still wait for its display: until 5 s after the last
// progress, and 30 s after the start at most. At 0 a wait only takes what has already arrived.
int ExchangeWaitMs(Exchange* exchange);

// Reads a display; returns false, having published nothing, when it reached none.
typedef bool ExchangeBackend(Exchange* exchange, void* context);

struct ExchangeResult {
    MonitorList list;
    bool reached;  // the backend reached its display, or was given up while trying
};

// Runs `backend` on the calling thread and returns what it published. Its waits must be bounded by
// ExchangeWaitMs.
ExchangeResult RunExchange(ExchangeBackend* backend, void* context);

// Runs `backend` in a child process and returns what it published: all of it when it ends, or what
// it had published by the time it is given up, when it has completed no stage for 5 s, or after
// 30 s in all (`within` an exchange: within what is left of that one's time). The child is then
// killed. It has an inert descriptor 2, and a write to a display that has gone fails there rather
// than raising SIGPIPE. Where no child can be had (a process limit reached, no descriptors left for
// its pipe), the backend runs on the calling thread, with SIGPIPE blocked and, where a descriptor is
// to spare, descriptor 2 set aside: then only the waits that it bounds by ExchangeWaitMs are limited.
ExchangeResult RunExchangeInChild(ExchangeBackend* backend, void* context, Exchange* within);
