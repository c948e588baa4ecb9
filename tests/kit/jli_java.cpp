// Stand-in for a runtime's own java.exe: takes its arguments as java.exe does, from its command
// line in the ANSI code page of its process, and hands them to the jli.dll beside it.
#include "finding/java_runtime.h"

#include <windows.h>

int main(int argc, char** argv)
{
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4 - 8);
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    lstrcpyW(path + length, L"jli.dll");
    HMODULE jli = LoadLibraryW(path);
    FARPROC entry = jli == nullptr ? nullptr : GetProcAddress(jli, jli_launch_name);
    if (entry == nullptr)
        return 99;
    auto launch = reinterpret_cast<JliLaunch>(reinterpret_cast<void (*)()>(entry));
    return launch(argc, argv, 0, nullptr, 0, nullptr, "", "", "java", "java", 0, 1, 0, 0);
}
