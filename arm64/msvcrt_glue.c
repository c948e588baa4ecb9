/* What MinGW-w64's headers call that msvcrt.dll does not export, where the other builds take it
   from MinGW-w64's libraries: the standard streams by number (the stderr macro) and wcstod by
   the name that C++ code calls it with. */
#include <stdio.h>

static FILE* stream_by_number(unsigned index)
{
    return &__iob_func()[index];
}

/* The headers declare the function dllimport: callers read it through this pointer. */
FILE* (*__imp___acrt_iob_func)(unsigned) = stream_by_number;

/* msvcrt's own, declared here: the headers (stdlib.h, wchar.h) define wcstod as a call of
   __mingw_wcstod, which would call itself. */
double wcstod(const wchar_t* text, wchar_t** end);

double __mingw_wcstod(const wchar_t* text, wchar_t** end)
{
    return wcstod(text, end);
}
