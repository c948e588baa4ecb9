#include "system/text_format.h"

// %lu and %lx read an int's bytes: long is int's size on every Windows machine.
static_assert(sizeof(long) == sizeof(int));

namespace {

struct Output {
    wchar_t* text;
    int capacity;
    int length;
};

void put(Output& out, wchar_t c)
{
    if (out.length < out.capacity - 1)
        out.text[out.length] = c;
    ++out.length;
}

int read_count(const wchar_t*& f)
{
    int count = 0;
    while (*f >= L'0' && *f <= L'9')
        count = count * 10 + (*f++ - L'0');
    return count;
}

} // namespace

int format_text(wchar_t* text, int capacity, const wchar_t* format, va_list args)
{
    Output out{text, capacity, 0};
    for (const wchar_t* f = format; *f != L'\0'; ++f) {
        if (*f != L'%') {
            put(out, *f);
            continue;
        }
        wchar_t padding = *++f == L'0' ? L'0' : L' ';
        int width = read_count(f);
        unsigned precision = ~0u;
        if (*f == L'.') {
            ++f;
            precision = static_cast<unsigned>(read_count(f));
        }
        if (*f == L'l')
            ++f;
        wchar_t conversion = *f;
        if (conversion == L's' || conversion == L'S') {
            const void* string = va_arg(args, const void*);
            bool narrow = conversion == L'S';
            if (string == nullptr) {
                string = "(null)";
                narrow = true;
            }
            for (unsigned i = 0; i < precision; ++i) {
                wchar_t unit = narrow ? static_cast<unsigned char>(static_cast<const char*>(string)[i])
                                      : static_cast<const wchar_t*>(string)[i];
                if (unit == L'\0')
                    break;
                put(out, unit);
            }
        } else if (conversion == L'd' || conversion == L'u' || conversion == L'x' || conversion == L'X') {
            // An int and an unsigned share their bytes: %d reads the one as the other.
            unsigned value = va_arg(args, unsigned);
            bool negative = conversion == L'd' && static_cast<int>(value) < 0;
            if (negative)
                value = 0u - value;
            unsigned base = conversion == L'x' || conversion == L'X' ? 16 : 10;
            wchar_t digits[10];
            int count = 0;
            do {
                unsigned digit = value % base;
                // 'x' and 'X' differ from 'a' and 'A' in the same bit.
                digits[count++] = static_cast<wchar_t>(digit < 10 ? L'0' + digit : ((conversion & 0x20) | L'A') + digit - 10);
                value /= base;
            } while (value != 0);
            if (negative && padding == L'0')
                put(out, L'-');
            for (int length = count + (negative ? 1 : 0); length < width; ++length)
                put(out, padding);
            if (negative && padding == L' ')
                put(out, L'-');
            while (count > 0)
                put(out, digits[--count]);
        } else if (conversion == L'%') {
            put(out, L'%');
        } else if (conversion == L'\0') {
            // A format that ends within a conversion ends the text.
            --f;
        }
    }
    if (capacity > 0)
        text[out.length < capacity ? out.length : capacity - 1] = L'\0';
    return out.length;
}
