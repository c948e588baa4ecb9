// Registry and environment lookups.
#pragma once

#include <windows.h>

// The launcher itself is a 32-bit program: its own registry view is the 32-bit one on 64-bit
// Windows. The x64 build (a 64-bit extra) asks for that view by name so that it reads the
// same two views in the same order.
#ifdef _WIN64
constexpr unsigned long own_registry_view = KEY_WOW64_32KEY;
#else
constexpr unsigned long own_registry_view = 0;
#endif

// path: "\ROOT\key\...\value". Answers the value's data (valid until the next call) or null;
// type receives the registry type, access holds extra access bits (KEY_WOW64_64KEY, ...).
const wchar_t* read_registry_string(const wchar_t* path, unsigned long* type, unsigned long access);

// Room for any registry key name and its terminator.
constexpr int registry_key_name_capacity = 256;
using RegistryKeyName = wchar_t[registry_key_name_capacity];

// path: "\ROOT\key\...\key". Writes the name of its subkey number index (from 0, in the
// registry's order) into name and answers true; false past the last subkey or when the key
// cannot be read. access as for read_registry_string.
bool read_registry_subkey(const wchar_t* path, int index, unsigned long access, RegistryKeyName name);

// name: "NAME", "NAME|=default" or "NAME|@default path" (then writable: cut in place).
// Answers the value, the default, or null.
const wchar_t* read_environment_variable(wchar_t* name, const wchar_t* exe_path, bool quiet);
