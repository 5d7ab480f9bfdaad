#include "core/TextWriter.h"

#include "core/Error.h"

void TextWriter::writeCodePoint(uint32_t cp)
{
    if (!file.isOpen() || file.isFailed())
        throw InternalError();
    uint8_t bytes[8];
    int count = 0;
    bool crlf = cp == 10 && file.lineBreaks;
    switch (file.encoding) {
    case 0:
    case 3:
        if (crlf) {
            bytes[count++] = 0x0D;
            bytes[count++] = 0x0A;
        } else if (file.encoding == 3) {
            bytes[count++] = static_cast<uint8_t>(cp);
        } else if (cp < 0x80) {
            bytes[count++] = static_cast<uint8_t>(cp);
        } else if (cp < 0x800) {
            bytes[count++] = static_cast<uint8_t>(0xC0 | (cp >> 6));
            bytes[count++] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            bytes[count++] = static_cast<uint8_t>(0xE0 | (cp >> 12));
            bytes[count++] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
            bytes[count++] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        } else {
            bytes[count++] = static_cast<uint8_t>(0xF0 | (cp >> 18));
            bytes[count++] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
            bytes[count++] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
            bytes[count++] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        }
        break;
    case 1:
    case 2: {
        uint16_t units[2];
        int unitCount = 0;
        if (crlf) {
            units[unitCount++] = 0x0D;
            units[unitCount++] = 0x0A;
        } else if (cp > 0xFFFF) {
            units[unitCount++] = static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10));
            units[unitCount++] = static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            units[unitCount++] = static_cast<uint16_t>(cp);
        }
        for (int i = 0; i < unitCount; i++) {
            uint8_t low = static_cast<uint8_t>(units[i]), high = static_cast<uint8_t>(units[i] >> 8);
            bytes[count++] = file.encoding == 1 ? low : high;
            bytes[count++] = file.encoding == 1 ? high : low;
        }
        break;
    }
    default:
        throw InternalError();
    }
    file.write(bytes, count);
}

void TextWriter::write(const wchar_t* text, int64_t length)
{
    for (int64_t i = 0; i < length; i++) {
        uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i++;
        }
        writeCodePoint(unit);
    }
}
