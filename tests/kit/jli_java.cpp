// Stand-in for a runtime's own java.exe: takes its arguments as java.exe does, from its command
// line in the ANSI code page of its process, and hands them to the jli.dll beside it.
#include <windows.h>

using JliLaunch = int(__stdcall*)(int, char**, int, const char**, int, const char**, const char*, const char*,
                                  const char*, const char*, unsigned char, unsigned char, unsigned char, int);

int main(int argc, char** argv)
{
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4 - 8);
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    lstrcpyW(path + length, L"jli.dll");
    HMODULE jli = LoadLibraryW(path);
#ifdef _WIN64
    FARPROC entry = jli == nullptr ? nullptr : GetProcAddress(jli, "JLI_Launch");
#else
    FARPROC entry = jli == nullptr ? nullptr : GetProcAddress(jli, "_JLI_Launch@56");
#endif
    if (entry == nullptr)
        return 99;
    auto launch = reinterpret_cast<JliLaunch>(reinterpret_cast<void (*)()>(entry));
    return launch(argc, argv, 0, nullptr, 0, nullptr, "", "", "java", "java", 0, 1, 0, 0);
}
