// A tiny GUI program for the kit's own test: shows the boxes named by its arguments, one
// after the other, then exits with code 3.
#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i)
        MessageBoxW(nullptr, args[i], L"Error", MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    LocalFree(args);
    return 3;
}
