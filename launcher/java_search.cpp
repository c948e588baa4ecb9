#include "java_search.h"

#include "diagnostics.h"
#include "java_runtime.h"
#include "lookups.h"

#include <windows.h>

#include <climits>
#include <cstdarg>
#include <cwchar>
#include <cwctype>

namespace {

constexpr wchar_t quick_variable[] = L"QUICK_KELVO";

// The launcher itself is a 32-bit program: its own registry view is the 32-bit one on 64-bit
// Windows. The x64 build (a 64-bit extra) asks for that view by name so that it reads the
// same two views in the same order.
#ifdef _WIN64
constexpr unsigned long own_view = KEY_WOW64_32KEY;
#else
constexpr unsigned long own_view = 0;
#endif

long long version_weight(JavaVersion version)
{
    return version.major * 10000LL + version.minor * 100LL + version.micro;
}

// Formats into out; answers false, leaving out unspecified, when the text would not fit.
bool format_fitting(wchar_t* out, int capacity, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int length = _vscwprintf(format, measure);
    va_end(measure);
    bool fits = length >= 0 && length < capacity;
    if (fits)
        format_wide(out, capacity, format, args);
    va_end(args);
    return fits;
}

// The executable below a registry home; the home is cut to its first 1000 characters.
void write_home_executable(PathBuffer out, const wchar_t* home, bool use_javaw)
{
    format_fitting(out, path_capacity, L"%.1000s\\%s", home, use_javaw ? home_javaw_executable : home_java_executable);
}

// A plain variable (no default), read without trace entries.
const wchar_t* environment_value(const wchar_t* name)
{
    wchar_t plain[32];
    wcsncpy(plain, name, 31);
    plain[31] = L'\0';
    return read_environment_variable(plain, nullptr, true);
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
        text = read_registry_string(path, &type, own_view);
    return text != nullptr && type == REG_SZ && read_decimal(&text, micro) == DecimalRead::read;
}

// A number as a key name holds it: digits only, no blank or sign before them.
bool read_key_number(const wchar_t** text, int* value)
{
    return **text >= L'0' && **text <= L'9' && read_decimal(text, value) == DecimalRead::read;
}

// Key names have at most 255 characters and the table's keys a few dozen, so every path made
// here fits a registry path buffer.
void append_component(wchar_t* path, const wchar_t* parent, const wchar_t* child)
{
    format_fitting(path, registry_path_capacity, L"%s\\%s", parent, child);
}

// One place where installers write their keys, in one registry view.
struct VendorPlace {
    const wchar_t* software;
    unsigned long access;
    const wchar_t* name;
};

// The search through the installers' keys: its range and the newest runtime found so far.
struct VendorSearch {
    JavaVersion low;
    JavaVersion high;
    bool use_javaw;
    unsigned long access;
    bool found;
    JavaVersion newest;
    wchar_t* out;
};

// Only a runtime in the range and newer than the one found so far is worth reading further.
bool worth_weighing(const VendorSearch& search, JavaVersion version, const wchar_t* key)
{
    if (!java_version_in_range(version, search.low, search.high)) {
        trace_message(L"Passed over Java version %d.%d.%d of key '%s': out of range", version.major, version.minor,
                      version.micro, key);
        return false;
    }
    if (search.found && compare_java_versions(version, search.newest) <= 0) {
        trace_message(L"Passed over Java version %d.%d.%d of key '%s': not newer than %d.%d.%d", version.major,
                      version.minor, version.micro, key, search.newest.major, search.newest.minor,
                      search.newest.micro);
        return false;
    }
    return true;
}

// Weighs the runtime whose install folder the value value_name of key holds.
void weigh_vendor_runtime(VendorSearch& search, JavaVersion version, const wchar_t* key, const wchar_t* value_name)
{
    if (!worth_weighing(search, version, key))
        return;
    wchar_t path[registry_path_capacity];
    append_component(path, key, value_name);
    unsigned long type = REG_NONE;
    const wchar_t* folder = read_registry_string(path, &type, search.access);
    if (folder == nullptr) {
        trace_message(L"Passed over Java version %d.%d.%d of key '%s': no %s", version.major, version.minor,
                      version.micro, key, value_name);
        return;
    }
    if (type != REG_SZ) {
        trace_message(L"Passed over Java version %d.%d.%d of key '%s': %s not a REG_SZ", version.major,
                      version.minor, version.micro, key, value_name);
        return;
    }
    if (!is_absolute_path(folder)) {
        trace_message(L"Passed over Java version %d.%d.%d in\n'%.1000s':\nnot an absolute folder", version.major,
                      version.minor, version.micro, folder);
        return;
    }
    // Installers often end the folder with a backslash: one separator stays before bin.
    size_t length = wcslen(folder);
    while (length > 0 && folder[length - 1] == L'\\')
        --length;
    const wchar_t* name = search.use_javaw ? home_javaw_executable : home_java_executable;
    PathBuffer executable;
    if (length > path_max_length || !join_path(executable, folder, static_cast<int>(length), name)) {
        trace_message(L"Passed over Java version %d.%d.%d in\n'%.1000s':\nfolder too long", version.major,
                      version.minor, version.micro, folder);
        return;
    }
    // Uninstallers may leave the keys behind.
    if (!file_exists(executable)) {
        trace_message(L"Passed over Java version %d.%d.%d in\n'%.1000s':\nno %s", version.major, version.minor,
                      version.micro, folder, name);
        return;
    }
    wcscpy(search.out, executable);
    search.found = true;
    search.newest = version;
    trace_message(L"Found Java version %d.%d.%d in\n'%s'", version.major, version.minor, version.micro, folder);
}

// <vendor>\{JDK,JRE}\<version>\<vm>\MSI
void search_installer_template(VendorSearch& search, const wchar_t* vendor)
{
    for (const wchar_t* kind : installer_template_kinds) {
        wchar_t kind_path[registry_path_capacity];
        append_component(kind_path, vendor, kind);
        RegistryKeyName version_name;
        for (int i = 0; read_registry_subkey(kind_path, i, search.access, version_name); ++i) {
            wchar_t version_path[registry_path_capacity];
            append_component(version_path, kind_path, version_name);
            JavaVersion version{};
            if (!version_from_key_name(version_name, VendorLayout::installer_template, &version)) {
                trace_message(L"Passed over key '%s': not a Java version", version_path);
                continue;
            }
            // A version out of the running is passed over before its virtual machines are listed.
            if (!worth_weighing(search, version, version_path))
                continue;
            RegistryKeyName vm;
            for (int j = 0; read_registry_subkey(version_path, j, search.access, vm); ++j) {
                wchar_t vm_path[registry_path_capacity];
                append_component(vm_path, version_path, vm);
                wchar_t leaf_path[registry_path_capacity];
                append_component(leaf_path, vm_path, installer_template_leaf);
                weigh_vendor_runtime(search, version, leaf_path, installer_template_folder_value);
            }
        }
    }
}

// <vendor>\<name>
void search_named_installs(VendorSearch& search, const wchar_t* vendor)
{
    RegistryKeyName name;
    for (int i = 0; read_registry_subkey(vendor, i, search.access, name); ++i) {
        wchar_t install_path[registry_path_capacity];
        append_component(install_path, vendor, name);
        JavaVersion version{};
        if (!version_from_key_name(name, VendorLayout::named_install, &version)) {
            trace_message(L"Passed over key '%s': not a Java version", install_path);
            continue;
        }
        weigh_vendor_runtime(search, version, install_path, named_install_folder_value);
    }
}

} // namespace

int compare_java_versions(JavaVersion a, JavaVersion b)
{
    // The weights differ by far more than an int holds at the extremes: only the sign and,
    // where it fits, the difference itself are answered.
    long long difference = version_weight(a) - version_weight(b);
    if (difference > INT_MAX)
        return INT_MAX;
    if (difference < INT_MIN)
        return INT_MIN;
    return static_cast<int>(difference);
}

bool java_version_in_range(JavaVersion version, JavaVersion low, JavaVersion high)
{
    return compare_java_versions(version, low) >= 0 && compare_java_versions(version, high) <= 0;
}

DecimalRead read_decimal(const wchar_t** text, int* value)
{
    const wchar_t* at = *text;
    while (iswspace(*at))
        ++at;
    bool negative = *at == L'-';
    if (*at == L'+' || *at == L'-')
        ++at;
    if (*at < L'0' || *at > L'9')
        return DecimalRead::none;
    long long magnitude = 0;
    for (; *at >= L'0' && *at <= L'9'; ++at) {
        magnitude = magnitude * 10 + (*at - L'0');
        if (magnitude > INT_MAX + 1LL)
            return DecimalRead::too_large;
    }
    long long number = negative ? -magnitude : magnitude;
    if (number > INT_MAX)
        return DecimalRead::too_large;
    *value = static_cast<int>(number);
    *text = at;
    return DecimalRead::read;
}

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
        view = own_view;
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
        file_exists(out)) {
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
            file_exists(out)) {
            trace_message(L"Found Java executable using environment variable '%s'\n'%s'", path_variable, out);
            return true;
        }
        piece = *end == L';' ? end + 1 : end;
    }
    return false;
}

bool version_from_key_name(const wchar_t* name, VendorLayout layout, JavaVersion* version)
{
    int numbers[3] = {};
    const wchar_t* at = name;
    switch (layout) {
    case VendorLayout::installer_template: {
        // One to four numbers joined by dots; the fourth, the build, has no place in the
        // launcher's numbering.
        int build = 0;
        int* fields[] = {&numbers[0], &numbers[1], &numbers[2], &build};
        for (int field = 0;; ++field) {
            if (field == 4 || !read_key_number(&at, fields[field]))
                return false;
            if (*at == L'\0')
                break;
            if (*at != L'.')
                return false;
            ++at;
        }
        break;
    }
    case VendorLayout::named_install:
        while (*at != L'\0' && (*at < L'0' || *at > L'9'))
            ++at;
        if (!read_key_number(&at, &numbers[0]))
            return false;
        break;
    }
    if (numbers[0] < 1)
        return false;
    *version = numbers[0] <= last_one_dot_release ? JavaVersion{1, numbers[0], 0}
                                                  : JavaVersion{numbers[0], numbers[1], numbers[2]};
    return true;
}

bool find_java_in_vendor_keys(JavaVersion low, JavaVersion high, bool use_javaw, PathBuffer out)
{
    trace_message(L"Searching installed Java having version %d.%d.%d to %d.%d.%d in installers' keys", low.major,
                  low.minor, low.micro, high.major, high.minor, high.micro);
    const VendorPlace places[] = {
        {machine_software_path, KEY_WOW64_64KEY, L"64-bit view"},
        {machine_software_path, own_view, L"32-bit view"},
        {user_software_path, 0, L"per-user installs"},
    };
    // 32-bit Windows has one view, the launcher's own.
    bool one_view = windows_bits() == WindowsBits::bits32;
    VendorSearch search{low, high, use_javaw, 0, false, {}, out};
    for (const VendorPlace& place : places) {
        if (one_view && place.access == KEY_WOW64_64KEY)
            continue;
        trace_message(L"Looking at installers' keys below '%s' (%s)", place.software, place.name);
        search.access = place.access;
        for (const VendorKeys& keys : vendor_keys) {
            wchar_t vendor[registry_path_capacity];
            append_component(vendor, place.software, keys.key);
            switch (keys.layout) {
            case VendorLayout::installer_template:
                search_installer_template(search, vendor);
                break;
            case VendorLayout::named_install:
                search_named_installs(search, vendor);
                break;
            }
        }
    }
    if (!search.found)
        trace_message(L"Did not find Java version %d.%d.%d to %d.%d.%d in installers' keys", low.major, low.minor,
                      low.micro, high.major, high.minor, high.micro);
    return search.found;
}

bool find_java_executable(JavaVersion low, JavaVersion high, bool version_given, bool use_javaw, PathBuffer out)
{
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
