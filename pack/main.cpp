// kelvo-pack: writes a Windows application folder from a jar: the branded launcher, its
// parameter file, the application's files and a Java runtime.
#include "pack.h"

#ifdef _WIN32
#include "text.h"

#include <cwchar>

// Windows hands over the command line as UTF-16; everything else works on UTF-8.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        brand::Bytes text;
        const auto* units = reinterpret_cast<const uint16_t*>(argv[i]);
        if (brand::utf16_to_utf8(units, std::wcslen(argv[i]), text) != brand::Converted::ok) {
            std::fputs("kelvo-pack: the command line is not valid Unicode\n", stderr);
            return pack::exit_failure;
        }
        arguments.emplace_back(reinterpret_cast<const char*>(text.data()));
    }
    return pack::run_pack(arguments, stdout, stderr);
}
#else
int main(int argc, char** argv)
{
    return pack::run_pack(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
#endif
