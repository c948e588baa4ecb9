// Registry and environment lookups.
#pragma once

// path: "\ROOT\key\...\value". Answers the value's data (valid until the next call) or null;
// type receives the registry type, access holds extra access bits (KEY_WOW64_64KEY, ...).
const wchar_t* read_registry_string(const wchar_t* path, unsigned long* type, unsigned long access);

// name: "NAME", "NAME|=default" or "NAME|@default path" (then writable: cut in place).
// Answers the value, the default, or null.
const wchar_t* read_environment_variable(wchar_t* name, const wchar_t* exe_path, bool quiet);
