// kelvo-brand: writes a kelvo launcher with an application's icon and version information.
#include "tool.h"

#ifdef _WIN32
#include "bytes.h"
#include "text.h"

#include <cwchar>

// Windows hands over the command line as UTF-16; everything else works on UTF-8.
int wmain(int argc, wchar_t** argv)
{
    brand::Bytes text;
    brand::List<size_t> starts;
    for (int i = 0; i < argc; ++i) {
        size_t start = text.size();
        const auto* units = reinterpret_cast<const uint16_t*>(argv[i]);
        brand::Converted converted = brand::utf16_to_utf8(units, std::wcslen(argv[i]), text);
        if (converted == brand::Converted::invalid) {
            std::fputs("kelvo-brand: the command line is not valid Unicode\n", stderr);
            return brand::exit_failure;
        }
        if (converted == brand::Converted::out_of_memory || !starts.push(start)) {
            std::fputs("kelvo-brand: out of memory\n", stderr);
            return brand::exit_failure;
        }
    }
    brand::List<const char*> arguments;
    for (size_t start : starts) {
        if (!arguments.push(reinterpret_cast<const char*>(text.data()) + start)) {
            std::fputs("kelvo-brand: out of memory\n", stderr);
            return brand::exit_failure;
        }
    }
    return brand::run_tool(argc, arguments.begin(), stdout, stderr);
}
#else
int main(int argc, char** argv)
{
    return brand::run_tool(argc, argv, stdout, stderr);
}
#endif
