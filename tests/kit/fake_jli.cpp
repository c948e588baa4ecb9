// Stand-in for a Java runtime's jli.dll. Its JLI_Launch records what it was given and where it
// runs, writes KIT_JAVA_OUTPUT to standard output, then ends as Java does: returns KIT_JAVA_EXIT,
// or, with KIT_JLI_EXIT_PROCESS set, ends the process with it as System.exit does. The record,
// at KIT_JLI_RECORD, is fields each ended by a zero byte: GetACP(), the process's program and
// GetDllDirectoryW() in UTF-8, the javaw flag, then the arguments' bytes as given.
// With KIT_JVM_RECORD set it then creates the virtual machine of bin\server\jvm.dll, as the real
// one does, once the file KIT_JVM_GATE exists (when named), and before it ends it waits until
// the file KIT_JLI_HOLD exists (when named).
#include <windows.h>

#include <string>

namespace {

std::wstring variable(const wchar_t* name)
{
    static wchar_t value[32768];
    DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

// The text and its terminator.
std::string utf8(const wchar_t* text)
{
    static char bytes[32768 * 3];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return length > 0 ? std::string(bytes, static_cast<size_t>(length)) : std::string(1, '\0');
}

void write(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void wait_for(const std::wstring& file)
{
    while (!file.empty() && GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        Sleep(10);
}

}  // namespace

extern "C" int __stdcall JLI_Launch(int argc, char** argv, int, const char**, int, const char**, const char*,
                                    const char*, const char*, const char*, unsigned char, unsigned char,
                                    unsigned char javaw, int)
{
    std::wstring path = variable(L"KIT_JLI_RECORD");
    if (!path.empty()) {
        static wchar_t text[32768];
        std::string record = std::to_string(GetACP()) + '\0';
        GetModuleFileNameW(nullptr, text, 32768);
        record += utf8(text);
        text[0] = L'\0';
        GetDllDirectoryW(32768, text);
        record += utf8(text) + std::to_string(javaw) + '\0';
        for (int i = 0; i < argc; ++i)
            record += std::string(argv[i]) + '\0';
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        write(file, record);
        CloseHandle(file);
    }
    if (!variable(L"KIT_JVM_RECORD").empty()) {
        wait_for(variable(L"KIT_JVM_GATE"));
        static wchar_t folder[32768];
        GetDllDirectoryW(32768, folder);
        HMODULE jvm = LoadLibraryW((std::wstring(folder) + L"\\server\\jvm.dll").c_str());
        FARPROC create = jvm == nullptr ? nullptr : GetProcAddress(jvm, "JNI_CreateJavaVM");
        void* vm = nullptr;
        void* env = nullptr;
        if (create == nullptr ||
            reinterpret_cast<int(__stdcall*)(void**, void**, void*)>(reinterpret_cast<void (*)()>(create))(&vm, &env,
                                                                                                         nullptr) != 0)
            return 71;
    }
    wait_for(variable(L"KIT_JLI_HOLD"));
    std::wstring output = variable(L"KIT_JAVA_OUTPUT");
    if (!output.empty())
        write(GetStdHandle(STD_OUTPUT_HANDLE), utf8(output.c_str()).c_str() + std::string("\r\n"));
    int code = _wtoi(variable(L"KIT_JAVA_EXIT").c_str());
    if (!variable(L"KIT_JLI_EXIT_PROCESS").empty())
        ExitProcess(static_cast<UINT>(code));
    return code;
}
