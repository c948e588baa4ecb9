#include "in_process/single_instance.h"

#include "in_process/hand_over.h"
#include "in_process/java_vm_call.h"
#include "system/diagnostics.h"
#include "system/paths.h"

#include <direct.h>

#include <cstdlib>
#include <cstring>

namespace {

// A connected client gets this long to send its message and to take the answer; a second
// start waits longer for a busy server. Both look every millisecond: a hand-over is answered
// within a millisecond of its message arriving.
constexpr DWORD client_timeout_ms = 3000;
constexpr DWORD busy_wait_ms = 5000;

wchar_t pipe_name[pipe_name_capacity];
// The second start's working folder, here and not on the stack: see CMakeLists.txt.
PathBuffer folder;
// This process's TOKEN_USER, its SID behind it.
DWORD own_user[32];

struct Server {
    HANDLE pipe;
    const wchar_t* vm_library;
    JavaMethod method;
};
Server server;

const void* user_sid(const DWORD* token_user)
{
    return reinterpret_cast<const TOKEN_USER*>(token_user)->User.Sid;
}

// Reads one kind of information of a process's token, through ntdll, which every process has
// loaded: a second start spends nothing on loading advapi32 (and sechost behind it).
bool token_information(HANDLE process, TOKEN_INFORMATION_CLASS kind, void* buffer, DWORD size)
{
    using OpenToken = LONG(WINAPI*)(HANDLE, ACCESS_MASK, HANDLE*);
    using QueryToken = LONG(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, void*, ULONG, ULONG*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto open_token = reinterpret_cast<OpenToken>(
        reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtOpenProcessToken")));
    auto query_token = reinterpret_cast<QueryToken>(
        reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQueryInformationToken")));
    HANDLE token = nullptr;
    if (open_token == nullptr || query_token == nullptr || open_token(process, TOKEN_QUERY, &token) != 0)
        return false;
    bool read = query_token(token, kind, buffer, size, &size) == 0;
    CloseHandle(token);
    return read;
}

HANDLE create_pipe()
{
    unsigned char security[pipe_security_capacity];
    pipe_security(security, user_sid(own_user));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
    return CreateNamedPipeW(pipe_name, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_REJECT_REMOTE_CLIENTS, 1, 16,
                            static_cast<DWORD>(hand_over_limit), 0, &attributes);
}

// Hands the arguments to the pipe's server and ends the launcher with its answer. Returns when
// no server of this user answered, before a byte was written.
void hand_over(const TokenList* arguments)
{
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (DWORD start = GetTickCount(); GetTickCount() - start < busy_wait_ms; Sleep(1)) {
        pipe = CreateFileW(pipe_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY)
            break;
    }
    ULONG server_id = 0;
    DWORD server_user[32];
    HANDLE process = nullptr;
    bool trusted = pipe != INVALID_HANDLE_VALUE && GetNamedPipeServerProcessId(pipe, &server_id) &&
                   (process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, server_id)) != nullptr &&
                   token_information(process, TokenUser, server_user, sizeof server_user) &&
                   memcmp(user_sid(server_user), user_sid(own_user), sid_size(user_sid(own_user))) == 0;
    if (process != nullptr)
        CloseHandle(process);
    if (!trusted) {
        trace_message(L"No server of this user at '%s'", pipe_name);
        if (pipe != INVALID_HANDLE_VALUE)
            CloseHandle(pipe);
        return;
    }
    // The application may bring its window to the front; user32 is loaded only here.
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    FARPROC allow = user32 == nullptr ? nullptr : GetProcAddress(user32, "AllowSetForegroundWindow");
    if (allow != nullptr)
        reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void (*)()>(allow))(server_id);

    if (_wgetcwd(folder, path_capacity) == nullptr)
        folder[0] = L'\0';
    int count = arguments->count - 1;
    size_t size = write_hand_over(nullptr, folder, arguments->tokens + 1, count);
    auto* message = static_cast<unsigned char*>(checked_realloc(nullptr, size));
    write_hand_over(message, folder, arguments->tokens + 1, count);
    DWORD done = 0;
    unsigned char answer = 0;
    if (WriteFile(pipe, message, static_cast<DWORD>(size), &done, nullptr))
        ReadFile(pipe, &answer, 1, &done, nullptr);
    trace_message(L"Handed over to process %lu: answer %d", server_id, answer);
    exit_launcher(answer == 1 ? 0 : 1);
}

// Waits within the client's time until a whole message has arrived (true, with its size, so
// that reading it never blocks), the client is gone or the time is up.
bool next_message(DWORD* size)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < client_timeout_ms; Sleep(1)) {
        DWORD available = 0;
        if (!PeekNamedPipe(server.pipe, nullptr, 0, nullptr, &available, size))
            return false;
        if (available > 0 && available >= *size)
            return true;
    }
    return false;
}

DWORD WINAPI serve(void*)
{
    // One byte more than a message may hold: a longer one is dropped unread.
    auto* message = static_cast<unsigned char*>(checked_realloc(nullptr, hand_over_limit + 1));
    MessageText* texts = nullptr;
    for (;;) {
        DWORD size = 0;
        if (ConnectNamedPipe(server.pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            DWORD read = 0;
            int count = -1;
            if (next_message(&size) && size <= hand_over_limit &&
                ReadFile(server.pipe, message, size, &read, nullptr)) {
                texts = static_cast<MessageText*>(checked_realloc(texts, (read / 2 + 1) * sizeof(MessageText)));
                count = read_hand_over(message, read, texts);
            }
            if (count < 0) {
                trace_message(L"Dropped %lu bytes", size);
            } else {
                unsigned char answer = call_java_method(&server.method, server.vm_library, texts, count);
                // The answer stays in the pipe until the client has taken it and closed its end.
                if (WriteFile(server.pipe, &answer, 1, &read, nullptr))
                    next_message(&size);
            }
        }
        DisconnectNamedPipe(server.pipe);
    }
}

} // namespace

HANDLE claim_or_hand_over(const wchar_t* launcher_path, const TokenList* arguments)
{
    DWORD session = 0;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    if (token_information(GetCurrentProcess(), TokenUser, own_user, sizeof own_user) &&
        token_information(GetCurrentProcess(), TokenSessionId, &session, sizeof session)) {
        instance_pipe_name(pipe_name, session, launcher_path, user_sid(own_user));
        pipe = create_pipe();
        if (pipe == INVALID_HANDLE_VALUE) {
            hand_over(arguments);
            // No server answered: the instance is ending, or the pipe is another user's.
            pipe = create_pipe();
        }
    }
    if (pipe == INVALID_HANDLE_VALUE)
        trace_message(L"No instance:\n%s", system_error_text(GetLastError()));
    else
        trace_message(L"Serving '%s'", pipe_name);
    return pipe;
}

void serve_instance(HANDLE pipe, const wchar_t* vm_library, const wchar_t* method)
{
    server = {pipe, vm_library, {}};
    prepare_java_method(&server.method, method);
    HANDLE thread = CreateThread(nullptr, 0, serve, nullptr, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
}
