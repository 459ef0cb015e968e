// The primary monitor of GNOME's mutter, read from org.gnome.Mutter.DisplayConfig over libdbus.
// libdbus, the reference implementation, is on every desktop that has a session bus, needs no
// main loop for one blocking call, and is small to load (GDBus would bring GLib's start-up).
#include "mutter_primary.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

namespace {

bool Enter(const DBusReading& dbus, DBusMessageIter* it, int type, DBusMessageIter* inside)
{
    if (dbus.get_arg_type(it) != type) {
        return false;
    }
    dbus.recurse(it, inside);
    return true;
}

// In one logical monitor (iiduba(ssss)a{sv}): the first connector if it is primary, else null.
char* PrimaryConnector(const DBusReading& dbus, DBusMessageIter* logical)
{
    const int leading[] = {DBUS_TYPE_INT32, DBUS_TYPE_INT32, DBUS_TYPE_DOUBLE, DBUS_TYPE_UINT32};
    for (const int type : leading) {
        if (dbus.get_arg_type(logical) != type) {
            return nullptr;
        }
        dbus.next(logical);
    }
    dbus_bool_t primary = FALSE;
    if (dbus.get_arg_type(logical) != DBUS_TYPE_BOOLEAN) {
        return nullptr;
    }
    dbus.get_basic(logical, &primary);
    dbus.next(logical);
    DBusMessageIter monitors, monitor;
    if (!primary || !Enter(dbus, logical, DBUS_TYPE_ARRAY, &monitors) ||
        !Enter(dbus, &monitors, DBUS_TYPE_STRUCT, &monitor) || dbus.get_arg_type(&monitor) != DBUS_TYPE_STRING) {
        return nullptr;
    }
    const char* connector = nullptr;
    dbus.get_basic(&monitor, &connector);
    return connector != nullptr ? strdup(connector) : nullptr;
}

}  // namespace

// The reply is (u serial, a(...) monitors, a(iiduba(ssss)a{sv}) logical monitors, a{sv}).
char* MutterPrimaryFromReply(const DBusReading& dbus, DBusMessage* reply)
{
    DBusMessageIter it, logicals, logical;
    if (reply == nullptr || !dbus.iter_init(reply, &it) || dbus.get_arg_type(&it) != DBUS_TYPE_UINT32 ||
        !dbus.next(&it) || dbus.get_arg_type(&it) != DBUS_TYPE_ARRAY || !dbus.next(&it) ||
        !Enter(dbus, &it, DBUS_TYPE_ARRAY, &logicals)) {
        return nullptr;
    }
    for (; dbus.get_arg_type(&logicals) == DBUS_TYPE_STRUCT; dbus.next(&logicals)) {
        dbus.recurse(&logicals, &logical);
        if (char* connector = PrimaryConnector(dbus, &logical)) {
            return connector;
        }
    }
    return nullptr;
}

char* MutterPrimaryConnector(int timeout_ms)
{
    // Never closed: libdbus keeps threads' and atexit state that must outlive this call.
    void* library = dlopen("libdbus-1.so.3", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return nullptr;
    }
#define LOAD(name) reinterpret_cast<decltype(&name)>(dlsym(library, #name))
    const auto error_init = LOAD(dbus_error_init);
    const auto error_free = LOAD(dbus_error_free);
    const auto bus_get_private = LOAD(dbus_bus_get_private);
    const auto set_exit_on_disconnect = LOAD(dbus_connection_set_exit_on_disconnect);
    const auto new_method_call = LOAD(dbus_message_new_method_call);
    const auto send_and_block = LOAD(dbus_connection_send_with_reply_and_block);
    const auto message_unref = LOAD(dbus_message_unref);
    const auto connection_close = LOAD(dbus_connection_close);
    const auto connection_unref = LOAD(dbus_connection_unref);
    const DBusReading dbus = {LOAD(dbus_message_iter_init), LOAD(dbus_message_iter_get_arg_type),
                              LOAD(dbus_message_iter_recurse), LOAD(dbus_message_iter_next),
                              LOAD(dbus_message_iter_get_basic)};
#undef LOAD
    if (!error_init || !error_free || !bus_get_private || !set_exit_on_disconnect || !new_method_call ||
        !send_and_block || !message_unref || !connection_close || !connection_unref || !dbus.iter_init ||
        !dbus.get_arg_type || !dbus.recurse || !dbus.next || !dbus.get_basic) {
        return nullptr;
    }

    DBusError error;
    error_init(&error);
    DBusConnection* bus = bus_get_private(DBUS_BUS_SESSION, &error);
    char* connector = nullptr;
    if (bus != nullptr) {
        // By default libdbus ends the process when the bus goes away.
        set_exit_on_disconnect(bus, FALSE);
        DBusMessage* call = new_method_call("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                                            "org.gnome.Mutter.DisplayConfig", "GetCurrentState");
        DBusMessage* reply = call ? send_and_block(bus, call, timeout_ms, &error) : nullptr;
        connector = MutterPrimaryFromReply(dbus, reply);
        if (reply != nullptr) {
            message_unref(reply);
        }
        if (call != nullptr) {
            message_unref(call);
        }
        connection_close(bus);
        connection_unref(bus);
    }
    error_free(&error);
    return connector;
}
