// The launcher's entry and its one straight run: read, build, start, (wait), exit. What the
// GUI and the console launcher do differently lies in their fronts.
#include "command/command.h"
#include "command/parameter_file.h"
#include "front.h"
#include "in_process/in_process.h"
#include "system/diagnostics.h"
#include "system/paths.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

namespace {

// Windows refuses a longer command line (terminator included); some systems would start it
// cut short instead, so the launcher refuses it itself, as Windows does.
constexpr size_t command_line_limit = 32767;

// Answers the launcher's arguments, token 0 its path; the caller frees them.
TokenList prepare_command(PathBuffer launcher_path, JavaCommand* command)
{
    const wchar_t* command_line = GetCommandLineW();
    TokenList arguments = tokenize_text(command_line);

    DWORD length = GetModuleFileNameW(nullptr, launcher_path, path_max_length);
    if (length == 0)
        fatal_error(L"Cannot determine path of launcher:\n%.255s", system_error_text(GetLastError()));
    launcher_path[path_max_length] = L'\0';
    // A path that filled the buffer may have been cut: it names no file of ours.
    if (length >= path_max_length)
        fatal_error(L"Cannot use path of launcher\n'%.1000s':\nlonger than %d characters", launcher_path,
                    path_max_length - 1);

    // The tokenizer always leaves room for the first element, also for an empty command line.
    arguments.tokens[0] = launcher_path;
    if (arguments.count == 0)
        arguments.count = 1;

    PathBuffer parameter_path;
    if (!replace_extension(launcher_path, L".kelvo", parameter_path))
        fatal_error(L"Cannot use parameter file of launcher\n'%.1000s':\nits path is longer than %d characters",
                    launcher_path, path_max_length);

    wchar_t* text = load_parameter_file(parameter_path);
    TokenList parameters = tokenize_text(text);
    free(text);

    build_java_command(parameter_path, &parameters, &arguments, command_line, command);
    free(parameters.tokens);
    return arguments;
}

[[noreturn]] void fail_to_execute(wchar_t* command, DWORD code)
{
    show_error(L"Cannot execute command\n'%.3000s':\n%.255s", command, system_error_text(code));
    free(command);
    exit_launcher(2);
}

[[noreturn]] void run_launcher()
{
    PathBuffer launcher_path;
    JavaCommand java = {};
    TokenList arguments = prepare_command(launcher_path, &java);
    if (java.mode == StartMode::in_process)
        run_java_in_process(&java, launcher_path, &arguments);
    free(arguments.tokens);
    refuse_unless_read_unchanged(&java);

    wchar_t* command = java.text;
    bool wait = java.mode != StartMode::start;
    trace_message(L"Creating process using command\n'%s'", command);
    if (wcslen(command) >= command_line_limit)
        fail_to_execute(command, ERROR_FILENAME_EXCED_RANGE);

    PROCESS_INFORMATION process = {};
    if (!create_java_process(command, &process))
        fail_to_execute(command, GetLastError());

    int id = static_cast<int>(process.dwProcessId);
    trace_message(L"Process %d created", id);
    CloseHandle(process.hThread);
    if (wait) {
        trace_message(L"Waiting end of process %d", id);
        WaitForSingleObject(process.hProcess, INFINITE);
        trace_message(L"Process %d terminated", id);
    }
    int code = exit_code_after_java(process.hProcess, wait);
    CloseHandle(process.hProcess);
    free(command);
    exit_launcher(code);
}

} // namespace

// The C runtime's start-up code is not linked (it is a third of the program): the launcher
// reads its own command line and ends through ExitProcess, so of that code it needs only
// what the runtime DLL cannot do by itself. Nor does anything run static constructors: the
// launcher's data is initialised by the compiler (a static check makes sure of it).
extern "C" {
struct StartupInfo {
    int new_mode;
};
int __cdecl __wgetmainargs(int* count, wchar_t*** arguments, wchar_t*** environment, int expand_wildcards,
                           StartupInfo* info);
void __cdecl __set_app_type(int type);

[[noreturn]] void kelvo_entry()
{
    __set_app_type(front_application_type());
    // Builds the runtime's wide environment from the wide one, so variables hold every
    // character (taken from the narrow one, they would pass through the ANSI code page).
    int count = 0;
    wchar_t** arguments = nullptr;
    wchar_t** environment = nullptr;
    StartupInfo info{0};
    __wgetmainargs(&count, &arguments, &environment, 0, &info);
    run_launcher();
}
}
