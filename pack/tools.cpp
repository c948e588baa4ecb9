#include "tools.h"

#include "failure.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pack {

#ifdef _WIN32
namespace {

// An argument as the C runtime splits a command line back into arguments.
std::wstring quoted(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

}  // namespace

ToolRun run_tool(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder,
                 const fs::path& log, const std::vector<std::pair<std::string, std::string>>& variables)
{
    std::wstring line = quoted(program.wstring());
    for (const std::string& argument : arguments)
        line += L" " + quoted(path_of(argument).wstring());
    for (const auto& [name, value] : variables)
        SetEnvironmentVariableW(path_of(name).c_str(), path_of(value).c_str());
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE output = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        throw Failure(text_of(log) + ": cannot write it");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    ToolRun run;
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, folder.c_str(),
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        run.exit_code = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(output);
    run.output = read_bytes(log).value_or("");
    return run;
}
#else
ToolRun run_tool(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder,
                 const fs::path& log, const std::vector<std::pair<std::string, std::string>>& variables)
{
    int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (output < 0)
        throw Failure(text_of(log) + ": cannot write it");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ToolRun run;
    pid_t child = fork();
    if (child == 0) {
        // kelvo-pack runs one thread: the child may change its environment before exec.
        for (const auto& [name, value] : variables)
            setenv(name.c_str(), value.c_str(), 1);
        if (chdir(folder.c_str()) == 0 && dup2(output, 1) == 1 && dup2(output, 2) == 2)
            execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(output);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child)
        run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.output = read_bytes(log).value_or("");
    return run;
}
#endif

fs::path find_on_path(const std::string& program)
{
#ifdef _WIN32
    const wchar_t* path = _wgetenv(L"PATH");
    const std::wstring folders = path == nullptr ? L"" : path;
    const wchar_t separator = L';';
    const fs::path name = path_of(program + ".exe");
#else
    const char* path = std::getenv("PATH");
    const std::string folders = path == nullptr ? "" : path;
    const char separator = ':';
    const fs::path name = program;
#endif
    for (size_t at = 0; at <= folders.size();) {
        size_t end = folders.find(separator, at);
        if (end == folders.npos)
            end = folders.size();
        fs::path folder = folders.substr(at, end - at);
        at = end + 1;
        std::error_code error;
        if (folder.empty() || !fs::is_regular_file(folder / name, error))
            continue;
#ifndef _WIN32
        if (access((folder / name).c_str(), X_OK) != 0)
            continue;
#endif
        return folder / name;
    }
    return {};
}

std::string telling_line(const std::string& output, std::string_view start)
{
    std::string last;
    for (size_t at = 0; at < output.size();) {
        size_t end = output.find('\n', at);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!start.empty() && line.starts_with(start))
            return line;
        if (!line.empty())
            last = line;
    }
    return last;
}

}  // namespace pack
