#include "in_process/runtime_facts.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Blanks and tabs separate the words of a jvm.cfg line; a carriage return of a Windows line
// end is no part of a word either.
bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

bool release_java_version(const char* text, JavaVersion* version)
{
    // The key at the start of a line, its value in quotes or not.
    constexpr char key[] = "JAVA_VERSION=";
    const char* at = text;
    while ((at = strstr(at, key)) != nullptr && at != text && at[-1] != '\n')
        ++at;
    if (at == nullptr)
        return false;
    at += sizeof key - 1;
    if (*at == '"')
        ++at;
    // One to four numbers joined by dots, of which the first three are kept, then the end of
    // the value or a suffix: -ea, +36, or Java 8's _392.
    int numbers[3] = {};
    for (int field = 0;; ++field) {
        if (field == 4 || !is_digit(*at))
            return false;
        long long value = 0;
        for (; is_digit(*at); ++at) {
            value = value * 10 + (*at - '0');
            if (value > INT_MAX)
                return false;
        }
        if (field < 3)
            numbers[field] = static_cast<int>(value);
        if (*at != '.')
            break;
        ++at;
    }
    if (strchr("\"\r\n-+_", *at) == nullptr)
        return false;
    *version = JavaVersion{numbers[0], numbers[1], numbers[2]};
    return true;
}

bool decodes_arguments_in_active_code_page(JavaVersion version)
{
    auto update_at_least = [&](int update) { return version.minor > 0 || version.micro >= update; };
    return version.major >= 19 || (version.major == 17 && update_at_least(5)) ||
           (version.major == 11 && update_at_least(17));
}

bool default_virtual_machine(const char* text, wchar_t* name, size_t capacity)
{
    for (const char* line = text; *line != '\0';) {
        const char* next = line + strcspn(line, "\r\n");
        const char* word_end = line;
        while (word_end < next && !is_blank(*word_end))
            ++word_end;
        const char* second = word_end;
        while (second < next && is_blank(*second))
            ++second;
        // jli.dll passes over comments and lines of one word.
        if (*line != '#' && word_end > line && second < next) {
            auto length = static_cast<size_t>(word_end - line - 1);
            if (length == 0 || length >= capacity)
                return false;
            for (size_t i = 0; i < length; ++i) {
                char c = line[1 + i];
                if (c == '/' || c == '\\' || c == ':' || (c & 0x80) != 0)
                    return false;
                name[i] = static_cast<wchar_t>(c);
            }
            name[length] = L'\0';
            return true;
        }
        line = next + (*next != '\0');
    }
    return false;
}

unsigned pe_machine(const unsigned char* bytes, size_t size)
{
    constexpr size_t header_offset_at = 0x3C;
    if (size < header_offset_at + 4 || bytes[0] != 'M' || bytes[1] != 'Z')
        return 0;
    // Windows runs on little-endian machines only, as the format's numbers are.
    uint32_t header = 0;
    memcpy(&header, bytes + header_offset_at, sizeof header);
    uint16_t machine = 0;
    if (header > size - 6 || memcmp(bytes + header, "PE\0\0", 4) != 0)
        return 0;
    memcpy(&machine, bytes + header + 4, sizeof machine);
    return machine;
}
