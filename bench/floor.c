/* The least program that does the job: connect with XCB, one RandR query for the monitors, all
 * names in one round trip, one write. The benchmark's floor; it does not wait for input. Built
 * with -DISOLATED, the isolated floor: the same exchange in a forked child that writes to a pipe,
 * which the program reads, writes out and reaps: the least that running it apart costs. */
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/randr.h>

/* Writes the report to `fd`. */
static int Exchange(int fd)
{
    int screen = 0;
    xcb_connection_t* c = xcb_connect(NULL, &screen);
    if (xcb_connection_has_error(c)) {
        return 0;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (; screen > 0 && it.rem > 0; --screen) {
        xcb_screen_next(&it);
    }
    xcb_randr_get_monitors_reply_t* monitors =
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, it.data->root, 1), NULL);
    if (monitors == NULL) {
        xcb_disconnect(c);
        return 0;
    }
    int count = xcb_randr_get_monitors_monitors_length(monitors);
    xcb_get_atom_name_cookie_t* cookies = calloc((size_t)count + 1, sizeof *cookies);
    xcb_randr_monitor_info_iterator_t m = xcb_randr_get_monitors_monitors_iterator(monitors);
    for (int i = 0; i < count; ++i, xcb_randr_monitor_info_next(&m)) {
        cookies[i] = xcb_get_atom_name(c, m.data->name);
    }
    char out[8192];
    size_t used = 0;
    m = xcb_randr_get_monitors_monitors_iterator(monitors);
    for (int i = 0; i < count; ++i, xcb_randr_monitor_info_next(&m)) {
        xcb_get_atom_name_reply_t* name = xcb_get_atom_name_reply(c, cookies[i], NULL);
        size_t length = name ? (size_t)xcb_get_atom_name_name_length(name) : 0;
        const char* word = m.data->primary ? "\ttrue\n" : "\tfalse\n";
        if (length > 31) {
            length = 31;
        }
        if (used + length + 8 <= sizeof out) {
            memcpy(out + used, xcb_get_atom_name_name(name), length);
            memcpy(out + used + length, word, strlen(word));
            used += length + strlen(word);
        }
        free(name);
    }
    write(fd, out, used);
    free(cookies);
    free(monitors);
    xcb_disconnect(c);
    return 0;
}

int main(void)
{
#ifdef ISOLATED
    int channel[2];
    if (pipe(channel) != 0) {
        return 1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        _exit(Exchange(channel[1]));
    }
    close(channel[1]);
    char out[8192];
    size_t used = 0;
    for (ssize_t got; (got = read(channel[0], out + used, sizeof out - used)) > 0;) {
        used += (size_t)got;
    }
    write(1, out, used);
    waitpid(child, NULL, 0);
    return 0;
#else
    return Exchange(1);
#endif
}
