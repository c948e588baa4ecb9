#include "command/quoting.h"

#include "command/code_page.h"

#include <cwchar>

namespace {

// Windows splits arguments at blanks and tabs; a backslash run matters only before a quote
// or at the end, where the closing quote would follow it.
bool needs_quotes(const wchar_t* text)
{
    if (*text == L'\0')
        return true;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (*p == L' ' || *p == L'\t' || *p == L'"')
            return true;
        if (*p == L'\\' && (p[1] == L'"' || p[1] == L'\0'))
            return true;
    }
    return false;
}

void append_element(WideBuffer* buffer, const wchar_t* text, bool quote)
{
    if (!quote) {
        wide_buffer_append(buffer, static_cast<int>(wcslen(text)), text);
        return;
    }
    wide_buffer_append_char(buffer, L'"');
    const wchar_t* p = text;
    while (*p != L'\0') {
        if (*p == L'\\') {
            const wchar_t* run = p;
            while (*p == L'\\')
                ++p;
            int count = static_cast<int>(p - run);
            wide_buffer_append(buffer, count, run);
            if (*p == L'"' || *p == L'\0')
                wide_buffer_append(buffer, count, run);
            continue;
        }
        const wchar_t* plain = p;
        while (*p != L'\0' && *p != L'\\' && *p != L'"')
            ++p;
        if (p > plain) {
            wide_buffer_append(buffer, static_cast<int>(p - plain), plain);
            continue;
        }
        wide_buffer_append(buffer, 2, L"\\\"");
        ++p;
    }
    wide_buffer_append_char(buffer, L'"');
}

} // namespace

void append_quoted_argument(WideBuffer* buffer, const wchar_t* text)
{
    append_element(buffer, text, needs_quotes(text));
}

void append_quoted_argument(WideBuffer* buffer, const wchar_t* text, unsigned code_page)
{
    append_element(buffer, text, needs_quotes(text) || turns_into_wildcard(text, code_page));
}

void append_program_name(WideBuffer* buffer, const wchar_t* path, unsigned code_page)
{
    append_element(buffer, path,
                   needs_quotes(path) || first_character_becoming(path, wcslen(path), code_page, program_name_ends));
}
