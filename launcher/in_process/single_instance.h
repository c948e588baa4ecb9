// One running instance per installation, user and session: the first start claims a named pipe
// and serves it while Java runs in its process; a later start hands its arguments over there.
#pragma once

#include "command/parameter_file.h"

#include <windows.h>

// Claims the instance for this start, or hands the launcher's arguments (tokens 1 and on) to
// the instance that holds it and ends the launcher with 0 when the method returned, 1 when
// not. Answers the claimed pipe, or INVALID_HANDLE_VALUE when this start runs Java without an
// instance (no server of this user answered and the pipe could not be claimed), traced.
HANDLE claim_or_hand_over(const wchar_t* launcher_path, const TokenList* arguments);

// Serves the claimed pipe on a thread of its own for the life of the process, one client at a
// time: each hand-over goes to method (<class>.<method>) in the virtual machine of vm_library.
void serve_instance(HANDLE pipe, const wchar_t* vm_library, const wchar_t* method);
