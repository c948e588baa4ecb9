// Reporting: the optional trace log beside the launcher, the error box, and the one way out.
#pragma once

#include <cstdarg>

// Formats are those of format_text (system/text_format.h): "%s" takes a wide string.
void trace_message(const wchar_t* format, ...);
const wchar_t* system_error_text(unsigned long code);
void show_error(const wchar_t* format, ...);
[[noreturn]] void fatal_error(const wchar_t* format, ...);
[[noreturn]] void exit_launcher(int code);
// Closes the trace log: what runs next in the process may end it without the launcher. Later
// entries are appended, each opening and closing it.
void close_trace_log();

// Formats into out (capacity units, terminator included), cutting what does not fit;
// returns the number of units written.
int format_wide(wchar_t* out, int capacity, const wchar_t* format, va_list args);

// Formats into out like format_wide; answers false, leaving out unspecified, when the text
// would not fit.
bool format_fitting(wchar_t* out, int capacity, const wchar_t* format, ...);
