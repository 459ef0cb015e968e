// A stand-in Wayland compositor for the tests: it announces the outputs, names and KDE output order
// its arguments ask for, and withdraws, adds or leaves at a chosen point, as real compositors
// rarely do.
//
//   --output vVERSION[:NAME]   a wl_output global of VERSION (1 to 4), in argument order; NAME goes
//                              in wl_output's name event, which exists from version 4 only
//   --late vVERSION[:NAME]     the same, announced only once the client has bound output 1
//   --xdg NAME                 xdg-output's name for the output before (by default it sends none)
//   --order NAME,...           offers kde_output_order_v1, which sends these names, then done;
//                              given twice, it sends both lists
//   --gtk-shell                offers gtk_shell1, as mutter does (never bound)
//   --withdraw-after-registry N  removes output N (from 1) just after answering the client's first
//                              wl_display.sync: after its registry round trip, before any bind
//   --withdraw-after-bind N    removes output N just after the client binds it and has its events
//   --leave-after-bind N       sends output N's events once it is bound, then ends at once
//   --mute-after-bind N        the same, but then keeps the connection and answers nothing more
//   --leave-after-registry N   once the first round trip is answered, announces globals of no use
//                              past what the client reads at once, withdraws output N and ends:
//                              the client's next write fails with the withdrawal still unread
//
// Its socket goes in $XDG_RUNTIME_DIR; once it listens, it prints the socket's path (a value for
// WAYLAND_DISPLAY) on standard output. It runs until SIGTERM.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-server.h>

#include "kde-output-order-v1-server-protocol.h"
#include "xdg-output-unstable-v1-server-protocol.h"

enum { kMaxOutputs = 64 };

struct Output {
    struct wl_global* global;
    int version;
    const char* name;      // wl_output's, or null
    const char* xdg_name;  // xdg-output's, or null
    int withdrawn;
    int late;
};

static struct Output outputs[kMaxOutputs];
static int output_count;
static const char* orders[2];  // names by commas
static int order_count, gtk_shell;
static int withdraw_after_registry, withdraw_after_bind, leave_after_bind, mute_after_bind, leave_after_registry;
// (from 1; 0: none)
static struct wl_display* display;
static struct wl_listener client_created, resource_created, sync_answered;

// Removal once only: libwayland-server aborts on a second wl_global_remove of a global.
static void Withdraw(int number)
{
    if (number >= 1 && number <= output_count && !outputs[number - 1].withdrawn) {
        outputs[number - 1].withdrawn = 1;
        wl_global_remove(outputs[number - 1].global);
    }
}

static void Destroy(struct wl_client* client, struct wl_resource* resource)
{
    (void)client;
    wl_resource_destroy(resource);
}

static struct wl_resource* Create(struct wl_client* client, const struct wl_interface* interface, int version,
                                  uint32_t id, const void* implementation, void* data)
{
    struct wl_resource* resource = wl_resource_create(client, interface, version, id);
    if (resource == NULL) {
        wl_client_post_no_memory(client);
    } else {
        wl_resource_set_implementation(resource, implementation, data, NULL);
    }
    return resource;
}

static const struct wl_output_interface kOutput = {Destroy};
static const struct zxdg_output_v1_interface kXdgOutput = {Destroy};
static const struct kde_output_order_v1_interface kOrder = {Destroy};

// The outputs sit side by side, each 1024x768.
static void BindOutput(struct wl_client* client, void* data, uint32_t version, uint32_t id)
{
    struct Output* output = data;
    struct wl_resource* resource = Create(client, &wl_output_interface, version, id, &kOutput, output);
    if (resource == NULL) {
        return;
    }
    const int x = 1024 * (int)(output - outputs);
    wl_output_send_geometry(resource, x, 0, 300, 200, WL_OUTPUT_SUBPIXEL_UNKNOWN, "stand-in", "output",
                            WL_OUTPUT_TRANSFORM_NORMAL);
    wl_output_send_mode(resource, WL_OUTPUT_MODE_CURRENT, 1024, 768, 60000);
    if (version >= 4 && output->name != NULL) {
        wl_output_send_name(resource, output->name);
    }
    if (version >= 2) {
        wl_output_send_done(resource);
    }
    if (output - outputs + 1 == withdraw_after_bind) {
        Withdraw(withdraw_after_bind);
    }
    for (int i = 0; output == outputs && i < output_count; ++i) {
        if (outputs[i].late && outputs[i].global == NULL) {
            outputs[i].global = wl_global_create(display, &wl_output_interface, outputs[i].version, &outputs[i], BindOutput);
        }
    }
    if (output - outputs + 1 == leave_after_bind || output - outputs + 1 == mute_after_bind) {
        wl_client_flush(client);
        sigset_t term;  // blocked: the event loop takes it through a signalfd
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        for (int signal_number; mute_after_bind && sigwait(&term, &signal_number) != 0;) {
        }
        _exit(0);
    }
}

static void GetXdgOutput(struct wl_client* client, struct wl_resource* manager, uint32_t id,
                         struct wl_resource* output_resource)
{
    const struct Output* output = wl_resource_get_user_data(output_resource);
    const int version = wl_resource_get_version(manager);
    struct wl_resource* resource = Create(client, &zxdg_output_v1_interface, version, id, &kXdgOutput, NULL);
    if (resource == NULL) {
        return;
    }
    zxdg_output_v1_send_logical_position(resource, 1024 * (int)(output - outputs), 0);
    zxdg_output_v1_send_logical_size(resource, 1024, 768);
    if (version >= 2 && output->xdg_name != NULL) {
        zxdg_output_v1_send_name(resource, output->xdg_name);
    }
    zxdg_output_v1_send_done(resource);  // version 2 at most: from 3, wl_output's done would end these
}

static const struct zxdg_output_manager_v1_interface kXdgManager = {Destroy, GetXdgOutput};

static void BindXdgManager(struct wl_client* client, void* data, uint32_t version, uint32_t id)
{
    Create(client, &zxdg_output_manager_v1_interface, version, id, &kXdgManager, data);
}

static void BindOrder(struct wl_client* client, void* data, uint32_t version, uint32_t id)
{
    struct wl_resource* resource = Create(client, &kde_output_order_v1_interface, version, id, &kOrder, data);
    for (int i = 0; resource != NULL && i < order_count; ++i) {
        char* names = strdup(orders[i]);
        for (char* name = names ? strtok(names, ",") : NULL; name != NULL; name = strtok(NULL, ",")) {
            kde_output_order_v1_send_output(resource, name);
        }
        kde_output_order_v1_send_done(resource);
        free(names);
    }
}

// libwayland-server answers wl_display.sync with a wl_callback that it destroys just after sending
// done; so the destruction of the first client's first callback is the end of its first round trip.
static void OnSyncAnswered(struct wl_listener* listener, void* data)
{
    (void)listener;
    Withdraw(withdraw_after_registry);
    if (leave_after_registry) {
        // libwayland-client reads 4 KiB at a time: 256 globals of 32 bytes are twice that.
        static const struct wl_interface kPadding = {"padding", 1, 0, NULL, 0, NULL};
        for (int i = 0; i < 256; ++i) {
            wl_global_create(display, &kPadding, 1, NULL, NULL);
        }
        Withdraw(leave_after_registry);
        wl_client_flush(wl_resource_get_client(data));
        _exit(0);
    }
}

static void OnResourceCreated(struct wl_listener* listener, void* data)
{
    if (strcmp(wl_resource_get_class(data), wl_callback_interface.name) == 0) {
        wl_list_remove(&listener->link);
        wl_resource_add_destroy_listener(data, &sync_answered);
    }
}

static void OnClientCreated(struct wl_listener* listener, void* data)
{
    wl_list_remove(&listener->link);
    wl_client_add_resource_created_listener(data, &resource_created);
}

static int OnTerminate(int signal_number, void* data)
{
    (void)signal_number, (void)data;
    wl_display_terminate(display);
    return 0;
}

static int Usage(void)
{
    fprintf(stderr,
            "usage: stand_in_compositor [--output|--late vVERSION[:NAME] [--xdg NAME]]... [--order NAME,...]...\n"
            "           [--gtk-shell] [--withdraw-after-registry N] [--withdraw-after-bind N] [--leave-after-bind N]\n"
            "           [--mute-after-bind N] [--leave-after-registry N]\n");
    return 2;
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; i += 2) {
        const char *option = argv[i], *value = argv[i + 1];  // argv[argc] is null
        if (strcmp(option, "--gtk-shell") == 0) {
            gtk_shell = 1;
            --i;  // takes no value
            continue;
        }
        if (value == NULL) {
            return Usage();
        }
        int version = 0;
        const int late = strcmp(option, "--late") == 0;
        if ((late || strcmp(option, "--output") == 0) && output_count < kMaxOutputs &&
            sscanf(value, "v%d", &version) == 1 && version >= 1 && version <= 4) {
            const char* colon = strchr(value, ':');
            outputs[output_count++] = (struct Output){NULL, version, colon ? colon + 1 : NULL, NULL, 0, late};
        } else if (strcmp(option, "--xdg") == 0 && output_count > 0) {
            outputs[output_count - 1].xdg_name = value;
        } else if (strcmp(option, "--order") == 0 && order_count < 2) {
            orders[order_count++] = value;
        } else if (strcmp(option, "--withdraw-after-registry") == 0) {
            withdraw_after_registry = atoi(value);
        } else if (strcmp(option, "--withdraw-after-bind") == 0) {
            withdraw_after_bind = atoi(value);
        } else if (strcmp(option, "--leave-after-bind") == 0) {
            leave_after_bind = atoi(value);
        } else if (strcmp(option, "--mute-after-bind") == 0) {
            mute_after_bind = atoi(value);
        } else if (strcmp(option, "--leave-after-registry") == 0) {
            leave_after_registry = atoi(value);
        } else {
            return Usage();
        }
    }
    display = wl_display_create();
    const char* socket = display ? wl_display_add_socket_auto(display) : NULL;
    if (socket == NULL) {
        fprintf(stderr, "stand_in_compositor: no socket (is XDG_RUNTIME_DIR set?)\n");
        return 1;
    }
    for (int i = 0; i < output_count; ++i) {
        outputs[i].global = outputs[i].late ? NULL
            : wl_global_create(display, &wl_output_interface, outputs[i].version, &outputs[i], BindOutput);
    }
    wl_global_create(display, &zxdg_output_manager_v1_interface, 2, NULL, BindXdgManager);
    if (order_count > 0) {
        wl_global_create(display, &kde_output_order_v1_interface, 1, NULL, BindOrder);
    }
    static const struct wl_interface kGtkShell = {"gtk_shell1", 1, 0, NULL, 0, NULL};
    if (gtk_shell) {
        wl_global_create(display, &kGtkShell, 1, NULL, NULL);
    }
    client_created.notify = OnClientCreated;
    resource_created.notify = OnResourceCreated;
    sync_answered.notify = OnSyncAnswered;
    wl_display_add_client_created_listener(display, &client_created);
    struct wl_event_source* terminate =
        wl_event_loop_add_signal(wl_display_get_event_loop(display), SIGTERM, OnTerminate, NULL);

    printf("%s/%s\n", getenv("XDG_RUNTIME_DIR"), socket);
    fflush(stdout);
    wl_display_run(display);
    wl_event_source_remove(terminate);
    wl_display_destroy(display);
    return 0;
}
