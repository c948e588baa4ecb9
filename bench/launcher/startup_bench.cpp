// The cost of starting Java through the launcher: the same command started through a copy of
// kelvo.exe (which waits for it) and directly, alternately, many times; prints the medians and
// their ratio. The Java is a stand-in that exits at once: quick_java.exe beside this program, or
// the one named by the first argument (another bitness, say), copied to jre\bin\javaw.exe: a
// windowless program, as a desktop application's Java is, so that no console is made for it.
// Then the same for Java in the launcher's process against the runtime's own java.exe, and a
// second start that hands its arguments to the running instance against a start of the stand-in,
// also one that loads user32 as that second start does.
#include "bench_clock.h"

#include "kit.h"

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
    // Wine now and then refuses a start with an internal error (1359) under load: tried again.
    for (int attempt = 1;
         !CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
         ++attempt) {
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3)
            fail(L"cannot start", command);
        line = command;
        start = seconds_now();
    }
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

// Runs the two commands alternately, many times, and prints their medians, tenth percentiles
// and ratios. Wine's process start-up is bimodal (some processes spend 15 ms more setting up
// their time zone), so many runs, their medians, and the tenth percentile for starts that were
// spared that.
void compare(const wchar_t* what, const wchar_t* first_name, const std::wstring& first, const wchar_t* second_name,
             const std::wstring& second)
{
    constexpr int warm_up = 5;
    constexpr int runs = 201;
    for (int i = 0; i < warm_up; ++i) {
        run_once(first);
        run_once(second);
    }
    std::vector<double> firsts, seconds;
    for (int i = 0; i < runs; ++i) {
        firsts.push_back(run_once(first));
        seconds.push_back(run_once(second));
    }
    wprintf(L"%ls, %d alternating runs\n", what, runs);
    for (double share : {0.5, 0.1}) {
        double a = quantile(firsts, share);
        double b = quantile(seconds, share);
        wprintf(L"  %ls: %ls %.1f ms, %ls %.1f ms: ratio %.2f\n", share == 0.5 ? L"median" : L"10th percentile",
                first_name, a * 1e3, second_name, b * 1e3, a / b);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring stand_in = argc > 1 ? argv[1] : kit::bin_path(L"quick_java.exe");
    std::wstring dir = kit::bin_dir() + L"\\startup-bench";
    std::wstring launcher = dir + L"\\app.exe";
    std::wstring java = dir + L"\\jre\\bin\\javaw.exe";
    kit::create_folders(dir + L"\\jre\\bin");
    kit::copy_file(kit::bin_path(L"kelvo.exe"), launcher);
    kit::copy_file(stand_in, java);
    kit::write_file_bytes(dir + L"\\app.kelvo", "jre\\bin\\javaw.exe -cp . Main\n");
    SetEnvironmentVariableW(L"VERBOSE_KELVO", nullptr);
    SetEnvironmentVariableW(L"KIT_JLI_RECORD", nullptr);

    // The command the launcher builds from that parameter file, started directly.
    wprintf(L"Java stand-in: %ls\n", stand_in.c_str());
    compare(L"A start through the launcher against the same command started directly", L"through the launcher",
            quoted(launcher), L"directly", java + L" -cp " + quoted(dir + L"\\.") + L" Main");

    // Java in the launcher's process against the runtime's own java.exe: a stand-in runtime of
    // the launcher's bitness whose jli.dll returns at once, called by the launcher or by a
    // java.exe that loads it beside itself and calls it, as java.exe does.
    std::wstring hosted = dir + L"\\inprocess";
    std::wstring home = hosted + L"\\jre";
    kit::install_hosted_runtime(home);
    kit::copy_file(kit::bin_path(L"kelvo.exe"), hosted + L"\\app.exe");
    kit::copy_file(kit::bin_path(L"quick_java.exe"), home + L"\\bin\\javaw.exe");
    kit::copy_file(kit::bin_path(L"jli_java.exe"), home + L"\\bin\\java.exe");
    kit::write_file_bytes(hosted + L"\\app.kelvo", "inprocess\njre\\bin\\javaw.exe -cp . Main\n");
    compare(L"Java in the launcher's process against the runtime's own java.exe", L"in process",
            quoted(hosted + L"\\app.exe"), L"java.exe",
            quoted(home + L"\\bin\\java.exe") + L" -cp " + quoted(hosted + L"\\.") + L" Main");

    // The same runtime whose stand-in jvm.dll's method returns at once; its jli.dll creates the
    // virtual machine and runs until the hold file exists.
    kit::write_file_bytes(hosted + L"\\app.kelvo", "inprocess single:com.example.Main.open jre\\bin\\javaw.exe -cp . Main\n");
    std::wstring hold = dir + L"\\hold";
    DeleteFileW(hold.c_str());
    SetEnvironmentVariableW(L"KIT_JVM_RECORD", L"NUL");
    SetEnvironmentVariableW(L"KIT_JLI_HOLD", hold.c_str());
    std::wstring first = quoted(hosted + L"\\app.exe");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION instance{};
    if (!CreateProcessW(nullptr, first.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &instance))
        fail(L"cannot start", first);
    // Later starts never wait for a hold: one that finds no instance yet runs as a first start.
    SetEnvironmentVariableW(L"KIT_JVM_RECORD", nullptr);
    SetEnvironmentVariableW(L"KIT_JLI_HOLD", nullptr);
    Sleep(1000);
    compare(L"A second start that hands its arguments over against a start of the stand-in", L"handing over",
            first + L" C:\\docs\\drawing.emf", L"stand-in", quoted(java));
    // What of that is user32's load (for AllowSetForegroundWindow), which the launcher does not
    // control: under Wine it costs about as much as a whole start of the stand-in. The stand-in
    // is of the launcher's bitness here, as that load is.
    std::wstring windowed = dir + L"\\jre\\bin\\javaw-user32.exe";
    kit::copy_file(kit::bin_path(L"quick_java_user32.exe"), windowed);
    compare(L"The same against a start of the stand-in that loads user32 as the hand-over does", L"handing over",
            first + L" C:\\docs\\drawing.emf", L"stand-in loading user32", quoted(windowed));
    kit::write_file_bytes(hold, "");
    WaitForSingleObject(instance.hProcess, INFINITE);
    CloseHandle(instance.hThread);
    CloseHandle(instance.hProcess);
    return 0;
}
