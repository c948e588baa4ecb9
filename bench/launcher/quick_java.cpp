// A stand-in javaw.exe that ends at once and loads nothing but kernel32: what remains of a start
// is the cost of creating and ending a windowless process.
#include <windows.h>

extern "C" [[noreturn]] void quick_java_entry()
{
    ExitProcess(0);
}
