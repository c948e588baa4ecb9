// What differs between the two launchers built from these sources: kelvo.exe, a GUI program
// for desktop applications, and kelvoc.exe, a console program for command-line tools. Each
// links one front: how an error reaches the user, how Java is started, and what the launcher
// ends with.
#pragma once

#include <windows.h>

// The C runtime's type of the application: a GUI or a console one.
constexpr int console_application = 1;
constexpr int gui_application = 2;
int front_application_type();

// Shows the message of an error to the user.
void present_error(const wchar_t* message);

// Creates the Java process of the command; false with the system's reason in GetLastError.
bool create_java_process(wchar_t* command, PROCESS_INFORMATION* process);

// The launcher's exit code once Java has been created and, when waited for, has ended.
int exit_code_after_java(HANDLE process, bool waited);
