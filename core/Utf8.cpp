#include "core/Utf8.h"

#include "core/Error.h"

// Walks the input once; with out null it only counts the UTF-16 units.
static int64_t Decode(const uint8_t* bytes, int64_t count, wchar_t* out)
{
    int64_t units = 0;
    auto put = [&](uint32_t value) {
        if (value > 0xFFFF) {
            value -= 0x10000;
            if (out) {
                out[units] = static_cast<wchar_t>(0xD800 + ((value >> 10) & 0x3FF));
                out[units + 1] = static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
            }
            units += 2;
        } else {
            if (out)
                out[units] = static_cast<wchar_t>(value);
            units++;
        }
    };
    int64_t i = 0;
    while (i < count) {
        uint8_t lead = bytes[i++];
        int following;
        uint32_t value;
        if (lead < 0x80) {
            put(lead);
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            following = 1;
            value = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            following = 2;
            value = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            following = 3;
            value = lead & 0x07;
        } else {
            put('?');
            continue;
        }
        bool broken = false;
        for (; following > 0 && i < count; following--) {
            if ((bytes[i] & 0xC0) != 0x80) {
                broken = true; // that byte starts the next character
                break;
            }
            value = (value << 6) | (bytes[i++] & 0x3F);
        }
        put(broken ? '?' : value);
    }
    return units;
}

Str Utf8ToStr(const uint8_t* bytes, int64_t count)
{
    if (count < 0)
        throw IndexError();
    if (count > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        count -= 3;
    }
    Str result = Str::Allocate(Decode(bytes, count, nullptr));
    Decode(bytes, count, result.bufferForFilling());
    return result;
}
