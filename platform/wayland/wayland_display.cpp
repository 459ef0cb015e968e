// The Wayland backend: outputs in the order the compositor announces them, named by wl_output
// version 4 or else by xdg-output; primary by KDE's output order or by mutter's DisplayConfig.
#include "wayland_calls.h"  // first: the protocol headers' requests go through its table
#include "wayland_display.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "kde-output-order-v1-client-protocol.h"
#include "linux_names.h"
#include "mutter_primary.h"
#include "wayland_wait.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace {

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

// Asked for only where wl_output gives no name (see BindAll).
void OnXdgName(void* data, zxdg_output_v1*, const char* name)
{
    SetName(&static_cast<Output*>(data)->name, name);
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
// (null: none).
MONITORINFOEXW* Records(const Compositor* compositor, const char* primary, size_t* count)
{
    MONITORINFOEXW* records = static_cast<MONITORINFOEXW*>(calloc(compositor->count + 1, sizeof(MONITORINFOEXW)));
    *count = 0;
    bool primary_seen = false;
    for (size_t i = 0; records != nullptr && i < compositor->count; ++i) {
        const Output& output = compositor->outputs[i];
        if (output.removed) {
            continue;
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
    MONITORINFOEXW* records = Records(compositor, primary, &count);
    const bool go_on = records != nullptr && ExchangePublish(exchange, records, count);
    free(records);
    return go_on;
}

// In a child of its own, since libdbus can wait without end in connecting to the bus and in
// authenticating: mutter's primary, and the outputs published with it marked.
bool AskMutter(Exchange* exchange, void* compositor)
{
    char* primary = MutterPrimaryConnector(ExchangeWaitMs(exchange));
    const bool named = primary != nullptr && Publish(exchange, static_cast<const Compositor*>(compositor), primary);
    free(primary);
    return named;
}

// mutter says which output is primary only on the session bus. The query ends within what is left
// of the exchange's time, so that it never stretches the run past its limits; a bus that does not
// answer costs only the true.
void AskMutterForPrimary(Exchange* exchange, Compositor* compositor)
{
    if (ExchangeWaitMs(exchange) == 0) {
        return;
    }
    const ExchangeResult answer = RunExchangeInChild(AskMutter, compositor, exchange);
    if (answer.list.count > 0) {
        ExchangePublish(exchange, answer.list.monitors, answer.list.count);
    }
    free(answer.list.monitors);
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
        // Before version 4, xdg-output's name is the connector's; from 4 on, wl_output's is, and
        // a compositor may give xdg-output another (a description, say).
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
void Query(wl_display* display, Compositor* compositor, Exchange* exchange)
{
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, compositor);
    zxdg_output_manager_v1* xdg_manager = nullptr;
    kde_output_order_v1* order = nullptr;
    if (WaylandRoundtrip(display, exchange) && Publish(exchange, compositor, nullptr)) {
        BindAll(registry, compositor, &xdg_manager, &order);
        // What was read is published even where the compositor stalls or goes before the round
        // trip's end: names that came before it went are names it gave.
        const bool answered = WaylandRoundtrip(display, exchange);
        if (Publish(exchange, compositor, compositor->first_named) && answered && order == nullptr &&
            compositor->mutter) {
            AskMutterForPrimary(exchange, compositor);
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

bool WaylandExchange(Exchange* exchange, void*)
{
    wl_log_set_handler_client(Quiet);
    bool reached = false;
    wl_display* display = WaylandConnect(exchange, &reached);
    if (display == nullptr) {
        return reached;
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
