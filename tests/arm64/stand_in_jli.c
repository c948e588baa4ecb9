/* Stand-in jli.dll: its JLI_Launch records the process's program and code page, the DLL folder
   and the arguments as given, then, with STAND_IN_JVM set, creates the virtual machine of
   bin\server\jvm.dll as the real one does, waits until the file STAND_IN_HOLD exists (when
   named) and returns STAND_IN_EXIT. */
#include "stand_in.h"

#include <jni.h>

typedef int(JNICALL* CreateJavaVM)(void** vm, void** env, void* arguments);

int JNICALL JLI_Launch(int argc, char** argv, int jargc, const char** jargv, int appclassc, const char** appclassv,
                       const char* fullversion, const char* dotversion, const char* pname, const char* lname,
                       unsigned char javaargs, unsigned char cpwildcard, unsigned char javaw, int ergo)
{
    static wchar_t text[32768];
    HANDLE file = open_record();
    record_text(file, "jli: code page ");
    record_number(file, GetACP());
    record_text(file, ", javaw ");
    record_number(file, javaw);
    record_text(file, "\nprogram: ");
    GetModuleFileNameW(NULL, text, 32768);
    record_wide(file, text);
    record_text(file, "\nDLL folder: ");
    text[0] = L'\0';
    GetDllDirectoryW(32768, text);
    record_wide(file, text);
    record_text(file, "\n");
    for (int i = 0; i < argc; ++i) {
        record_text(file, "argument: ");
        record_text(file, argv[i]);
        record_text(file, "\n");
    }
    CloseHandle(file);
    if (variable(L"STAND_IN_JVM") != NULL) {
        lstrcatW(text, L"\\server\\jvm.dll");
        HMODULE jvm = LoadLibraryW(text);
        FARPROC create = jvm == NULL ? NULL : GetProcAddress(jvm, "JNI_CreateJavaVM");
        void* vm = NULL;
        void* env = NULL;
        if (create == NULL || ((CreateJavaVM)(void (*)(void))create)(&vm, &env, NULL) != 0)
            return 71;
    }
    wait_for(L"STAND_IN_HOLD");
    return number(variable(L"STAND_IN_EXIT"));
}
