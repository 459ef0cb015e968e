// Device names from the bytes a display gives, decoded as UTF-8.
#include "linux_names.h"

#include <stdint.h>

namespace {

const WCHAR kReplacement = 0xFFFD;

// Decodes the character at `text`, before `end`; returns its length in bytes (at least 1).
// Overlong forms, surrogates, values past U+10FFFF and a character cut off by the end are not
// characters: their first byte gives U+FFFD.
size_t Decode(const uint8_t* text, const uint8_t* end, WCHAR* c)
{
    const uint8_t lead = text[0];
    const size_t length = lead < 0x80                   ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    if (length == 0 || size_t(end - text) < length) {
        *c = kReplacement;
        return 1;
    }
    uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            *c = kReplacement;
            return 1;
        }
        value = (value << 6) | (text[i] & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) {
        *c = kReplacement;
        return 1;
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
