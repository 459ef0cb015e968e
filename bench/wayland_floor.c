/* The least Wayland client that does the job on a compositor with wl_output version 4: connect,
 * the registry, one more round trip for the outputs' names, one write. The benchmark's floor on
 * sway; it does not wait for input. */
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>

static char out[8192];
static size_t used;

static void Name(void* data, struct wl_output* output, const char* name)
{
    (void)data;
    (void)output;
    used += (size_t)snprintf(out + used, sizeof out - used, "%.31s\tfalse\n", name);
    if (used >= sizeof out) {
        used = sizeof out - 1;
    }
}
static void Geometry(void* d, struct wl_output* o, int32_t x, int32_t y, int32_t w, int32_t h, int32_t s,
                     const char* make, const char* model, int32_t t)
{
    (void)d, (void)o, (void)x, (void)y, (void)w, (void)h, (void)s, (void)make, (void)model, (void)t;
}
static void Mode(void* d, struct wl_output* o, uint32_t f, int32_t w, int32_t h, int32_t r)
{
    (void)d, (void)o, (void)f, (void)w, (void)h, (void)r;
}
static void Done(void* d, struct wl_output* o) { (void)d, (void)o; }
static void Scale(void* d, struct wl_output* o, int32_t s) { (void)d, (void)o, (void)s; }
static void Description(void* d, struct wl_output* o, const char* s) { (void)d, (void)o, (void)s; }
static const struct wl_output_listener output_listener = {Geometry, Mode, Done, Scale, Name, Description};

static void Global(void* data, struct wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    (void)data;
    if (strcmp(interface, "wl_output") == 0 && version >= 4) {
        struct wl_output* output = wl_registry_bind(registry, name, &wl_output_interface, 4);
        wl_output_add_listener(output, &output_listener, NULL);
    }
}
static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data, (void)registry, (void)name;
}
static const struct wl_registry_listener registry_listener = {Global, GlobalRemove};

int main(void)
{
    struct wl_display* display = wl_display_connect(NULL);
    if (display == NULL) {
        return 0;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (write(1, out, used) < 0) {
        return 1;
    }
    wl_display_disconnect(display);
    return 0;
}
