// kelvoc.exe, the launcher of command-line tools: errors go to standard error, Java shares
// the console and exactly the three standard handles, Ctrl+C and Ctrl+Break are Java's to
// answer, and the launcher ends with Java's exit code when it waits for it.
#include "front.h"

#include "command/code_page.h"

#include <cstring>
#include <cwchar>

namespace {

// Standard error redirected to a file or pipe gets the text in the system's ANSI code page,
// as a Java child process writes its own there, with Windows line ends. Room for the longest
// message: 4095 units of at most 3 bytes each (UTF-8 as the system's code page; a surrogate
// pair makes 4 of 2 units).
constexpr int narrow_capacity = 4096 * 3;
char narrow_message[narrow_capacity];

void write_all(HANDLE stream, const char* bytes, DWORD count)
{
    DWORD written = 0;
    while (count > 0 && WriteFile(stream, bytes, count, &written, nullptr) && written > 0) {
        bytes += written;
        count -= written;
    }
}

void write_redirected(HANDLE stream, const wchar_t* message)
{
    int length =
        WideCharToMultiByte(system_code_page(), 0, message, -1, narrow_message, narrow_capacity, nullptr, nullptr);
    if (length <= 0)
        return;
    // A line break byte is never part of a longer character in an ANSI code page.
    const char* line = narrow_message;
    for (const char* at = narrow_message; *at != '\0'; ++at) {
        if (*at == '\n') {
            write_all(stream, line, static_cast<DWORD>(at - line));
            write_all(stream, "\r\n", 2);
            line = at + 1;
        }
    }
    write_all(stream, line, static_cast<DWORD>(strlen(line)));
    write_all(stream, "\r\n", 2);
}

// The launcher does not end on Ctrl+C or Ctrl+Break while Java runs: Java gets them as well
// and decides; the launcher then ends with Java's exit code. Closing the console and logging
// off end it as usual.
BOOL WINAPI ignore_interrupts(DWORD event)
{
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

// A standard handle as Java gets it: an inheritable duplicate, or null when there is none to
// give (the launcher has none, or it cannot be duplicated).
HANDLE inheritable_copy(DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

// Closes the duplicates however the start ends, keeping the error code of a failed start.
struct StandardCopies {
    HANDLE handles[3];
    ~StandardCopies()
    {
        DWORD error = GetLastError();
        for (HANDLE handle : handles) {
            if (handle != nullptr)
                CloseHandle(handle);
        }
        SetLastError(error);
    }
};

struct AttributeList {
    LPPROC_THREAD_ATTRIBUTE_LIST list = nullptr;
    ~AttributeList()
    {
        if (list != nullptr) {
            DWORD error = GetLastError();
            DeleteProcThreadAttributeList(list);
            HeapFree(GetProcessHeap(), 0, list);
            SetLastError(error);
        }
    }
};

} // namespace

int front_application_type()
{
    return console_application;
}

void present_error(const wchar_t* message)
{
    HANDLE stream = GetStdHandle(STD_ERROR_HANDLE);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(stream, &mode)) {
        WriteConsoleW(stream, message, static_cast<DWORD>(wcslen(message)), &written, nullptr);
        WriteConsoleW(stream, L"\n", 1, &written, nullptr);
        return;
    }
    write_redirected(stream, message);
}

bool create_java_process(wchar_t* command, PROCESS_INFORMATION* process)
{
    StandardCopies copies{{inheritable_copy(STD_INPUT_HANDLE), inheritable_copy(STD_OUTPUT_HANDLE),
                           inheritable_copy(STD_ERROR_HANDLE)}};
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_SHOWNORMAL;
    startup.StartupInfo.hStdInput = copies.handles[0];
    startup.StartupInfo.hStdOutput = copies.handles[1];
    startup.StartupInfo.hStdError = copies.handles[2];

    // Java inherits the three standard handles and nothing else the launcher holds, such as
    // its trace log.
    HANDLE inherited[3];
    DWORD count = 0;
    for (HANDLE handle : copies.handles) {
        if (handle != nullptr)
            inherited[count++] = handle;
    }
    AttributeList attributes;
    DWORD flags = 0;
    if (count > 0) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        attributes.list = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(HeapAlloc(GetProcessHeap(), 0, size));
        if (attributes.list == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        if (!InitializeProcThreadAttributeList(attributes.list, 1, 0, &size)) {
            HeapFree(GetProcessHeap(), 0, attributes.list);
            attributes.list = nullptr;
            return false;
        }
        if (!UpdateProcThreadAttribute(attributes.list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                       count * sizeof(HANDLE), nullptr, nullptr))
            return false;
        startup.lpAttributeList = attributes.list;
        flags = EXTENDED_STARTUPINFO_PRESENT;
    }
    // Before the process exists, so that no interrupt can end the launcher and orphan Java.
    SetConsoleCtrlHandler(ignore_interrupts, TRUE);
    return CreateProcessW(nullptr, command, nullptr, nullptr, count > 0, flags, nullptr, nullptr,
                          &startup.StartupInfo, process) != 0;
}

int exit_code_after_java(HANDLE process, bool waited)
{
    DWORD code = 0;
    if (!waited || !GetExitCodeProcess(process, &code))
        return 0;
    return static_cast<int>(code);
}
