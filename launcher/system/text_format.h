// The launcher's own formatting of its messages: the few printf forms they use, with Microsoft's
// wide rules, so that no message depends on how a C runtime reads a va_list.
#pragma once

#include <cstdarg>

// %s a wide string and %S a narrow one (each byte one unit, as the C runtime's "C" locale reads
// it), either with a precision; %d, %u, %x and %X, with l for long (int's size on Windows) and a
// width, padded with zeros after a 0; %% a percent sign. Writes at most capacity - 1 units and a
// terminator (nothing at all when capacity is 0) and answers the length of the whole text.
int format_text(wchar_t* out, int capacity, const wchar_t* format, va_list args);
