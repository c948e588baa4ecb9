#include "finding/java_search.h"

#include "command/code_page.h"
#include "command/quoting.h"
#include "finding/java_runtime.h"
#include "system/diagnostics.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

namespace {

// Searched when the launcher word names no version: the releases this launcher knows.
constexpr JavaVersion default_low{11, 0, 0};
constexpr JavaVersion newest_known{37, 0, 0};

bool is_valid_bound(JavaVersion version)
{
    return version.major >= 1 && version.minor >= 0 && version.micro >= 0;
}

// A runtime in a "jre64\" folder runs only on 64-bit Windows; when that cannot be told, the
// user hears why the shipped runtime is passed over and the search goes on.
bool usable_on_this_windows(const wchar_t* name)
{
    if (wcsstr(name, jre64_folder) == nullptr)
        return true;
    switch (windows_bits()) {
    case WindowsBits::bits64:
        return true;
    case WindowsBits::bits32:
        return false;
    case WindowsBits::unknown:
        break;
    }
    show_error(L"Cannot determine whether OS is 32-bit or 64-bit; will not use\n'%s'", name);
    return false;
}

// Puts the executable at the head of the command as it will read its own path, and answers
// the code page it reads its command line in.
unsigned append_java_executable(WideBuffer* command, const wchar_t* path)
{
    unsigned code_page = command_line_code_page(path);
    append_program_name(command, path, code_page);
    return code_page;
}

} // namespace

WindowsBits ask_windows_bits(const char* function_name, void* process)
{
    using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    FARPROC found = kernel == nullptr ? nullptr : GetProcAddress(kernel, function_name);
    if (found == nullptr)
        return WindowsBits::unknown;
    auto is_wow64 = reinterpret_cast<IsWow64Function>(reinterpret_cast<void (*)()>(found));
    BOOL wow64 = TRUE;
    if (!is_wow64(process, &wow64))
        return WindowsBits::unknown;
    // A 32-bit program outside WOW64 runs on 32-bit Windows.
    return wow64 ? WindowsBits::bits64 : WindowsBits::bits32;
}

WindowsBits windows_bits()
{
#ifdef KELVO_TEST_SEAMS
    // Test-only builds: KELVO_TEST_OS_BITS stands in for the Windows the tests cannot run on.
    // "32" and "64" answer directly; "missing" asks for a function kernel32 lacks, "fails" asks
    // about a null process handle, so both go through the real question and fail there.
    // Unset or any other value: the real answer.
    if (const wchar_t* seam = _wgetenv(L"KELVO_TEST_OS_BITS")) {
        if (wcscmp(seam, L"32") == 0)
            return WindowsBits::bits32;
        if (wcscmp(seam, L"64") == 0)
            return WindowsBits::bits64;
        if (wcscmp(seam, L"missing") == 0)
            return ask_windows_bits("IsWow64ProcessMissing", GetCurrentProcess());
        if (wcscmp(seam, L"fails") == 0)
            return ask_windows_bits("IsWow64Process", nullptr);
    }
#endif
#ifdef _WIN64
    // A 64-bit program runs on 64-bit Windows only.
    return WindowsBits::bits64;
#else
    return ask_windows_bits("IsWow64Process", GetCurrentProcess());
#endif
}

VersionSpecification parse_version_specification(const wchar_t* text, JavaVersion* low, JavaVersion* high)
{
    // The fields of "%d.%d.%d%c%d.%d.%d", read as far as they match: the numbers of the two
    // bounds, with the separator character between them as field 3.
    int numbers[6] = {};
    wchar_t separator = L'\0';
    int fields = 0;
    const wchar_t* at = text;
    for (; fields < 7; ++fields) {
        if (fields == 3) {
            if (*at == L'\0')
                break;
            separator = *at++;
            continue;
        }
        bool after_dot = fields == 1 || fields == 2 || fields == 5 || fields == 6;
        if (after_dot) {
            if (*at != L'.')
                break;
            ++at;
        }
        DecimalRead read = read_decimal(&at, &numbers[fields < 3 ? fields : fields - 1]);
        if (read == DecimalRead::too_large)
            return VersionSpecification::malformed;
        if (read == DecimalRead::none)
            break;
    }

    *low = JavaVersion{numbers[0], numbers[1], numbers[2]};
    switch (fields) {
    case 3:
        if (!is_valid_bound(*low))
            return VersionSpecification::invalid;
        *high = *low;
        return VersionSpecification::valid;
    case 4:
        if (!is_valid_bound(*low) || separator != L'+')
            return VersionSpecification::invalid;
        *high = compare_java_versions(*low, newest_known) <= 0 ? newest_known : *low;
        return VersionSpecification::valid;
    case 7:
        *high = JavaVersion{numbers[3], numbers[4], numbers[5]};
        if (!is_valid_bound(*low) || !is_valid_bound(*high) || separator != L'-' ||
            compare_java_versions(*low, *high) > 0)
            return VersionSpecification::invalid;
        return VersionSpecification::valid;
    default:
        return VersionSpecification::malformed;
    }
}

unsigned select_java_launcher(wchar_t* word, const wchar_t* launcher_path, WideBuffer* command)
{
    bool use_javaw = wcsstr(word, javaw_marker) != nullptr;

    // The version specification lies between the last "[" and the last "]" behind it.
    wchar_t* specification = nullptr;
    if (wchar_t* open = wcsrchr(word, L'[')) {
        wchar_t* close = wcsrchr(open, L']');
        if (close == nullptr || close - open - 1 < 2)
            fatal_error(L"Malformed Java version '%.1000s'", open);
        *open = L'\0';
        *close = L'\0';
        specification = open + 1;
    }

    PathBuffer path;
    const wchar_t* name = word;
    if (!is_absolute_path(word) && resolve_relative_to_exe(path, word, launcher_path))
        name = path;
    // A named executable that exists is used as it is; its version is not examined.
    if (file_exists(name) && usable_on_this_windows(name))
        return append_java_executable(command, name);

    JavaVersion low = default_low;
    JavaVersion high = newest_known;
    if (specification != nullptr) {
        switch (parse_version_specification(specification, &low, &high)) {
        case VersionSpecification::malformed:
            fatal_error(L"Malformed Java version '%.1000s'", specification);
        case VersionSpecification::invalid:
            fatal_error(L"Invalid Java version '%.1000s'", specification);
        case VersionSpecification::valid:
            break;
        }
    }
    trace_message(L"Searching installed Java with version in the %d.%d.%d-%d.%d.%d range", low.major, low.minor,
                  low.micro, high.major, high.minor, high.micro);
    if (!find_java_executable(low, high, specification != nullptr, use_javaw, path))
        fatal_error(L"Don't find a Java runtime with version in the %d.%d.%d-%d.%d.%d range", low.major, low.minor,
                    low.micro, high.major, high.minor, high.micro);
    trace_message(L"Found Java launcher\n'%s'", path);
    return append_java_executable(command, path);
}
