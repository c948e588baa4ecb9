// A stand-in javaw.exe that ends at once and loads nothing but kernel32: what remains of a start
// is the cost of creating and ending a windowless process. Built a second time, it loads user32
// first, as a second start does to hand on the foreground: that start's share of it.
#include <windows.h>

extern "C" [[noreturn]] void quick_java_entry()
{
#ifdef QUICK_JAVA_LOADS_USER32
    LoadLibraryW(L"user32.dll");
#endif
    ExitProcess(0);
}
