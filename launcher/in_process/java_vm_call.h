// Calls into the virtual machine that runs in the launcher's process, through the JNI
// invocation interface, from a thread of the launcher's own: the application's method
// static void <method>(String[] arguments, String workingDirectory).
#pragma once

#include "in_process/hand_over.h"

// The class in JNI form (slashes) and the method, in UTF-8, in one heap block.
struct JavaMethod {
    char* class_name;
    const char* name;
};

// From "<binary class name>.<method>", as the parameter file names it.
void prepare_java_method(JavaMethod* method, const wchar_t* text);

// Waits until the virtual machine of vm_library exists (a hand-over that came before it also
// waits a little for the class), then calls the method with the texts (the working folder
// first, then the arguments) on this thread, attached as a daemon for the call. Answers and
// traces whether the method returned; the virtual machine describes what went wrong.
bool call_java_method(const JavaMethod* method, const wchar_t* vm_library, const MessageText* texts, int count);
