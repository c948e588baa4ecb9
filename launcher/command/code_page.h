// The code page in which the Java launcher reads its command line. java.exe and javaw.exe
// split GetCommandLineA(), the wide command converted by the system (best fit on) to the
// ANSI code page of their process, and expand unquoted "*" and "?" as file patterns.
#pragma once

#include <cstddef>
#include <string_view>

constexpr unsigned utf8_code_page = 65001;

// What one character of the command turns into when the system converts it.
enum class NarrowedCharacter {
    other,      // anything the Java launcher neither splits at nor expands
    separator,  // a double quote, backslash, blank or tab: places the argument boundaries
    wildcard,   // a star or question mark: a file pattern unless quoted
};

// Code units of the character at text: 2 for a surrogate pair, 1 otherwise.
int character_units(const wchar_t* text);

// What the character of units code units at character becomes in code_page.
NarrowedCharacter narrow_character(const wchar_t* character, int units, unsigned code_page);

// The first character among the first length units of text that becomes one of the ASCII
// characters in bytes without being one, or null.
const wchar_t* first_character_becoming(const wchar_t* text, size_t length, unsigned code_page,
                                        std::string_view bytes);

// The first character of text that becomes a separator without being one, or null: the
// Java launcher would split the command elsewhere than the Windows rules it was built by.
const wchar_t* first_refused_character(const wchar_t* text, unsigned code_page);

// The Java launcher reads its own path up to the first blank or tab outside quotes: a
// character that becomes one needs quotes around the path, and one that becomes a double
// quote would end or start quoting there.
constexpr std::string_view program_name_ends = " \t";
constexpr std::string_view program_name_refused = "\"";

// Whether a character of text that is no star or question mark becomes one.
bool turns_into_wildcard(const wchar_t* text, unsigned code_page);

// Whether a manifest (its UTF-8 bytes) declares the active code page UTF-8.
bool manifest_declares_utf8(const char* manifest, size_t size);

// The system's ANSI code page: that of every process whose manifest declares none. The
// launcher's own declares UTF-8, so its GetACP() is no guide to another program's.
unsigned system_code_page();

// The code page in which the executable at path will read its command line: UTF-8 when its
// embedded manifest or the system asks for it, the system's ANSI code page otherwise.
unsigned command_line_code_page(const wchar_t* path);
