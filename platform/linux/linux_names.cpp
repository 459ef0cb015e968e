// Device names from the bytes a display gives, decoded as UTF-8.
#include "linux_names.h"

#include <stdint.h>

namespace {

const WCHAR kReplacement = 0xFFFD;

// Decodes the character at `text`, before `end`; returns how many bytes it took (at least 1).
// What is no character gives one U+FFFD per maximal subpart, as Unicode recommends and Python's
// and the WHATWG decoders do: a valid start cut off, by the end or by a byte that cannot follow,
// is one U+FFFD, and the byte that cut it is read afresh. The second byte's range rules out the
// overlong forms of every length, the surrogates and what lies past U+10FFFF, so each of their
// bytes gives one.
size_t Decode(const uint8_t* text, const uint8_t* end, WCHAR* c)
{
    const uint8_t lead = text[0];
    if (lead < 0x80) {
        *c = lead;
        return 1;
    }
    const size_t length = lead >= 0xC2 && lead < 0xE0   ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    if (length == 0) {
        *c = kReplacement;
        return 1;
    }
    uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    uint32_t value = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if (text + i == end || text[i] < low || text[i] > high) {
            *c = kReplacement;
            return i;
        }
        value = (value << 6) | (text[i] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *c = static_cast<WCHAR>(value);
    return length;
}

}  // namespace

void SetDeviceNameFromUtf8(MONITORINFOEXW* monitor, const char* utf8, size_t length)
{
    WCHAR name[CCHDEVICENAME - 1];
    size_t count = 0;
    const uint8_t* text = reinterpret_cast<const uint8_t*>(utf8);
    const uint8_t* const end = text != nullptr ? text + length : nullptr;
    while (text != end && count < CCHDEVICENAME - 1) {
        text += Decode(text, end, &name[count++]);
    }
    SetDeviceName(monitor, name, count);
}
