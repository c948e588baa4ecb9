// The cost of starting Java through the launcher: the same command started through a copy of
// kelvo.exe (which waits for it) and directly, alternately, many times; prints the medians and
// their ratio. The Java is a stand-in that exits at once: quick_java.exe beside this program, or
// the one named by the first argument (another bitness, say), copied to jre\bin\javaw.exe: a
// windowless program, as a desktop application's Java is, so that no console is made for it.
#include "bench_clock.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const wchar_t* what, const std::wstring& object)
{
    fwprintf(stderr, L"%ls %ls (error %lu)\n", what, object.c_str(), GetLastError());
    exit(1);
}

// Seconds from the start of the command until its process has ended.
double run_once(const std::wstring& command)
{
    std::wstring line = command;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    double start = seconds_now();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        fail(L"cannot start", command);
    WaitForSingleObject(process.hProcess, INFINITE);
    double took = seconds_now() - start;
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != 0)
        fail(L"exit code not 0 from", command);
    return took;
}

// The value below which the given share of the values lie.
double quantile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
}

std::wstring quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring bin = module;
    bin = bin.substr(0, bin.rfind(L'\\'));
    std::wstring stand_in = argc > 1 ? argv[1] : bin + L"\\quick_java.exe";
    std::wstring dir = bin + L"\\startup-bench";
    std::wstring launcher = dir + L"\\app.exe";
    std::wstring java = dir + L"\\jre\\bin\\javaw.exe";
    for (const wchar_t* folder : {L"", L"\\jre", L"\\jre\\bin"})
        CreateDirectoryW((dir + folder).c_str(), nullptr);
    if (!CopyFileW((bin + L"\\kelvo.exe").c_str(), launcher.c_str(), FALSE))
        fail(L"cannot copy kelvo.exe to", launcher);
    if (!CopyFileW(stand_in.c_str(), java.c_str(), FALSE))
        fail(L"cannot copy the stand-in Java to", java);
    std::string parameters = "jre\\bin\\javaw.exe -cp . Main\n";
    HANDLE file = CreateFileW((dir + L"\\app.kelvo").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, parameters.data(), static_cast<DWORD>(parameters.size()),
                                                   &written, nullptr))
        fail(L"cannot write", dir + L"\\app.kelvo");
    CloseHandle(file);
    SetEnvironmentVariableW(L"VERBOSE_KELVO", nullptr);

    // The command the launcher builds from that parameter file, started directly.
    std::wstring through_launcher = quoted(launcher);
    std::wstring direct = java + L" -cp " + quoted(dir + L"\\.") + L" Main";
    // Wine's process start-up is bimodal (some processes spend 15 ms more setting up their
    // time zone), so many runs, their medians, and the tenth percentile for starts that were
    // spared that.
    constexpr int warm_up = 5;
    constexpr int runs = 201;
    for (int i = 0; i < warm_up; ++i) {
        run_once(through_launcher);
        run_once(direct);
    }
    std::vector<double> launched, started;
    for (int i = 0; i < runs; ++i) {
        launched.push_back(run_once(through_launcher));
        started.push_back(run_once(direct));
    }
    wprintf(L"Java stand-in: %ls; %d alternating runs\n", stand_in.c_str(), runs);
    for (double share : {0.5, 0.1}) {
        double through = quantile(launched, share);
        double direct = quantile(started, share);
        wprintf(L"%ls: through the launcher %.1f ms, directly %.1f ms: %.2f direct starts\n",
                share == 0.5 ? L"median" : L"10th percentile", through * 1e3, direct * 1e3, through / direct);
    }
    return 0;
}
