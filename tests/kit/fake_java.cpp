// Stand-in for java.exe / javaw.exe: records what it received and the modules its parent (the
// launcher, while it waits) has loaded, optionally sleeps, exits with the requested code.
// Reads KIT_JAVA_RECORD, KIT_JAVA_OUTPUT (a line it writes to its standard output),
// KIT_JAVA_SLEEP_MS and KIT_JAVA_EXIT.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

void add(std::wstring& record, const wchar_t* text)
{
    record += text;
    record.push_back(L'\0');
}

std::wstring variable(const wchar_t* name)
{
    wchar_t value[32768];
    DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

void write_file(const std::wstring& path, const std::wstring& content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

std::vector<std::wstring> parent_modules()
{
    std::vector<std::wstring> names;
    DWORD parent = 0;
    HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (processes == INVALID_HANDLE_VALUE)
        return names;
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    for (BOOL more = Process32FirstW(processes, &process); more; more = Process32NextW(processes, &process)) {
        if (process.th32ProcessID == GetCurrentProcessId())
            parent = process.th32ParentProcessID;
    }
    CloseHandle(processes);
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, parent);
    if (modules == INVALID_HANDLE_VALUE)
        return names;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32FirstW(modules, &module); more; more = Module32NextW(modules, &module)) {
        std::wstring name = module.szModule;
        for (wchar_t& c : name)
            c = static_cast<wchar_t>(towlower(c));
        names.push_back(name);
    }
    CloseHandle(modules);
    return names;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring path = variable(L"KIT_JAVA_RECORD");
    if (!path.empty()) {
        std::wstring record;
        add(record, GetCommandLineW());
        wchar_t folder[MAX_PATH * 4] = {};
        GetCurrentDirectoryW(MAX_PATH * 4, folder);
        add(record, folder);
        add(record, std::to_wstring(GetCurrentProcessId()).c_str());
        int count = 0;
        wchar_t** shell = CommandLineToArgvW(GetCommandLineW(), &count);
        add(record, std::to_wstring(shell != nullptr ? count : 0).c_str());
        for (int i = 0; shell != nullptr && i < count; ++i)
            add(record, shell[i]);
        LocalFree(shell);
        add(record, std::to_wstring(argc).c_str());
        for (int i = 0; i < argc; ++i)
            add(record, argv[i]);
        std::vector<std::wstring> modules = parent_modules();
        add(record, std::to_wstring(modules.size()).c_str());
        for (const std::wstring& name : modules)
            add(record, name.c_str());
        // Written under another name, then renamed: a reader never sees half a record.
        write_file(path + L".part", record);
        MoveFileExW((path + L".part").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    std::wstring output = variable(L"KIT_JAVA_OUTPUT");
    if (!output.empty()) {
        std::string line(output.begin(), output.end());
        line += "\r\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    std::wstring sleep = variable(L"KIT_JAVA_SLEEP_MS");
    if (!sleep.empty())
        Sleep(static_cast<DWORD>(wcstoul(sleep.c_str(), nullptr, 10)));
    if (!path.empty())
        write_file(path + L".done", L"");
    std::wstring code = variable(L"KIT_JAVA_EXIT");
    return code.empty() ? 0 : static_cast<int>(wcstol(code.c_str(), nullptr, 10));
}
