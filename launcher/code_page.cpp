#include "code_page.h"

#include <windows.h>

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

} // namespace

int character_units(const wchar_t* text)
{
    return is_high_surrogate(text[0]) && is_low_surrogate(text[1]) ? 2 : 1;
}

NarrowedCharacter narrow_character(const wchar_t* character, int units, unsigned code_page)
{
    char narrow[16];
    int length = WideCharToMultiByte(code_page, 0, character, units, narrow, sizeof narrow, nullptr, nullptr);
    // A character the system cannot convert is taken as its default character, a question mark.
    if (length <= 0)
        return NarrowedCharacter::wildcard;
    NarrowedCharacter result = NarrowedCharacter::other;
    for (int i = 0; i < length; ++i) {
        // A lead byte and its trail byte are one character to the Java launcher and the C
        // runtime, which both split double-byte text by character.
        if (IsDBCSLeadByteEx(code_page, static_cast<BYTE>(narrow[i])) && i + 1 < length) {
            ++i;
            continue;
        }
        NarrowedCharacter byte = classify_byte(narrow[i]);
        if (byte == NarrowedCharacter::separator)
            return byte;
        if (byte == NarrowedCharacter::wildcard)
            result = byte;
    }
    return result;
}

const wchar_t* first_refused_character(const wchar_t* text, unsigned code_page)
{
    if (code_page == utf8_code_page)
        return nullptr;
    for (const wchar_t* p = text; *p != L'\0';) {
        int units = character_units(p);
        if (may_change(*p) && narrow_character(p, units, code_page) == NarrowedCharacter::separator)
            return p;
        p += units;
    }
    return nullptr;
}

bool turns_into_wildcard(const wchar_t* text, unsigned code_page)
{
    if (code_page == utf8_code_page)
        return false;
    for (const wchar_t* p = text; *p != L'\0';) {
        int units = character_units(p);
        if (may_change(*p) && narrow_character(p, units, code_page) == NarrowedCharacter::wildcard)
            return true;
        p += units;
    }
    return false;
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
