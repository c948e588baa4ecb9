#include "command_line.h"

#include <cstdio>
#include <cstring>

namespace brand {

const char usage[] =
    "usage: kelvo-brand INPUT.exe OUTPUT.exe [--icon FILE.ico] [--version A[.B[.C[.D]]]]\n"
    "                   [--product TEXT] [--company TEXT] [--description TEXT] [--copyright TEXT]\n"
    "Writes a copy of the kelvo launcher INPUT.exe with the icon and version information of an\n"
    "application: --icon replaces the icon with all images of FILE.ico; --version sets the file and\n"
    "product version; the texts become ProductName, CompanyName, FileDescription and LegalCopyright.\n"
    "OriginalFilename and InternalName come from OUTPUT's name. Sign OUTPUT.exe after branding it.\n";

bool parse_version(const char* option, const char* text, Options& options, Error& error)
{
    uint32_t numbers[4] = {};
    size_t count = 0;
    const char* at = text;
    while (true) {
        if (count == 4 || *at < '0' || *at > '9')
            return fail(error, "%s %s: give 1 to 4 numbers separated by dots", option, text);
        uint32_t value = 0;
        for (; *at >= '0' && *at <= '9'; ++at) {
            value = value * 10 + static_cast<uint32_t>(*at - '0');
            if (value > 65535)
                return fail(error, "%s %s: a version number is at most 65535", option, text);
        }
        numbers[count++] = value;
        if (*at == '\0')
            break;
        if (*at++ != '.')
            return fail(error, "%s %s: give 1 to 4 numbers separated by dots", option, text);
    }
    options.version_given = true;
    size_t length = 0;
    for (size_t i = 0; i < 4; ++i)
        options.version[i] = static_cast<uint16_t>(numbers[i]);
    for (size_t i = 0; i < count; ++i)
        length += static_cast<size_t>(std::snprintf(options.version_text + length, sizeof options.version_text - length,
                                                    i == 0 ? "%u" : ".%u", static_cast<unsigned>(numbers[i])));
    return true;
}

bool parse_command_line(int argc, const char* const* argv, Options& options, Error& error)
{
    struct TextOption {
        const char* name;
        const char** value;
    };
    const TextOption texts[] = {
        {"--icon", &options.icon},
        {"--product", &options.product},
        {"--company", &options.company},
        {"--description", &options.description},
        {"--copyright", &options.copyright},
    };
    size_t files = 0;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            options.help = true;
            return true;
        }
        if (argument[0] != '-' || argument[1] == '\0') {
            if (files == 2)
                return fail(error, "one input and one output file, not more (%s)", argument);
            (files == 0 ? options.input : options.output) = argument;
            ++files;
            continue;
        }
        const char** target = nullptr;
        bool version = std::strcmp(argument, "--version") == 0;
        for (const TextOption& text : texts)
            if (std::strcmp(argument, text.name) == 0)
                target = text.value;
        if (target == nullptr && !version)
            return fail(error, "unknown option %s", argument);
        if (i + 1 == argc)
            return fail(error, "%s needs a value", argument);
        if (version ? options.version_given : *target != nullptr)
            return fail(error, "%s is given twice", argument);
        const char* value = argv[++i];
        if (version) {
            if (!parse_version(argument, value, options, error))
                return false;
        } else {
            *target = value;
        }
    }
    if (files < 2)
        return fail(error, "an input and an output file are needed (kelvo-brand --help)");
    return true;
}

}  // namespace brand
