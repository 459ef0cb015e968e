// Fuzzes what the Wayland backend decodes: an output name of any bytes (first input byte even),
// or a D-Bus message of any shape read as mutter's GetCurrentState reply (odd). A message is
// built from a signature (the input up to a zero byte) and values taken from the rest, so that
// mutations change its shape rather than break its encoding.
#include <dbus/dbus.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "mutter_primary.h"
#include "linux_names.h"

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
    SetDeviceNameFromUtf8(&info, text, strlen(text));
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

struct Values {
    const uint8_t* data;
    size_t left;

    uint8_t Take()
    {
        if (left == 0) {
            return 0;
        }
        --left;
        return *data++;
    }
};

const char* const kStrings[] = {"Meta-0", "Meta-1", "DP-1", "", "HDMI-A-1", "x"};
const char* const kVariants[] = {"i", "s", "b", "(ssss)", "a{sv}", "ad"};

// Appends one value of the type at `type`, its contents taken from `values`.
bool Append(DBusMessageIter* to, DBusSignatureIter* type, Values* values, int depth)
{
    const int code = dbus_signature_iter_get_current_type(type);
    if (depth > 8) {
        return false;
    }
    if (dbus_type_is_basic(code)) {
        uint64_t number = 0;
        for (int i = 0; i < 8; ++i) {
            number = number << 8 | values->Take();
        }
        dbus_bool_t truth = number & 1;
        const char* text = code == DBUS_TYPE_OBJECT_PATH ? "/a" : code == DBUS_TYPE_SIGNATURE ? "i"
                                                                  : kStrings[number % 6];
        void* value = code == DBUS_TYPE_BOOLEAN ? static_cast<void*>(&truth)
                      : dbus_type_is_fixed(code) ? static_cast<void*>(&number)
                                                 : static_cast<void*>(&text);
        return code != DBUS_TYPE_UNIX_FD && dbus_message_iter_append_basic(to, code, value);
    }
    DBusSignatureIter inner;
    DBusMessageIter into = DBUS_MESSAGE_ITER_INIT_CLOSED;
    dbus_signature_iter_recurse(type, &inner);
    bool ok = true;
    if (code == DBUS_TYPE_ARRAY) {
        char* element = dbus_signature_iter_get_signature(&inner);
        ok = dbus_message_iter_open_container(to, code, element, &into);
        for (int n = values->Take() % 4; ok && n > 0; --n) {
            dbus_signature_iter_recurse(type, &inner);
            ok = Append(&into, &inner, values, depth + 1);
        }
        dbus_free(element);
    } else if (code == DBUS_TYPE_VARIANT) {
        const char* contained = kVariants[values->Take() % 6];
        dbus_signature_iter_init(&inner, contained);
        ok = dbus_message_iter_open_container(to, code, contained, &into) && Append(&into, &inner, values, depth + 1);
    } else {
        ok = dbus_message_iter_open_container(to, code, nullptr, &into);
        do {
            ok = ok && Append(&into, &inner, values, depth + 1);
        } while (ok && dbus_signature_iter_next(&inner));
    }
    // A container left incomplete cannot be closed: libdbus aborts.
    if (!ok) {
        dbus_message_iter_abandon_container_if_open(to, &into);
        return false;
    }
    return dbus_message_iter_close_container(to, &into);
}

void CheckReply(const uint8_t* data, size_t size)
{
    const uint8_t* end = static_cast<const uint8_t*>(memchr(data, 0, size));
    if (end == nullptr || end - data > 255) {
        return;
    }
    const char* signature = reinterpret_cast<const char*>(data);
    if (!dbus_signature_validate(signature, nullptr) || strchr(signature, DBUS_TYPE_UNIX_FD) != nullptr) {
        return;
    }
    Values values = {end + 1, size - size_t(end - data) - 1};
    DBusMessage* message = dbus_message_new_method_call("org.gnome.Mutter.DisplayConfig", "/a", nullptr, "State");
    DBusMessageIter to;
    dbus_message_iter_init_append(message, &to);
    DBusSignatureIter type;
    bool ok = true;
    if (signature[0] != '\0') {
        dbus_signature_iter_init(&type, signature);
        do {
            ok = Append(&to, &type, &values, 0);
        } while (ok && dbus_signature_iter_next(&type));
    }
    if (ok) {
        const DBusReading dbus = {dbus_message_iter_init, dbus_message_iter_get_arg_type, dbus_message_iter_recurse,
                                  dbus_message_iter_next, dbus_message_iter_get_basic};
        char* connector = MutterPrimaryFromReply(dbus, message);
        bool known = connector == nullptr;
        for (const char* name : kStrings) {
            known = known || strcmp(connector, name) == 0;
        }
        Require(known);
        free(connector);
    }
    dbus_message_unref(message);
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
