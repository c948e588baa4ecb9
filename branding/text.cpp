#include "text.h"

namespace brand {
namespace {

bool append_unit(Bytes& out, uint32_t unit)
{
    return out.append_u16(static_cast<uint16_t>(unit));
}

char ascii_upper(uint32_t c)
{
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

}  // namespace

Converted utf8_to_utf16(const char* text, Bytes& out)
{
    size_t start = out.size();
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (*s != 0) {
        uint32_t c = *s;
        size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
        if (extra == 4) {
            out.truncate(start);
            return Converted::invalid;
        }
        c &= extra == 0 ? 0x7F : 0x3F >> extra;
        for (size_t i = 1; i <= extra; ++i) {
            if ((s[i] & 0xC0) != 0x80) {
                out.truncate(start);
                return Converted::invalid;
            }
            c = c << 6 | (s[i] & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are no characters.
        constexpr uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (c < smallest[extra] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            out.truncate(start);
            return Converted::invalid;
        }
        bool appended = c < 0x10000 ? append_unit(out, c)
                                    : append_unit(out, 0xD800 + ((c - 0x10000) >> 10)) &&
                                          append_unit(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        if (!appended) {
            out.truncate(start);
            return Converted::out_of_memory;
        }
        s += 1 + extra;
    }
    return Converted::ok;
}

Converted utf16_to_utf8(const uint16_t* units, size_t count, Bytes& out)
{
    size_t start = out.size();
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out.truncate(start);
            return Converted::invalid;
        }
        uint8_t bytes[4];
        size_t length = 0;
        if (c < 0x80) {
            bytes[length++] = static_cast<uint8_t>(c);
        } else if (c < 0x800) {
            bytes[length++] = static_cast<uint8_t>(0xC0 | c >> 6);
            bytes[length++] = static_cast<uint8_t>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes[length++] = static_cast<uint8_t>(0xE0 | c >> 12);
            bytes[length++] = static_cast<uint8_t>(0x80 | (c >> 6 & 0x3F));
            bytes[length++] = static_cast<uint8_t>(0x80 | (c & 0x3F));
        } else {
            bytes[length++] = static_cast<uint8_t>(0xF0 | c >> 18);
            bytes[length++] = static_cast<uint8_t>(0x80 | (c >> 12 & 0x3F));
            bytes[length++] = static_cast<uint8_t>(0x80 | (c >> 6 & 0x3F));
            bytes[length++] = static_cast<uint8_t>(0x80 | (c & 0x3F));
        }
        if (!out.append(bytes, length)) {
            out.truncate(start);
            return Converted::out_of_memory;
        }
    }
    if (!out.append_zeros(1)) {
        out.truncate(start);
        return Converted::out_of_memory;
    }
    return Converted::ok;
}

bool equals_ascii(const uint8_t* units, size_t count, const char* ascii)
{
    size_t i = 0;
    for (; i < count && ascii[i] != '\0'; ++i) {
        uint16_t unit = load_u16(units + 2 * i);
        if (unit > 0x7F || ascii_upper(unit) != ascii_upper(static_cast<unsigned char>(ascii[i])))
            return false;
    }
    return i == count && ascii[i] == '\0';
}

}  // namespace brand
