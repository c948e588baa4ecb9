// Whether the runtime of the chosen Java executable can run in the launcher's own process.
// jli.dll ends the process on many of its own errors, so everything it would fail over is
// checked here first, from the runtime's files, before any of its code is loaded.
#pragma once

#include "system/paths.h"

// The runtime's bin folder, from which its DLLs load, its launcher library there and the
// library of its default virtual machine.
struct InProcessRuntime {
    PathBuffer bin;
    PathBuffer library;
    PathBuffer vm_library;
};

// executable: the chosen java.exe or javaw.exe. Answers true with runtime filled when Java can
// run in this process; false, traced by child_process_because, when it cannot.
bool inspect_runtime(const wchar_t* executable, const wchar_t* launcher_path, InProcessRuntime* runtime);

#if defined(__aarch64__)
// Whether the default virtual machine (jvm.cfg's) of the chosen Java executable's runtime is a
// DLL of the launcher's own machine: a runtime it can host. Read quietly, for the search.
bool runtime_of_own_machine(const wchar_t* executable);
#endif

// Traces the condition (a format and its values) that sends Java to a child process; answers false.
bool child_process_because(const wchar_t* format, ...);
