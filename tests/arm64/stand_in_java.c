/* Stand-in java.exe and javaw.exe: records its command line and the process's code page,
   writes STAND_IN_OUTPUT to standard output and ends with STAND_IN_EXIT. */
#include "stand_in.h"

int wmain(int argc, wchar_t** argv)
{
    HANDLE file = open_record();
    record_text(file, "java: code page ");
    record_number(file, GetACP());
    record_text(file, "\ncommand: ");
    record_wide(file, GetCommandLineW());
    record_text(file, "\n");
    CloseHandle(file);
    const wchar_t* output = variable(L"STAND_IN_OUTPUT");
    if (output != NULL) {
        HANDLE standard_output = GetStdHandle(STD_OUTPUT_HANDLE);
        record_wide(standard_output, output);
        record_text(standard_output, "\r\n");
    }
    return number(variable(L"STAND_IN_EXIT"));
}
