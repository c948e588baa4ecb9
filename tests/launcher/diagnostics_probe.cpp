// Drives the reporting functions from the outside, as the launcher uses them: the first
// argument names a scenario. Every scenario ends through exit_launcher or fatal_error.
#include "system/diagnostics.h"
#include "system/paths.h"

#include <windows.h>
#include <shellapi.h>

#include <climits>
#include <cstdint>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring scenario = count > 1 ? args[1] : L"";
    const wchar_t* text = count > 2 ? args[2] : L"";

    if (scenario == L"trace") {
        trace_message(L"Loading parameter file\n'%s'", text);
        trace_message(L"Process %d created", 42);
        exit_launcher(0);
    }
    if (scenario == L"show-then-trace") {
        show_error(L"Shown before any trace\n'%.1000s'", text);
        trace_message(L"Traced after the box");
        show_error(L"Shown after a trace");
        exit_launcher(5);
    }
    if (scenario == L"fatal") {
        trace_message(L"Before the failure");
        fatal_error(L"Cannot open parameter file\n'%.1000s':\nerrno=%d", text, 2);
    }
    if (scenario == L"long-box") {
        std::wstring path(6000, L'p');
        show_error(L"Cannot determine whether OS is 32-bit or 64-bit; will not use\n'%s'", path.c_str());
        exit_launcher(0);
    }
    if (scenario == L"huge-allocation")
        checked_realloc(nullptr, SIZE_MAX / 2);
    if (scenario == L"buffer-overflow") {
        // The count alone overflows the length: refused before any memory is touched.
        static wchar_t one[1];
        WideBuffer buffer = {one, INT_MAX - 1, INT_MAX - 1};
        wide_buffer_append(&buffer, 5, L"12345");
    }
    exit_launcher(1);
}
