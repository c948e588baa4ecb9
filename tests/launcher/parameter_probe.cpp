// Runs the parameter file steps whose failures end the program, as the launcher does:
//   load <file>             loads the file, then exits with 0
//   build <file> [args...]  loads, splits and builds the Java command with the probe's own
//                           path and args as the launcher's arguments; writes the command to
//                           <file>.command (UTF-16) and exits with 0 or 1 (wait flag)
#include "command/command.h"
#include "command/parameter_file.h"
#include "system/diagnostics.h"
#include "system/paths.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const wchar_t* raw = GetCommandLineW();
    TokenList arguments = tokenize_text(raw);
    if (arguments.count < 3)
        exit_launcher(3);
    const wchar_t* mode = arguments.tokens[1];
    const wchar_t* file = arguments.tokens[2];
    wchar_t* text = load_parameter_file(file);
    if (wcscmp(mode, L"build") != 0)
        exit_launcher(0);

    TokenList parameters = tokenize_text(text);
    free(text);
    PathBuffer launcher;
    GetModuleFileNameW(nullptr, launcher, path_max_length);
    // The launcher's own arguments are those after the file.
    arguments.tokens[2] = launcher;
    TokenList own = {arguments.count - 2, arguments.tokens + 2};
    JavaCommand command{};
    build_java_command(file, &parameters, &own, raw, &command);

    std::wstring out = std::wstring(file) + L".command";
    FILE* stream = _wfopen(out.c_str(), L"wb");
    if (stream == nullptr)
        exit_launcher(4);
    fwrite(command.text, sizeof(wchar_t), wcslen(command.text), stream);
    fclose(stream);
    exit_launcher(command.mode != StartMode::start ? 1 : 0);
}
