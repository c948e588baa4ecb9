// The runtimes that the JavaSoft installers registered: one key per release up to Java 8,
// a CurrentVersion key from Java 9 on.
#include "finding/java_search.h"

#include "finding/java_runtime.h"
#include "system/diagnostics.h"
#include "system/lookups.h"

#include <windows.h>

#include <cwchar>

namespace {

// The executable below a registry home; the home is cut to its first 1000 characters.
void write_home_executable(PathBuffer out, const wchar_t* home, bool use_javaw)
{
    format_fitting(out, path_capacity, L"%.1000s\\%s", home, use_javaw ? home_javaw_executable : home_java_executable);
}

struct ScanContext {
    bool use_javaw;
    wchar_t* out;
};

bool look_up_candidate(JavaVersion candidate, void* context)
{
    auto* scan = static_cast<ScanContext*>(context);
    return find_java_release_key(candidate, scan->use_javaw, scan->out);
}

// Ranges within one release key wider than this are not walked micro by micro.
constexpr long long widest_micro_walk = 100;

// The micro that the release key of major.minor holds, read in the views and the way that
// find_java_release_key reads it.
bool read_installed_micro(int major, int minor, int* micro)
{
    wchar_t path[registry_path_capacity];
    format_fitting(path, registry_path_capacity, release_key_micro_path, major, minor);
    unsigned long type = REG_NONE;
    const wchar_t* text = read_registry_string(path, &type, KEY_WOW64_64KEY);
    if (text == nullptr)
        text = read_registry_string(path, &type, own_registry_view);
    return text != nullptr && type == REG_SZ && read_decimal(&text, micro) == DecimalRead::read;
}

} // namespace

bool visit_release_key_candidates(JavaVersion low, JavaVersion high, ReleaseKeyVisit visit, void* context)
{
    // Counters are wider than the bounds so that no bound makes a loop step overflow.
    auto offer = [&](long long major, long long minor, long long micro) {
        JavaVersion candidate{static_cast<int>(major), static_cast<int>(minor), static_cast<int>(micro)};
        return java_version_in_range(candidate, low, high) && visit(candidate, context);
    };
    if (low.major == high.major && low.minor == high.minor) {
        for (long long micro = high.micro; micro >= low.micro; --micro) {
            if (offer(high.major, high.minor, micro))
                return true;
        }
    } else if (low.major == high.major) {
        // As when the majors differ, no minor above 9 is tried: the scan stays within the hundred
        // release keys, also for a bound such as 1.2147483647.0.
        for (long long minor = high.minor < 9 ? high.minor : 9; minor >= low.minor; --minor) {
            for (int micro = 9; micro >= 0; --micro) {
                if (offer(high.major, minor, micro))
                    return true;
            }
        }
    } else {
        for (long long major = high.major; major >= low.major; --major) {
            for (int minor = 9; minor >= 0; --minor) {
                for (int micro = 9; micro >= 0; --micro) {
                    if (offer(major, minor, micro))
                        return true;
                }
            }
        }
    }
    return false;
}

bool find_java_release_key(JavaVersion version, bool use_javaw, PathBuffer out)
{
    trace_message(L"Searching installed Java having version %d.%d.%d", version.major, version.minor, version.micro);
    wchar_t path[registry_path_capacity];
    format_fitting(path, registry_path_capacity, release_key_micro_path, version.major, version.minor);
    unsigned long type = REG_NONE;
    unsigned long view = KEY_WOW64_64KEY;
    const wchar_t* micro_text = read_registry_string(path, &type, view);
    if (micro_text == nullptr) {
        view = own_registry_view;
        micro_text = read_registry_string(path, &type, view);
    }
    if (micro_text == nullptr || type != REG_SZ) {
        trace_message(L"Did not find Java version %d.%d.%d: no MicroVersion", version.major, version.minor,
                      version.micro);
        return false;
    }
    int micro = 0;
    if (read_decimal(&micro_text, &micro) != DecimalRead::read || micro != version.micro) {
        trace_message(L"Did not find Java version %d.%d.%d: incompatible MicroVersion", version.major, version.minor,
                      version.micro);
        return false;
    }
    format_fitting(path, registry_path_capacity, release_key_home_path, version.major, version.minor);
    const wchar_t* home = read_registry_string(path, &type, view);
    if (home == nullptr || type != REG_SZ) {
        trace_message(L"Don't find Java version %d.%d.%d: no JavaHome", version.major, version.minor, version.micro);
        return false;
    }
    write_home_executable(out, home, use_javaw);
    if (!wanted_runtime(out))
        return false;
    trace_message(L"Found Java version %d.%d.%d in\n'%s'", version.major, version.minor, version.micro, home);
    return true;
}

bool scan_java_release_keys(JavaVersion low, JavaVersion high, bool use_javaw, PathBuffer out)
{
    // Within one release key every candidate reads the same MicroVersion, so only the micro it
    // holds can be found: a wide range (up to billions of micros, hours of lookups) is looked
    // up once, at that micro when it lies in the range, else at the newest candidate, which
    // then fails as the walk would have.
    if (low.major == high.major && low.minor == high.minor &&
        static_cast<long long>(high.micro) - low.micro > widest_micro_walk) {
        JavaVersion candidate = high;
        int micro = 0;
        if (read_installed_micro(high.major, high.minor, &micro) && micro >= low.micro && micro <= high.micro)
            candidate.micro = micro;
        return find_java_release_key(candidate, use_javaw, out);
    }
    ScanContext context{use_javaw, out};
    return visit_release_key_candidates(low, high, look_up_candidate, &context);
}

bool find_java_current_version(int low_major, int high_major, bool use_javaw, PathBuffer out)
{
    trace_message(L"Searching installed Java having version %d to %d", low_major, high_major);
    unsigned long type = REG_NONE;
    const wchar_t* home_format = jre_home_path;
    const wchar_t* version_text = read_registry_string(jre_version_path, &type, KEY_WOW64_64KEY);
    if (version_text == nullptr || type != REG_SZ) {
        home_format = jdk_home_path;
        version_text = read_registry_string(jdk_version_path, &type, KEY_WOW64_64KEY);
    }
    if (version_text == nullptr || type != REG_SZ) {
        trace_message(L"Did not find Java version %d to %d: no CurrentVersion", low_major, high_major);
        return false;
    }
    // Only the major counts; minor and micro need not be there.
    const wchar_t* at = version_text;
    int major = 0;
    if (read_decimal(&at, &major) != DecimalRead::read || major < low_major || major > high_major) {
        trace_message(L"Did not find Java version %d to %d: %s, incompatible CurrentVersion", low_major, high_major,
                      version_text);
        return false;
    }
    // The home path is made before the next read releases the version text.
    wchar_t path[registry_path_capacity];
    if (!format_fitting(path, registry_path_capacity, home_format, version_text)) {
        trace_message(L"Did not find Java version %d to %d: %.1000s, CurrentVersion too long", low_major, high_major,
                      version_text);
        return false;
    }
    const wchar_t* home = read_registry_string(path, &type, KEY_WOW64_64KEY);
    if (home == nullptr || type != REG_SZ) {
        trace_message(L"Did not find Java version %d to %d: no JavaHome", low_major, high_major);
        return false;
    }
    write_home_executable(out, home, use_javaw);
    if (!wanted_runtime(out))
        return false;
    trace_message(L"Found Java version %d to %d in\n'%s'", low_major, high_major, home);
    return true;
}

bool find_registered_java(JavaVersion low, JavaVersion high, bool use_javaw, PathBuffer out)
{
    if (high.major < current_version_layout_major)
        return scan_java_release_keys(low, high, use_javaw, out);
    if (low.major >= current_version_layout_major)
        return find_java_current_version(low.major, high.major, use_javaw, out);
    // The newer layout first, then the release keys up to the last release that used them.
    if (find_java_current_version(current_version_layout_major, high.major, use_javaw, out))
        return true;
    JavaVersion last_release_key{last_release_key_major, last_release_key_minor, last_release_key_micro};
    return scan_java_release_keys(low, last_release_key, use_javaw, out);
}

