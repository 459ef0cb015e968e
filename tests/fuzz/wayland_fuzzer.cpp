// Fuzzes what the Wayland backend decodes: an output name of any bytes (first input byte even),
// or a D-Bus message of any shape read as mutter's GetCurrentState reply (odd).
#include <dbus/dbus.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "mutter_primary.h"
#include "wayland_names.h"

namespace {

void Require(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

void CheckName(const uint8_t* data, size_t size)
{
    char* text = static_cast<char*>(malloc(size + 1));
    memcpy(text, data, size);
    text[size] = '\0';
    MONITORINFOEXW info;
    memset(&info, 0x55, sizeof info);
    WaylandSetMonitorName(&info, text);
    size_t length = 0;
    while (length < CCHDEVICENAME && info.szDevice[length] != 0) {
        const WCHAR c = info.szDevice[length++];
        Require(c >= 0x20 && !(c >= 0x7F && c < 0xA0) && c <= 0x10FFFF && !(c >= 0xD800 && c < 0xE000));
    }
    Require(length < CCHDEVICENAME);
    // Plain ASCII without control characters comes through unchanged, up to 31 characters.
    bool plain = true;
    for (size_t i = 0; i < size && data[i] != 0; ++i) {
        plain = plain && data[i] >= 0x20 && data[i] < 0x7F;
    }
    const size_t text_length = strlen(text);
    if (plain) {
        Require(length == (text_length < CCHDEVICENAME - 1 ? text_length : CCHDEVICENAME - 1));
        for (size_t i = 0; i < length; ++i) {
            Require(info.szDevice[i] == static_cast<WCHAR>(text[i]));
        }
    }
    free(text);
}

void CheckReply(const uint8_t* data, size_t size)
{
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* message = dbus_message_demarshal(reinterpret_cast<const char*>(data), int(size), &error);
    if (message != nullptr) {
        const DBusReading dbus = {dbus_message_iter_init, dbus_message_iter_get_arg_type, dbus_message_iter_recurse,
                                  dbus_message_iter_next, dbus_message_iter_get_basic};
        char* connector = MutterPrimaryFromReply(dbus, message);
        Require(connector == nullptr || strlen(connector) < size);
        free(connector);
        dbus_message_unref(message);
    }
    dbus_error_free(&error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    if (data[0] & 1) {
        CheckReply(data + 1, size - 1);
    } else {
        CheckName(data + 1, size - 1);
    }
    return 0;
}
