// Java in the launcher's own process, through the runtime's launcher library, jli.dll, as
// java.exe runs it: Windows then shows, groups and pins the application's own program, and
// every argument reaches Java whole, as UTF-8, the code page the launcher's manifest declares.
#pragma once

#include "command/command.h"

// When the command's runtime allows it, runs Java in this process and ends the launcher with
// the exit code Java ends with; with "single:" it first claims the instance or hands the
// launcher's own arguments over to the one running. Otherwise returns, with a trace entry saying
// why, and Java is to be started as a child process.
void run_java_in_process(const JavaCommand* command, const wchar_t* launcher_path, const TokenList* own_arguments);
