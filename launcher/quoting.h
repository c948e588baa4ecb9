// Windows command-line quoting of one element of the Java command.
#pragma once

#include "paths.h"

// Appends text so that the Windows argument rules (CommandLineToArgvW, the C runtime, the
// Java launcher) read it back as exactly one element equal to text.
void append_quoted_argument(WideBuffer* buffer, const wchar_t* text);
