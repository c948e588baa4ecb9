// The order of the search: the registry's JavaSoft keys, the environment, the installers' keys.
#include "finding/java_search.h"

#include "finding/java_runtime.h"
#include "in_process/runtime_inspection.h"
#include "system/diagnostics.h"
#include "system/lookups.h"

#include <climits>
#include <cwchar>

namespace {

constexpr wchar_t quick_variable[] = L"QUICK_KELVO";

#if defined(__aarch64__)
bool own_machine_only = false;
#endif

// A plain variable (no default), read without trace entries.
const wchar_t* environment_value(const wchar_t* name)
{
    wchar_t plain[32];
    wcsncpy(plain, name, 31);
    plain[31] = L'\0';
    return read_environment_variable(plain, nullptr, true);
}

} // namespace

bool find_java_in_environment(bool use_javaw, PathBuffer out)
{
    // Only the first home variable that is set counts.
    const wchar_t* variable = nullptr;
    const wchar_t* home = nullptr;
    for (const wchar_t* candidate : java_home_variables) {
        variable = candidate;
        home = environment_value(candidate);
        if (home != nullptr)
            break;
    }
    if (home != nullptr && wcslen(home) <= INT_MAX &&
        join_path(out, home, static_cast<int>(wcslen(home)), use_javaw ? home_javaw_executable : home_java_executable) &&
        file_exists(out) && wanted_runtime(out)) {
        trace_message(L"Found Java executable using environment variable '%s'\n'%s'", variable, out);
        return true;
    }

    const wchar_t* folders = environment_value(path_variable);
    if (folders == nullptr)
        return false;
    const wchar_t* name = use_javaw ? javaw_executable : java_executable;
    const wchar_t* piece = folders;
    while (*piece != L'\0') {
        const wchar_t* end = wcschr(piece, L';');
        if (end == nullptr)
            end = piece + wcslen(piece);
        auto length = static_cast<size_t>(end - piece);
        if (length > 0 && length <= INT_MAX && join_path(out, piece, static_cast<int>(length), name) &&
            file_exists(out) && wanted_runtime(out)) {
            trace_message(L"Found Java executable using environment variable '%s'\n'%s'", path_variable, out);
            return true;
        }
        piece = *end == L';' ? end + 1 : end;
    }
    return false;
}

#if defined(__aarch64__)
bool wanted_runtime(const wchar_t* executable)
{
    if (!own_machine_only || runtime_of_own_machine(executable))
        return true;
    trace_message(L"Passed over\n'%.1000s':\nits virtual machine is no ARM64 DLL", executable);
    return false;
}
#endif

bool find_java_executable(JavaVersion low, JavaVersion high, bool version_given, bool use_javaw, PathBuffer out)
{
#if defined(__aarch64__)
    // The ARM64 launcher searches twice: here for a runtime it can host, then below for any.
    if (!own_machine_only) {
        own_machine_only = true;
        trace_message(L"Searching a runtime of ARM64 first");
        bool found = find_java_executable(low, high, version_given, use_javaw, out);
        own_machine_only = false;
        if (found)
            return true;
        trace_message(L"Searching a runtime of any machine");
    }
#endif
    // QUICK_KELVO skips every registry read.
    bool read_registry = environment_value(quick_variable) == nullptr;
    if (read_registry && find_registered_java(low, high, use_javaw, out))
        return true;
    // A version specification is never satisfied from the environment: it says nothing of versions.
    if (!version_given && find_java_in_environment(use_javaw, out))
        return true;
    // Today's installers' keys come last, so that they only turn a search that found nothing
    // into a start.
    return read_registry && find_java_in_vendor_keys(low, high, use_javaw, out);
}
