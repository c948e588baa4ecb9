#include "command/parameter_file.h"

#include "system/diagnostics.h"
#include "system/paths.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

enum class TokenizerState { BETWEEN_TOKENS, IN_TOKEN, IN_QUOTES, IN_COMMENT };

bool is_blank(wchar_t c, TokenRules rules)
{
    return c == L' ' || c == L'\t' || (rules == TokenRules::parameter_file && (c == L'\r' || c == L'\n'));
}

size_t checked_add(size_t a, size_t b)
{
    if (a > SIZE_MAX - b)
        fatal_error(L"Out of memory");
    return a + b;
}

// Copies the backslash run at p into out and returns where the scan goes on: n backslashes
// before a quote are n / 2, and an odd one left over makes that quote a literal.
const wchar_t* copy_backslash_run(const wchar_t* p, wchar_t*& out)
{
    const wchar_t* run = p;
    while (*p == L'\\')
        ++p;
    size_t count = static_cast<size_t>(p - run);
    if (*p != L'"') {
        wmemcpy(out, run, count);
        out += count;
        return p;
    }
    wmemset(out, L'\\', count / 2);
    out += count / 2;
    if (count % 2 == 0)
        return p;
    *out++ = L'"';
    return p + 1;
}

} // namespace

TokenList tokenize_text(const wchar_t* text, TokenRules rules)
{
    // Every token but the last ends at its own run of whitespace, and no character is ever
    // copied twice: runs + 2 slots and length + runs + 2 characters always suffice.
    size_t length = 0;
    size_t runs = 0;
    for (const wchar_t* p = text; *p != L'\0'; ++p, ++length)
        if (is_blank(*p, rules) && (p == text || !is_blank(p[-1], rules)))
            ++runs;
    size_t slots = checked_add(runs, 2);
    // The count is an int, and the slots' bytes must be representable.
    if (slots - 1 > static_cast<size_t>(INT_MAX) || slots > SIZE_MAX / sizeof(wchar_t*))
        fatal_error(L"Out of memory");
    size_t characters = checked_add(checked_add(length, runs), 2);
    size_t size = checked_add(slots * sizeof(wchar_t*), checked_wide_size(characters));
    auto** tokens = static_cast<wchar_t**>(checked_realloc(nullptr, size));

    wchar_t* out = reinterpret_cast<wchar_t*>(tokens + slots);
    wchar_t* start = out;
    int count = 0;
    auto end_token = [&] {
        *out++ = L'\0';
        tokens[count++] = start;
        start = out;
    };

    TokenizerState state = TokenizerState::BETWEEN_TOKENS;
    const wchar_t* p = text;
    while (*p != L'\0') {
        wchar_t c = *p;
        switch (state) {
        case TokenizerState::BETWEEN_TOKENS:
            if (c == L'#' && rules == TokenRules::parameter_file) {
                state = TokenizerState::IN_COMMENT;
            } else if (c == L'"') {
                state = TokenizerState::IN_QUOTES;
            } else if (c == L'\\') {
                state = TokenizerState::IN_TOKEN;
                p = copy_backslash_run(p, out);
                continue;
            } else if (!is_blank(c, rules)) {
                state = TokenizerState::IN_TOKEN;
                *out++ = c;
            }
            ++p;
            break;
        case TokenizerState::IN_TOKEN:
            if (is_blank(c, rules)) {
                end_token();
                state = TokenizerState::BETWEEN_TOKENS;
            } else if (c == L'"') {
                state = TokenizerState::IN_QUOTES;
            } else if (c == L'\\') {
                p = copy_backslash_run(p, out);
                continue;
            } else {
                *out++ = c;
            }
            ++p;
            break;
        case TokenizerState::IN_QUOTES:
            if (c == L'"') {
                if (is_blank(p[1], rules)) {
                    end_token();
                    state = TokenizerState::BETWEEN_TOKENS;
                } else {
                    state = TokenizerState::IN_TOKEN;
                }
            } else if (c == L'\\') {
                p = copy_backslash_run(p, out);
                continue;
            } else {
                *out++ = c;
            }
            ++p;
            break;
        case TokenizerState::IN_COMMENT:
            if (c == L'\r' || c == L'\n')
                state = TokenizerState::BETWEEN_TOKENS;
            ++p;
            break;
        }
    }
    // A token begun at the very end is kept even when empty: `x ""` means an empty last
    // argument, as it does before a blank and as Windows reads it.
    if (state == TokenizerState::IN_TOKEN || state == TokenizerState::IN_QUOTES)
        end_token();
    // The slot behind the closing null stays null too, so that an empty list whose element 0
    // is replaced by the launcher path is still null-terminated.
    tokens[count] = nullptr;
    if (static_cast<size_t>(count) + 1 < slots)
        tokens[count + 1] = nullptr;
    return {count, tokens};
}

wchar_t* load_parameter_file(const wchar_t* path)
{
    trace_message(L"Loading parameter file\n'%s'", path);
    FILE* file = _wfopen(path, L"rb");
    if (file == nullptr)
        fatal_error(L"Cannot open parameter file\n'%.1000s':\nerrno=%d", path, errno);
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    if (size == 0) {
        fclose(file);
        fatal_error(L"Parameter file\n'%.1000s'\nis empty", path);
    }
    if (size < 0) {
        int error = errno;
        fclose(file);
        fatal_error(L"Cannot seek parameter file\n'%.1000s':\nerrno=%d", path, error);
    }
    fseek(file, 0, SEEK_SET);
    auto* bytes = static_cast<char*>(checked_realloc(nullptr, static_cast<size_t>(size) + 1));
    size_t got = fread(bytes, 1, static_cast<size_t>(size), file);
    if (ferror(file) || got < static_cast<size_t>(size)) {
        int error = errno;
        free(bytes);
        fclose(file);
        fatal_error(L"Cannot read parameter file\n'%.1000s':\nerrno=%d", path, error);
    }
    fclose(file);

    const char* content = bytes;
    int remaining = static_cast<int>(size);
    if (remaining >= 3 && static_cast<unsigned char>(content[0]) == 0xEF &&
        static_cast<unsigned char>(content[1]) == 0xBB && static_cast<unsigned char>(content[2]) == 0xBF) {
        content += 3;
        remaining -= 3;
    }
    if (remaining == 0) {
        free(bytes);
        fatal_error(L"Parameter file\n'%.1000s'\nis empty", path);
    }
    // One byte never yields more than one UTF-16 unit; malformed bytes become U+FFFD.
    auto* text = static_cast<wchar_t*>(
        checked_realloc(nullptr, checked_wide_size(static_cast<size_t>(remaining) + 1)));
    int units = MultiByteToWideChar(CP_UTF8, 0, content, remaining, text, remaining);
    DWORD error = GetLastError();
    free(bytes);
    if (units == 0)
        fatal_error(L"Cannot convert contents of parameter file\n'%.1000s'\nfrom UTF-8:\n%.255s", path,
                    system_error_text(error));
    text[units] = L'\0';
    trace_message(L"Parameter file\n'%s'\nloaded", path);
    return text;
}
