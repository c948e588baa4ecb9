// kelvo.exe: errors are shown in an "Error" box, Java is started shown normally with no
// handle inherited, and the launcher ends with 0 once Java has been created.
#include "front.h"

int front_application_type()
{
    return gui_application;
}

// user32 is loaded only when a box is shown: a run that starts Java never pays for attaching
// it (and the display driver behind it), which is most of a start otherwise.
void present_error(const wchar_t* message)
{
    using MessageBoxFunction = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    FARPROC found = user32 == nullptr ? nullptr : GetProcAddress(user32, "MessageBoxW");
    if (found == nullptr)
        return;
    auto message_box = reinterpret_cast<MessageBoxFunction>(reinterpret_cast<void (*)()>(found));
    message_box(nullptr, message, L"Error", MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
}

bool create_java_process(wchar_t* command, PROCESS_INFORMATION* process)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    return CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process) != 0;
}

int exit_code_after_java(HANDLE, bool)
{
    return 0;
}
