#include "in_process/runtime_inspection.h"

#include "in_process/runtime_facts.h"
#include "system/diagnostics.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace {

#if defined(__aarch64__)
constexpr unsigned own_machine = machine_arm64;
#elif defined(_WIN64)
constexpr unsigned own_machine = machine_x64;
#else
constexpr unsigned own_machine = machine_x86;
#endif

// jli.dll keeps paths in narrow buffers of MAX_PATH bytes, UTF-8 in the launcher's process;
// the longest it makes below the runtime's folder is bin\splashscreen.dll or a VM's jvm.dll.
constexpr int longest_runtime_suffix = 40;

// The head of a runtime file, terminated: a PE file's headers, the version line of a release
// file, the first entries of jvm.cfg. In .bss, so it costs the program file nothing.
constexpr size_t head_capacity = 8192;
char head[head_capacity + 1];
size_t head_size = 0;

// Reads the head of the runtime's file home\name into head; false when it cannot be read (a
// missing file, a folder, a path that does not fit).
bool read_file_head(const wchar_t* home, int home_length, const wchar_t* name, PathBuffer path)
{
    FILE* file = join_path(path, home, home_length, name) ? _wfopen(path, L"rb") : nullptr;
    if (file == nullptr)
        return false;
    // A read error leaves too few bytes for what is looked for in them.
    head_size = fread(head, 1, head_capacity, file);
    head[head_size] = '\0';
    fclose(file);
    return true;
}

// read_file_head, traced when it fails. The runtime's folder is short (checked first): every
// such path fits.
bool read_head(const wchar_t* home, int home_length, const wchar_t* name, PathBuffer path)
{
    return read_file_head(home, home_length, name, path) || child_process_because(L"cannot read '%.1000s'", path);
}

// The length of the runtime's folder, the one that holds the executable's bin folder; -1 when
// the executable is in no bin folder.
int runtime_home_length(const wchar_t* executable)
{
    const wchar_t* name = wcsrchr(executable, L'\\');
    const wchar_t* bin = name;
    while (bin != nullptr && bin > executable && bin[-1] != L'\\')
        --bin;
    if (bin == nullptr || bin == executable || name - bin != 3 || _wcsnicmp(bin, L"bin", 3) != 0)
        return -1;
    return static_cast<int>(bin - 1 - executable);
}

// bin\<the default virtual machine that the head, jvm.cfg's, names>\jvm.dll
constexpr size_t vm_at = 4;
constexpr size_t vm_capacity = 40;
bool vm_library_name(wchar_t (&vm_library)[vm_at + vm_capacity + 8])
{
    wcscpy(vm_library, L"bin\\");
    if (!default_virtual_machine(head, vm_library + vm_at, vm_capacity))
        return false;
    wcscat(vm_library, L"\\jvm.dll");
    return true;
}

// A DLL of the runtime that the launcher's process can load.
bool loadable_library(const wchar_t* home, int home_length, const wchar_t* name, PathBuffer path)
{
    if (!read_head(home, home_length, name, path))
        return false;
    return pe_machine(reinterpret_cast<const unsigned char*>(head), head_size) == own_machine ||
           child_process_because(L"'%.1000s' is no DLL for machine 0x%X", path, own_machine);
}

// jli.dll first looks for a runtime beside the process's program: <its folder>\..\bin\java.dll,
// then <its folder>\..\jre\bin\java.dll. The first that exists is the runtime it runs.
bool no_other_runtime_beside(const wchar_t* launcher_path, const wchar_t* home)
{
    // The backslash before the launcher's folder ends the folder above it.
    const wchar_t* folder = wcsrchr(launcher_path, L'\\');
    while (folder != nullptr && folder > launcher_path && *--folder != L'\\')
        continue;
    // A launcher in the root of a drive has no such folder.
    if (folder == nullptr || *folder != L'\\')
        return true;
    auto parent_length = static_cast<int>(folder - launcher_path);
    constexpr const wchar_t* places[] = {L"bin\\java.dll", L"jre\\bin\\java.dll"};
    constexpr int java_dll_length = 13;  // \bin\java.dll
    for (const wchar_t* place : places) {
        PathBuffer probe;
        if (join_path(probe, launcher_path, parent_length, place) && file_exists(probe))
            return CompareStringOrdinal(probe, static_cast<int>(wcslen(probe)) - java_dll_length, home, -1, TRUE) ==
                       CSTR_EQUAL ||
                   child_process_because(L"jli.dll would take the runtime of\n'%.1000s'", probe);
    }
    return true;
}

} // namespace

bool child_process_because(const wchar_t* format, ...)
{
    wchar_t reason[2400];
    va_list args;
    va_start(args, format);
    format_wide(reason, 2400, format, args);
    va_end(args);
    trace_message(L"Starting Java as a child process: %s", reason);
    return false;
}

bool inspect_runtime(const wchar_t* executable, const wchar_t* launcher_path, InProcessRuntime* runtime)
{
    int home_length = runtime_home_length(executable);
    if (home_length < 0)
        return child_process_because(L"'%.1000s' is not in a bin folder", executable);
    PathBuffer home;
    join_path(home, executable, home_length, L"");
    if (WideCharToMultiByte(CP_UTF8, 0, home, -1, nullptr, 0, nullptr, nullptr) + longest_runtime_suffix > MAX_PATH)
        return child_process_because(L"'%.1000s' is too long a path for jli.dll", home);

    PathBuffer path;
    wchar_t vm_library[vm_at + vm_capacity + 8];
    JavaVersion version{};
    if (!loadable_library(home, home_length, L"bin\\jli.dll", runtime->library) ||
        !loadable_library(home, home_length, L"bin\\java.dll", path) ||
        !read_head(home, home_length, L"lib\\jvm.cfg", path))
        return false;
    if (!vm_library_name(vm_library))
        return child_process_because(L"'%.1000s' names no virtual machine", path);
    if (!loadable_library(home, home_length, vm_library, runtime->vm_library) ||
        !read_head(home, home_length, L"release", path))
        return false;
    if (!release_java_version(head, &version))
        return child_process_because(L"'%.1000s' names no Java version", path);
    if (!decodes_arguments_in_active_code_page(version))
        return child_process_because(L"Java %d.%d.%d reads its arguments in the system's code page", version.major,
                                     version.minor, version.micro);
    if (!no_other_runtime_beside(launcher_path, home))
        return false;
    join_path(runtime->bin, home, home_length, L"bin");
    return true;
}

#if defined(__aarch64__)
bool runtime_of_own_machine(const wchar_t* executable)
{
    int home_length = runtime_home_length(executable);
    PathBuffer path;
    wchar_t vm_library[vm_at + vm_capacity + 8];
    return home_length >= 0 && read_file_head(executable, home_length, L"lib\\jvm.cfg", path) &&
           vm_library_name(vm_library) && read_file_head(executable, home_length, vm_library, path) &&
           pe_machine(reinterpret_cast<const unsigned char*>(head), head_size) == own_machine;
}
#endif
