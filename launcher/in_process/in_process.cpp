#include "in_process/in_process.h"

#include "command/parameter_file.h"
#include "finding/java_runtime.h"
#include "front.h"
#include "in_process/runtime_inspection.h"
#include "in_process/single_instance.h"
#include "system/diagnostics.h"
#include "system/paths.h"

#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

// The elements as UTF-8 strings behind a null-terminated array of them, in one heap block.
char** utf8_arguments(const TokenList* elements)
{
    auto count = static_cast<size_t>(elements->count);
    size_t size = (count + 1) * sizeof(char*);
    for (size_t i = 0; i < count; ++i) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, elements->tokens[i], -1, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0 || static_cast<size_t>(bytes) > SIZE_MAX - size)
            fatal_error(L"Out of memory");
        size += static_cast<size_t>(bytes);
    }
    auto** arguments = static_cast<char**>(checked_realloc(nullptr, size));
    char* text = reinterpret_cast<char*>(arguments + count + 1);
    const char* end = reinterpret_cast<const char*>(arguments) + size;
    for (size_t i = 0; i < count; ++i) {
        arguments[i] = text;
        // Each element takes the bytes measured for it; one of them never exceeds an int.
        int room = end - text > INT_MAX ? INT_MAX : static_cast<int>(end - text);
        text += WideCharToMultiByte(CP_UTF8, 0, elements->tokens[i], -1, text, room, nullptr, nullptr);
    }
    arguments[count] = nullptr;
    return arguments;
}

} // namespace

void run_java_in_process(const JavaCommand* command, const wchar_t* launcher_path, const TokenList* own_arguments)
{
    // The elements exactly as the executable's C runtime would split its command line.
    TokenList elements = tokenize_text(command->text, TokenRules::windows_command);
    InProcessRuntime runtime;
    if (inspect_runtime(elements.tokens[0], launcher_path, &runtime)) {
        // A second start ends here, before any of the runtime is loaded.
        HANDLE instance = command->instance_method == nullptr ? INVALID_HANDLE_VALUE
                                                              : claim_or_hand_over(launcher_path, own_arguments);
        // Kept for the life of the process: jvm.dll and the runtime's other DLLs load from there.
        SetDllDirectoryW(runtime.bin);
        HMODULE library = LoadLibraryW(runtime.library);
        FARPROC entry = library == nullptr ? nullptr : GetProcAddress(library, jli_launch_name);
        if (entry != nullptr) {
            elements.tokens[0] = const_cast<wchar_t*>(launcher_path);
            char** arguments = utf8_arguments(&elements);
            trace_message(L"Running Java in the launcher's process through\n'%s'", runtime.library);
            close_trace_log();
            if (instance != INVALID_HANDLE_VALUE)
                serve_instance(instance, runtime.vm_library, command->instance_method);
            auto launch = reinterpret_cast<JliLaunch>(reinterpret_cast<void (*)()>(entry));
            int code = launch(elements.count, arguments, 0, nullptr, 0, nullptr, "", "", "java", "java", 0, 1,
                              front_application_type() == gui_application, 0);
            exit_launcher(code);
        }
        if (library == nullptr) {
            child_process_because(L"cannot load '%.1000s':\n%s", runtime.library, system_error_text(GetLastError()));
        } else {
            child_process_because(L"'%.1000s' exports no %S", runtime.library, jli_launch_name);
            FreeLibrary(library);
        }
        SetDllDirectoryW(nullptr);
        if (instance != INVALID_HANDLE_VALUE)
            CloseHandle(instance);
    }
    free(elements.tokens);
}
