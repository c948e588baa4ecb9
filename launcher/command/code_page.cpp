#include "command/code_page.h"

#include <windows.h>

#include <cwchar>
#include <string_view>

namespace {

bool is_high_surrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool is_low_surrogate(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

NarrowedCharacter classify_byte(char byte)
{
    switch (byte) {
    case '"':
    case '\\':
    case ' ':
    case '\t':
        return NarrowedCharacter::separator;
    case '*':
    case '?':
        return NarrowedCharacter::wildcard;
    default:
        return NarrowedCharacter::other;
    }
}

// ASCII is itself in every ANSI code page, so only the other characters can turn into a
// separator or wildcard that was not written.
bool may_change(wchar_t c)
{
    return c >= 0x80;
}

// The single-byte characters (at most 16) that the character of units code units becomes in
// code_page. A lead byte and its trail byte are one character to the Java launcher and the C
// runtime, which both split double-byte text by character, so they are left out. A character
// the system cannot convert is taken as its default character, a question mark.
int single_byte_characters(const wchar_t* character, int units, unsigned code_page, char* out)
{
    char narrow[16];
    int length = WideCharToMultiByte(code_page, 0, character, units, narrow, sizeof narrow, nullptr, nullptr);
    if (length <= 0) {
        out[0] = '?';
        return 1;
    }
    int count = 0;
    for (int i = 0; i < length; ++i) {
        if (IsDBCSLeadByteEx(code_page, static_cast<BYTE>(narrow[i])) && i + 1 < length) {
            ++i;
            continue;
        }
        out[count++] = narrow[i];
    }
    return count;
}

} // namespace

int character_units(const wchar_t* text)
{
    return is_high_surrogate(text[0]) && is_low_surrogate(text[1]) ? 2 : 1;
}

NarrowedCharacter narrow_character(const wchar_t* character, int units, unsigned code_page)
{
    char bytes[16];
    int count = single_byte_characters(character, units, code_page, bytes);
    NarrowedCharacter result = NarrowedCharacter::other;
    for (int i = 0; i < count; ++i) {
        NarrowedCharacter byte = classify_byte(bytes[i]);
        if (byte == NarrowedCharacter::separator)
            return byte;
        if (byte == NarrowedCharacter::wildcard)
            result = byte;
    }
    return result;
}

const wchar_t* first_character_becoming(const wchar_t* text, size_t length, unsigned code_page,
                                        std::string_view bytes)
{
    if (code_page == utf8_code_page)
        return nullptr;
    for (size_t at = 0; at < length;) {
        const wchar_t* p = text + at;
        int units = at + 1 < length ? character_units(p) : 1;
        if (may_change(*p)) {
            char narrow[16];
            int count = single_byte_characters(p, units, code_page, narrow);
            for (int i = 0; i < count; ++i) {
                if (bytes.find(narrow[i]) != std::string_view::npos)
                    return p;
            }
        }
        at += static_cast<size_t>(units);
    }
    return nullptr;
}

const wchar_t* first_refused_character(const wchar_t* text, unsigned code_page)
{
    return first_character_becoming(text, wcslen(text), code_page, "\"\\ \t");
}

bool turns_into_wildcard(const wchar_t* text, unsigned code_page)
{
    return first_character_becoming(text, wcslen(text), code_page, "*?") != nullptr;
}

// substr without its out-of-range exception, which would pull exception handling into the
// launcher: pos never lies past the end here.
namespace {

std::string_view slice(std::string_view text, size_t pos, size_t count)
{
    return std::string_view(text.data() + pos, count < text.size() - pos ? count : text.size() - pos);
}

} // namespace

// The first activeCodePage element outside comments decides, whatever its namespace prefix.
// Windows takes the value case-sensitively, and only "UTF-8" means UTF-8.
bool manifest_declares_utf8(const char* manifest, size_t size)
{
    constexpr std::string_view element = "activeCodePage";
    constexpr std::string_view utf8_value = "UTF-8";
    std::string_view text(manifest, size);
    size_t at = 0;
    for (;;) {
        size_t open = text.find('<', at);
        if (open == std::string_view::npos)
            return false;
        if (slice(text, open, 4) == "<!--") {
            size_t end = text.find("-->", open + 4);
            if (end == std::string_view::npos)
                return false;
            at = end + 3;
            continue;
        }
        size_t close = text.find('>', open);
        if (close == std::string_view::npos)
            return false;
        std::string_view tag = slice(text, open + 1, close - open - 1);
        at = close + 1;
        std::string_view name = slice(tag, 0, tag.find_first_of(" \t\r\n/"));
        if (size_t colon = name.find(':'); colon != std::string_view::npos)
            name.remove_prefix(colon + 1);
        if (name != element)
            continue;
        if (tag.ends_with('/'))
            return false;
        size_t end = text.find('<', at);
        return end != std::string_view::npos && slice(text, at, end - at) == utf8_value;
    }
}
