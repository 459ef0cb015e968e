// mutter's primary asked on a worker: libdbus's calls (connecting to the bus, saying hello) cannot
// all be given a time limit, so they run under the exchange's deadline on a thread of their own.
#include <stdlib.h>
#include <string.h>

#include "linux_exchange.h"
#include "mutter_primary.h"

namespace {

const int kDBusTimeoutMs = 5000;

MutterOutputs* handed_over = nullptr;  // to the next worker, which frees it
int dbus_timeout_ms = kDBusTimeoutMs;   // for the next worker's call

void FreeOutputs(MutterOutputs* outputs)
{
    for (size_t i = 0; outputs->names != nullptr && i < outputs->count; ++i) {
        free(outputs->names[i]);
    }
    free(outputs->names);
    free(outputs->records);
    free(outputs);
}

bool AskMutter(Exchange* exchange)
{
    MutterOutputs* outputs = handed_over;
    char* primary = MutterPrimaryConnector(dbus_timeout_ms);
    for (size_t i = 0; primary != nullptr && i < outputs->count; ++i) {
        if (outputs->names[i] != nullptr && strcmp(primary, outputs->names[i]) == 0) {
            outputs->records[i].dwFlags = MONITORINFOF_PRIMARY;
            break;
        }
    }
    ExchangePublish(exchange, outputs->records, outputs->count);
    free(primary);
    FreeOutputs(outputs);
    return true;
}

}  // namespace

void PublishMutterPrimary(Exchange* exchange, MutterOutputs* outputs)
{
    if (outputs->names == nullptr || outputs->records == nullptr) {
        FreeOutputs(outputs);
        return;
    }
    // The query ends within what is left of the run's own time, so that it never stretches the
    // run past its cap.
    const int left_ms = ExchangeWaitMs(exchange);
    if (left_ms == 0) {
        FreeOutputs(outputs);
        return;
    }
    handed_over = outputs;
    dbus_timeout_ms = left_ms < kDBusTimeoutMs ? left_ms : kDBusTimeoutMs;
    const ExchangeResult answer = RunExchange(AskMutter, left_ms);
    if (answer.list.monitors != nullptr) {
        ExchangePublish(exchange, answer.list.monitors, answer.list.count);
    }
    free(answer.list.monitors);
}
