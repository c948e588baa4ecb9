// kelvo-brand's command line.
#pragma once

#include "bytes.h"

namespace brand {

extern const char usage[];

struct Options {
    bool help = false;
    const char* input = nullptr;
    const char* output = nullptr;
    const char* icon = nullptr;  // nullptr: not given, and so for every text below
    bool version_given = false;
    uint16_t version[4] = {};
    char version_text[24] = {};  // the numbers as given, without leading zeros: "1.4.2"
    const char* product = nullptr;
    const char* company = nullptr;
    const char* description = nullptr;
    const char* copyright = nullptr;
};

// Reads the arguments after the program name (UTF-8): two files and options, in any order.
bool parse_command_line(int argc, const char* const* argv, Options& options, Error& error);

// Reads 1 to 4 numbers of at most 65535, separated by dots (missing ones are 0), the value of
// the named option.
bool parse_version(const char* option, const char* text, Options& options, Error& error);

}  // namespace brand
