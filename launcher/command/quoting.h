// Windows command-line quoting of one element of the Java command.
#pragma once

#include "system/paths.h"

// Appends text so that the Windows argument rules (CommandLineToArgvW, the C runtime, the
// Java launcher) read it back as exactly one element equal to text.
void append_quoted_argument(WideBuffer* buffer, const wchar_t* text);

// The same, and quoted also when a character of text turns into a star or question mark in
// code_page, the one the Java launcher reads its command in: it expands no quoted element.
void append_quoted_argument(WideBuffer* buffer, const wchar_t* text, unsigned code_page);

// The Java executable's path at the head of the command: quoted as any element, and also when
// a character of it becomes a blank or tab in code_page, where the Java launcher would end it.
void append_program_name(WideBuffer* buffer, const wchar_t* path, unsigned code_page);
