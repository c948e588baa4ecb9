// Building the Java command from the parameter tokens and the launcher's own arguments.
#pragma once

#include "parameter_file.h"

// arguments.tokens[0] is the launcher's full path. The command is a heap string owned by
// the caller; wait is false when the parameters begin with "start".
void build_java_command(const wchar_t* parameter_file, const TokenList* parameters, const TokenList* arguments,
                        const wchar_t* command_line, wchar_t** command, bool* wait);
