// An exchange with a display, run on a worker thread under a deadline, so that a display that
// stops answering cannot hold the program while one that answers slowly still gets through.
#pragma once

#include "linux_monitors.h"

struct Exchange;

// Called by a backend on the worker as its stages complete. Each returns false once the exchange
// has been given up: the backend then stops, and what it publishes after that is not reported.
// A stage completed with nothing new to show.
bool ExchangeProgress(Exchange* exchange);
// The monitors as now known, in report order, replacing any published before.
bool ExchangePublish(Exchange* exchange, const MONITORINFOEXW* monitors, size_t count);
// One monitor's record, completed (its name come in, say).
bool ExchangeUpdate(Exchange* exchange, size_t index, const MONITORINFOEXW& monitor);
// How long, in milliseconds, a backend may still wait for its display; 0 once the exchange is
// given up.
int ExchangeWaitMs(Exchange* exchange);

// Reads a display on the worker; returns false, having published nothing, when it reached none.
typedef bool ExchangeBackend(Exchange* exchange);

struct ExchangeResult {
    MonitorList list;
    bool reached;  // the backend reached its display, or was given up while trying
};

// The longest an exchange may run, progress or not.
const int kExchangeMostMs = 30000;

// Runs `backend` on a worker thread and returns what it published: all of it when it ends, or
// what it had published when it has completed no stage for 5 s, or after `most_ms` in any case.
// The worker's descriptor 2 is /dev/null, and it takes no signals.
ExchangeResult RunExchange(ExchangeBackend* backend, int most_ms = kExchangeMostMs);

// Runs `backend` on the calling thread, under the same deadline, for a backend whose every wait
// is bounded by ExchangeWaitMs and whose libraries write nothing to descriptor 2.
ExchangeResult RunExchangeHere(ExchangeBackend* backend);
