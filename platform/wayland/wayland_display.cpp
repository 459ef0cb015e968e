// The Wayland backend: outputs in the order the compositor announces them, named by wl_output
// version 4 or else by xdg-output; primary by KDE's output order or by mutter's DisplayConfig.
#include "wayland_calls.h"  // first: the protocol headers' requests go through its table
#include "wayland_display.h"

#include <errno.h>
#include <poll.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "kde-output-order-v1-client-protocol.h"
#include "linux_names.h"
#include "mutter_primary.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace {

const int kDBusTimeoutMs = 5000;

struct Output {
    uint32_t global;
    wl_output* output;
    uint32_t version;
    zxdg_output_v1* xdg_output;
    char* name;  // malloc'd
    bool removed;  // the compositor has withdrawn it
    MONITORINFOEXW info;
};

struct Compositor {
    Output* outputs;  // malloc'd, in the order announced
    size_t count;
    uint32_t xdg_manager_global;
    uint32_t order_global;
    bool mutter;        // it offers gtk_shell1, as only mutter does
    char* first_named;  // the first output of KDE's order: the primary
    bool order_done;    // the next name in the order starts a new list
    bool bound;         // outputs announced later are left out: their records would move
};


void SetName(char** name, const char* value)
{
    free(*name);
    *name = strdup(value);
}

void OnOutputName(void* data, wl_output*, const char* name)
{
    SetName(&static_cast<Output*>(data)->name, name);
}

// The rectangle from the position and the current mode's size, whatever values a compositor sends.
LONG Sum(int64_t a, int64_t b)
{
    const int64_t sum = a + b;
    return LONG(sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : sum);
}

void OnGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                int32_t)
{
    RECT& rect = static_cast<Output*>(data)->info.rcMonitor;
    rect = {x, y, Sum(x, int64_t{rect.right} - rect.left), Sum(y, int64_t{rect.bottom} - rect.top)};
}

void OnMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t)
{
    RECT& rect = static_cast<Output*>(data)->info.rcMonitor;
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        rect = {rect.left, rect.top, Sum(rect.left, width), Sum(rect.top, height)};
    }
}

// Before version 4, xdg-output's name is the connector's.
void OnXdgName(void* data, zxdg_output_v1*, const char* name)
{
    Output* output = static_cast<Output*>(data);
    if (output->version < 4) {
        SetName(&output->name, name);
    }
}

void OnOrderOutput(void* data, kde_output_order_v1*, const char* name)
{
    Compositor* compositor = static_cast<Compositor*>(data);
    if (compositor->order_done || compositor->first_named == nullptr) {
        SetName(&compositor->first_named, name);
        compositor->order_done = false;
    }
}

void OnOrderDone(void* data, kde_output_order_v1*)
{
    static_cast<Compositor*>(data)->order_done = true;
}

void OnGlobal(void* data, wl_registry*, uint32_t global, const char* interface, uint32_t version)
{
    Compositor* compositor = static_cast<Compositor*>(data);
    if (strcmp(interface, wl_output_interface.name) == 0 && !compositor->bound) {
        Output* grown = static_cast<Output*>(realloc(compositor->outputs, (compositor->count + 1) * sizeof(Output)));
        if (grown != nullptr) {
            compositor->outputs = grown;
            grown[compositor->count++] = {global, nullptr, version < 4 ? version : 4, nullptr, nullptr, false, {}};
        }
    } else if (strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && version >= 2) {
        compositor->xdg_manager_global = global;
    } else if (strcmp(interface, kde_output_order_v1_interface.name) == 0) {
        compositor->order_global = global;
    } else if (strcmp(interface, "gtk_shell1") == 0) {
        compositor->mutter = true;
    }
}

// An output withdrawn during the run is left out: it is no longer a monitor of the desktop.
void OnGlobalRemove(void* data, wl_registry*, uint32_t global)
{
    Compositor* compositor = static_cast<Compositor*>(data);
    for (size_t i = 0; i < compositor->count; ++i) {
        if (compositor->outputs[i].global == global) {
            compositor->outputs[i].removed = true;
        }
    }
}

const wl_output_listener kOutputListener = {OnGeometry, OnMode, [](void*, wl_output*) {},
                                            [](void*, wl_output*, int32_t) {}, OnOutputName,
                                            [](void*, wl_output*, const char*) {}};
const zxdg_output_v1_listener kXdgOutputListener = {
    [](void*, zxdg_output_v1*, int32_t, int32_t) {}, [](void*, zxdg_output_v1*, int32_t, int32_t) {},
    [](void*, zxdg_output_v1*) {}, OnXdgName, [](void*, zxdg_output_v1*, const char*) {}};
const kde_output_order_v1_listener kOrderListener = {OnOrderOutput, OnOrderDone};
const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

// The records of the outputs not withdrawn, in order, malloc'd; `primary` names the primary output
// (null: none). With `names`, sets names[i] to record i's output name (null: none).
MONITORINFOEXW* Records(const Compositor* compositor, const char* primary, size_t* count, char** names)
{
    MONITORINFOEXW* records = static_cast<MONITORINFOEXW*>(calloc(compositor->count + 1, sizeof(MONITORINFOEXW)));
    *count = 0;
    bool primary_seen = false;
    for (size_t i = 0; records != nullptr && i < compositor->count; ++i) {
        const Output& output = compositor->outputs[i];
        if (output.removed) {
            continue;
        }
        if (names != nullptr) {
            names[*count] = output.name != nullptr ? strdup(output.name) : nullptr;
        }
        MONITORINFOEXW& record = records[(*count)++];
        record = output.info;
        record.cbSize = sizeof record;
        record.rcWork = record.rcMonitor;
        SetDeviceNameFromUtf8(&record, output.name, output.name != nullptr ? strlen(output.name) : 0);
        if (primary != nullptr && output.name != nullptr && strcmp(primary, output.name) == 0 && !primary_seen) {
            record.dwFlags = MONITORINFOF_PRIMARY;
            primary_seen = true;
        }
    }
    return records;
}

// Publishes the records as now known; `primary` names the primary output (null: none).
bool Publish(Exchange* exchange, const Compositor* compositor, const char* primary)
{
    size_t count;
    MONITORINFOEXW* records = Records(compositor, primary, &count, nullptr);
    const bool go_on = records != nullptr && ExchangePublish(exchange, records, count);
    free(records);
    return go_on;
}

// What the worker that asks mutter for its primary works on: copies of its own, since it may
// outlive a wait that was given up.
struct MutterQuery {
    size_t count;
    MONITORINFOEXW* records;  // malloc'd, without a primary
    char** names;             // malloc'd, each name malloc'd or null
};
MutterQuery* mutter_query = nullptr;  // handed to the next worker

void FreeQuery(MutterQuery* query)
{
    for (size_t i = 0; query->names != nullptr && i < query->count; ++i) {
        free(query->names[i]);
    }
    free(query->names);
    free(query->records);
    free(query);
}

bool AskMutter(Exchange* exchange)
{
    MutterQuery* query = mutter_query;
    char* primary = MutterPrimaryConnector(kDBusTimeoutMs);
    for (size_t i = 0; primary != nullptr && i < query->count; ++i) {
        if (query->names[i] != nullptr && strcmp(primary, query->names[i]) == 0) {
            query->records[i].dwFlags = MONITORINFOF_PRIMARY;
            break;
        }
    }
    ExchangePublish(exchange, query->records, query->count);
    free(primary);
    FreeQuery(query);
    return true;
}

// mutter says which output is primary only on the session bus, through libdbus, whose calls
// cannot all be given a time limit: they run on a worker under the deadline.
void PublishMutterPrimary(Exchange* exchange, const Compositor* compositor)
{
    MutterQuery* query = static_cast<MutterQuery*>(calloc(1, sizeof(MutterQuery)));
    if (query == nullptr) {
        return;
    }
    query->names = static_cast<char**>(calloc(compositor->count + 1, sizeof(char*)));
    query->records = Records(compositor, nullptr, &query->count, query->names);
    if (query->names == nullptr || query->records == nullptr) {
        FreeQuery(query);
        return;
    }
    mutter_query = query;
    const ExchangeResult answer = RunExchange(AskMutter);
    if (answer.list.monitors != nullptr) {
        ExchangePublish(exchange, answer.list.monitors, answer.list.count);
    }
    free(answer.list.monitors);
}

void OnDone(void* data, wl_callback*, uint32_t)
{
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener kDoneListener = {OnDone};

// Reads and dispatches what the compositor has sent, waiting at most as long as the exchange
// allows; false when the compositor has failed or gone, or the exchange is given up.
bool Dispatch(wl_display* display, Exchange* exchange)
{
    if (wl_display_prepare_read(display) != 0) {
        return wl_display_dispatch_pending(display) >= 0;
    }
    pollfd socket = {wl_display_get_fd(display), POLLIN, 0};
    int ready;
    while ((ready = wl_display_flush(display)) < 0 && errno == EAGAIN) {
        socket.events = POLLOUT;
        if (poll(&socket, 1, ExchangeWaitMs(exchange)) <= 0) {
            break;
        }
    }
    socket.events = POLLIN;
    if (ready >= 0 || errno == EPIPE) {  // a compositor gone may have left events to read
        while ((ready = poll(&socket, 1, ExchangeWaitMs(exchange))) < 0 && errno == EINTR) {
        }
    }
    if (ready <= 0) {
        wl_display_cancel_read(display);
        return false;
    }
    return wl_display_read_events(display) >= 0 && wl_display_dispatch_pending(display) >= 0;
}

// A round trip, given up with the exchange.
bool Roundtrip(wl_display* display, Exchange* exchange)
{
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &kDoneListener, &done);
    bool go_on = true;
    while (go_on && !done) {
        go_on = Dispatch(display, exchange);
    }
    wl_callback_destroy(callback);
    return done;
}

// Binds the outputs, their xdg-outputs where wl_output gives no name, and KDE's output order.
void BindAll(wl_registry* registry, Compositor* compositor, zxdg_output_manager_v1** xdg_manager,
             kde_output_order_v1** order)
{
    compositor->bound = true;
    if (compositor->xdg_manager_global != 0) {
        *xdg_manager = static_cast<zxdg_output_manager_v1*>(
            wl_registry_bind(registry, compositor->xdg_manager_global, &zxdg_output_manager_v1_interface, 2));
    }
    for (size_t i = 0; i < compositor->count; ++i) {
        Output& output = compositor->outputs[i];
        output.output =
            static_cast<wl_output*>(wl_registry_bind(registry, output.global, &wl_output_interface, output.version));
        wl_output_add_listener(output.output, &kOutputListener, &output);
        if (output.version < 4 && *xdg_manager != nullptr) {
            output.xdg_output = zxdg_output_manager_v1_get_xdg_output(*xdg_manager, output.output);
            zxdg_output_v1_add_listener(output.xdg_output, &kXdgOutputListener, &output);
        }
    }
    if (compositor->order_global != 0) {
        *order = static_cast<kde_output_order_v1*>(
            wl_registry_bind(registry, compositor->order_global, &kde_output_order_v1_interface, 1));
        kde_output_order_v1_add_listener(*order, &kOrderListener, compositor);
    }
}

// Stage by stage: the globals, then the outputs' names and KDE's order, then mutter's primary.
// libwayland's own round trip would wait without end for a compositor that stops answering.
void Query(wl_display* display, Compositor* compositor, Exchange* exchange)
{
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, compositor);
    zxdg_output_manager_v1* xdg_manager = nullptr;
    kde_output_order_v1* order = nullptr;
    if (Roundtrip(display, exchange) && Publish(exchange, compositor, nullptr)) {
        BindAll(registry, compositor, &xdg_manager, &order);
        if (Roundtrip(display, exchange) && Publish(exchange, compositor, compositor->first_named) &&
            order == nullptr && compositor->mutter) {
            PublishMutterPrimary(exchange, compositor);
        }
    }
    for (size_t i = 0; i < compositor->count; ++i) {
        Output& output = compositor->outputs[i];
        if (output.xdg_output != nullptr) {
            zxdg_output_v1_destroy(output.xdg_output);
        }
        if (output.output != nullptr) {
            wl_output_destroy(output.output);
        }
        free(output.name);
    }
    if (xdg_manager != nullptr) {
        zxdg_output_manager_v1_destroy(xdg_manager);
    }
    if (order != nullptr) {
        kde_output_order_v1_destroy(order);
    }
    wl_registry_destroy(registry);
}

// libwayland's complaints (a relative WAYLAND_DISPLAY without XDG_RUNTIME_DIR, say) are for a
// human; the report has no place for them.
void Quiet(const char*, va_list) {}

}  // namespace

bool WaylandExchange(Exchange* exchange)
{
    const char* name = getenv("WAYLAND_DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        return false;
    }
    wl_log_set_handler_client(Quiet);
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return false;
    }
    Compositor compositor = {};
    if (ExchangeProgress(exchange)) {
        Query(display, &compositor, exchange);
    }
    free(compositor.outputs);
    free(compositor.first_named);
    wl_display_disconnect(display);
    return true;
}
