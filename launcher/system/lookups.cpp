#include "system/lookups.h"

#include "system/diagnostics.h"
#include "system/paths.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

struct RootKey {
    const wchar_t* name;
    HKEY key;
};

const RootKey root_keys[] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},
};

// advapi32 is loaded at the first registry read: a start whose Java is shipped beside the
// launcher reads no registry, and so does not pay for attaching it (and sechost behind it).
struct RegistryFunctions {
    decltype(&RegOpenKeyExW) open_key;
    decltype(&RegQueryValueExW) query_value;
    decltype(&RegEnumKeyExW) enumerate_keys;
    decltype(&RegCloseKey) close_key;
};
RegistryFunctions registry = {};

template <typename Function>
bool find_function(HMODULE module, const char* name, Function* function)
{
    FARPROC found = GetProcAddress(module, name);
    *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    return found != nullptr;
}

// Answers ERROR_SUCCESS once the functions are there, else the system's reason.
LSTATUS load_registry_functions()
{
    if (registry.close_key != nullptr)
        return ERROR_SUCCESS;
    HMODULE advapi32 = LoadLibraryW(L"advapi32.dll");
    RegistryFunctions found = {};
    if (advapi32 == nullptr || !find_function(advapi32, "RegOpenKeyExW", &found.open_key) ||
        !find_function(advapi32, "RegQueryValueExW", &found.query_value) ||
        !find_function(advapi32, "RegEnumKeyExW", &found.enumerate_keys) ||
        !find_function(advapi32, "RegCloseKey", &found.close_key))
        return static_cast<LSTATUS>(GetLastError());
    registry = found;
    return ERROR_SUCCESS;
}

// The data of the value read last; valid until the next read_registry_string.
void* registry_result = nullptr;
// The last "|@" default made absolute.
PathBuffer resolved_default;

// Closes a key that this file opened; a predefined root key is never closed.
class KeyGuard {
public:
    KeyGuard() = default;
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;
    ~KeyGuard() { close(); }

    HKEY get() const { return key_; }
    void start_at_root(HKEY root)
    {
        close();
        key_ = root;
    }
    void replace(HKEY key)
    {
        close();
        key_ = key;
        owned_ = true;
    }

private:
    void close()
    {
        if (owned_)
            registry.close_key(key_);
        owned_ = false;
    }

    HKEY key_ = nullptr;
    bool owned_ = false;
};

// A registry path opened: the split copy of the path (released however the read ends), the
// key its components lead to, and the name of the value when the path ends in one.
struct OpenedPath {
    OpenedPath() = default;
    OpenedPath(const OpenedPath&) = delete;
    OpenedPath& operator=(const OpenedPath&) = delete;
    ~OpenedPath() { free(copy); }

    wchar_t* copy = nullptr;
    KeyGuard key;
    const wchar_t* value_name = nullptr;
};

// Cuts the next component out of the copy in place: runs of backslashes are one separator and
// empty components do not exist. Answers null when no component is left.
wchar_t* next_component(wchar_t** cursor)
{
    wchar_t* at = *cursor;
    while (*at == L'\\')
        ++at;
    if (*at == L'\0') {
        *cursor = at;
        return nullptr;
    }
    wchar_t* component = at;
    while (*at != L'\0' && *at != L'\\')
        ++at;
    if (*at == L'\\')
        *at++ = L'\0';
    *cursor = at;
    return component;
}

HKEY find_root_key(const wchar_t* name)
{
    for (const RootKey& root : root_keys) {
        if (wcscmp(root.name, name) == 0)
            return root.key;
    }
    return nullptr;
}

wchar_t* copy_text(const wchar_t* text)
{
    size_t length = wcslen(text);
    auto* copy = static_cast<wchar_t*>(checked_realloc(nullptr, checked_wide_size(length + 1)));
    wmemcpy(copy, text, length + 1);
    return copy;
}

// Room for size bytes of data and a terminator behind them, also when the data lacks its own
// or ends in the middle of a unit: size rounded up to whole units, then one zero unit.
size_t terminated_size(DWORD size)
{
    size_t even = static_cast<size_t>(size) + (size % 2);
    if (even < size || even > SIZE_MAX - sizeof(wchar_t))
        fatal_error(L"Out of memory");
    return even + sizeof(wchar_t);
}

// What the last component of a registry path names.
enum class PathEnd { value, key };

// Splits a copy of path in place and opens every component that names a key, with access.
// Traces and answers false when the path is invalid or a key cannot be opened.
bool open_registry_path(const wchar_t* path, PathEnd end, REGSAM access, OpenedPath& opened)
{
    if (path[0] != L'\\') {
        trace_message(L"Invalid registry path '%s'", path);
        return false;
    }
    opened.copy = copy_text(path + 1);
    KeyGuard& key = opened.key;
    wchar_t* cursor = opened.copy;
    const wchar_t* root_name = next_component(&cursor);
    const wchar_t* component = root_name == nullptr ? nullptr : next_component(&cursor);
    HKEY root = component == nullptr ? nullptr : find_root_key(root_name);
    if (root == nullptr) {
        trace_message(L"Invalid registry path '%s'", path);
        return false;
    }
    LSTATUS loaded = load_registry_functions();
    if (loaded != ERROR_SUCCESS) {
        trace_message(L"RegOpenKeyEx '%s' at '%s':\n%.255s", path, root_name,
                      system_error_text(static_cast<unsigned long>(loaded)));
        return false;
    }
    key.start_at_root(root);
    for (;;) {
        const wchar_t* following = next_component(&cursor);
        if (following == nullptr && end == PathEnd::value) {
            opened.value_name = component;
            return true;
        }
        HKEY child = nullptr;
        LSTATUS status = registry.open_key(key.get(), component, 0, access, &child);
        if (status != ERROR_SUCCESS) {
            trace_message(L"RegOpenKeyEx '%s' at '%s':\n%.255s", path, component,
                          system_error_text(static_cast<unsigned long>(status)));
            return false;
        }
        key.replace(child);
        if (following == nullptr)
            return true;
        component = following;
    }
}

} // namespace

const wchar_t* read_registry_string(const wchar_t* path, unsigned long* type, unsigned long access)
{
    trace_message(L"Reading registry path '%s'", path);
    free(registry_result);
    registry_result = nullptr;
    *type = REG_NONE;

    // Every component but the last names a key; the last names the value.
    OpenedPath opened;
    if (!open_registry_path(path, PathEnd::value, access | KEY_QUERY_VALUE, opened))
        return nullptr;
    HKEY key = opened.key.get();
    const wchar_t* component = opened.value_name;

    DWORD size = 0;
    LSTATUS status = registry.query_value(key, component, nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS) {
        trace_message(L"RegQueryValueEx '%s':\n%.255s", path, system_error_text(static_cast<unsigned long>(status)));
        return nullptr;
    }
    size_t capacity = terminated_size(size);
    registry_result = checked_realloc(nullptr, capacity);
    memset(registry_result, 0, capacity);
    // Only the reported size is offered, so the zero unit behind it always survives.
    status = registry.query_value(key, component, nullptr, type, static_cast<BYTE*>(registry_result), &size);
    if (status != ERROR_SUCCESS) {
        trace_message(L"RegQueryValueEx '%s':\n%.255s", path, system_error_text(static_cast<unsigned long>(status)));
        return nullptr;
    }
    const auto* data = static_cast<const wchar_t*>(registry_result);
    trace_message(L"Registry path '%s'=\n'%s'", path, *type == REG_SZ ? data : L"not a REG_SZ");
    return data;
}

bool read_registry_subkey(const wchar_t* path, int index, unsigned long access, RegistryKeyName name)
{
    trace_message(L"Reading subkey %d of registry path '%s'", index, path);
    // Every component names a key.
    OpenedPath opened;
    if (!open_registry_path(path, PathEnd::key, access | KEY_ENUMERATE_SUB_KEYS, opened))
        return false;

    DWORD length = registry_key_name_capacity;
    LSTATUS status = registry.enumerate_keys(opened.key.get(), static_cast<DWORD>(index), name, &length, nullptr, nullptr,
                                             nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) {
        trace_message(L"Registry path '%s' has no subkey %d", path, index);
        return false;
    }
    if (status != ERROR_SUCCESS) {
        trace_message(L"RegEnumKeyEx '%s' at %d:\n%.255s", path, index,
                      system_error_text(static_cast<unsigned long>(status)));
        return false;
    }
    trace_message(L"Registry path '%s' subkey %d=\n'%s'", path, index, name);
    return true;
}

const wchar_t* read_environment_variable(wchar_t* name, const wchar_t* exe_path, bool quiet)
{
    bool default_is_path = false;
    wchar_t* separator = wcsstr(name, L"|=");
    if (separator == nullptr) {
        separator = wcsstr(name, L"|@");
        default_is_path = separator != nullptr;
    }
    const wchar_t* fallback = nullptr;
    if (separator != nullptr) {
        *separator = L'\0';
        fallback = separator + 2;
    }
    if (default_is_path && !is_absolute_path(fallback) && exe_path != nullptr &&
        resolve_relative_to_exe(resolved_default, fallback, exe_path))
        fallback = resolved_default;

    if (!quiet)
        trace_message(L"Reading environment variable '%s'", name);
    // The C runtime's copy of the environment: names match without regard to case.
    const wchar_t* value = _wgetenv(name);
    if (value == nullptr) {
        if (!quiet)
            trace_message(L"Environment variable '%s' not found", name);
        if (fallback == nullptr)
            return nullptr;
        value = fallback;
    }
    if (!quiet)
        trace_message(L"Environment variable '%s'=\n'%s'", name, value);
    return value;
}
