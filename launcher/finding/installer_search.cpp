// The runtimes that today's installers registered below their own keys instead of JavaSoft's.
#include "finding/java_search.h"

#include "finding/java_runtime.h"
#include "system/diagnostics.h"
#include "system/lookups.h"

#include <windows.h>

#include <cwchar>

namespace {

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
    if (!wanted_runtime(executable))
        return;
    wcscpy(search.out, executable);
    search.found = true;
    search.newest = version;
    trace_message(L"Found Java version %d.%d.%d in\n'%s'", version.major, version.minor, version.micro, folder);
}

// The version that the name of the key at path stands for; a name that is none is passed over.
bool key_version(const wchar_t* name, VendorLayout layout, const wchar_t* path, JavaVersion* version)
{
    if (version_from_key_name(name, layout, version))
        return true;
    trace_message(L"Passed over key '%s': not a Java version", path);
    return false;
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
            // A version out of the running is passed over before its virtual machines are listed.
            if (!key_version(version_name, VendorLayout::installer_template, version_path, &version) ||
                !worth_weighing(search, version, version_path))
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
        if (key_version(name, VendorLayout::named_install, install_path, &version))
            weigh_vendor_runtime(search, version, install_path, named_install_folder_value);
    }
}

} // namespace

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
    static constexpr VendorPlace places[] = {
        {machine_software_path, KEY_WOW64_64KEY, L"64-bit view"},
        {machine_software_path, own_registry_view, L"32-bit view"},
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

