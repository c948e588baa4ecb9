// Splitting and building a parameter file with many Java options and class-path entries
// (half of them existing files): prints the time per element for growing sizes, so that
// a step that grows faster than linearly shows as a rising cost per element.
#include "command/command.h"
#include "command/parameter_file.h"

#include "bench_clock.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void create_file(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"cannot create %ls\n", path.c_str());
        exit(1);
    }
    CloseHandle(file);
}

// Wine looks a missing name up by reading its whole folder, and so creating or missing a
// file in a large folder costs as much as the folder holds; small folders for the existing
// files and a missing folder for the missing ones keep the figures to the launcher's own work.
std::wstring existing_folder(int i)
{
    return L"lib\\" + std::to_wstring(i / 500);
}

std::wstring existing_entry(int i)
{
    return existing_folder(i) + L"\\e" + std::to_wstring(i) + L".jar";
}

// Options (every tenth with a variable reference), then the class path, the class name.
std::wstring parameter_text(const std::wstring& java, int elements)
{
    std::wstring text = L"\"" + java + L"\"\n";
    for (int i = 0; i < elements; ++i)
        text += i % 10 == 0 ? L"-Dbench.home" + std::to_wstring(i) + L"=%BENCH_HOME%\n"
                            : L"-Dbench.option" + std::to_wstring(i) + L"=value " + std::to_wstring(i) + L"\n";
    text += L"-cp ";
    for (int i = 0; i < elements; ++i) {
        if (i > 0)
            text += L';';
        text += i % 2 == 0 ? existing_entry(i / 2) : L"gone\\missing" + std::to_wstring(i) + L".jar";
    }
    text += L"\nbench.Main\n";
    return text;
}

struct Timing {
    double tokenize;
    double build;
};

Timing measure(const std::wstring& text, const std::wstring& launcher)
{
    Timing best = {1e30, 1e30};
    for (int round = 0; round < 3; ++round) {
        double start = seconds_now();
        TokenList parameters = tokenize_text(text.c_str());
        double split = seconds_now();
        wchar_t* argument_slots[] = {const_cast<wchar_t*>(launcher.c_str()), nullptr};
        TokenList arguments = {1, argument_slots};
        JavaCommand command{};
        build_java_command(L"bench.kelvo", &parameters, &arguments, L"bench.exe", &command);
        double built = seconds_now();
        free(command.text);
        free(parameters.tokens);
        if (split - start < best.tokenize)
            best.tokenize = split - start;
        if (built - split < best.build)
            best.build = built - split;
    }
    return best;
}

} // namespace

int wmain()
{
    const int sizes[] = {1000, 10000, 100000};
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring dir = module;
    dir = dir.substr(0, dir.rfind(L'\\')) + L"\\launcher-bench";
    CreateDirectoryW(dir.c_str(), nullptr);
    CreateDirectoryW((dir + L"\\lib").c_str(), nullptr);
    std::wstring java = dir + L"\\java.exe";
    create_file(java);
    // The existing half of the largest class path; kept between runs.
    for (int i = 0; i < sizes[2] / 2; ++i) {
        if (i % 500 == 0)
            CreateDirectoryW((dir + L"\\" + existing_folder(i)).c_str(), nullptr);
        std::wstring path = dir + L"\\" + existing_entry(i);
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            create_file(path);
    }
    // Tracing reads the C runtime's copy of the environment: off for the measurement.
    _wputenv_s(L"VERBOSE_KELVO", L"");
    _wputenv_s(L"BENCH_HOME", L"C:\\Program Files\\Bench");
    std::wstring launcher = dir + L"\\app.exe";

    wprintf(L"%10ls %12ls %12ls %14ls %14ls %14ls\n", L"options", L"class path", L"chars", L"tokenize ns/el",
            L"build ns/el", L"total ns/el");
    double previous = 0;
    for (int size : sizes) {
        std::wstring text = parameter_text(java, size);
        Timing t = measure(text, launcher);
        double elements = 2.0 * size;
        double total = (t.tokenize + t.build) * 1e9 / elements;
        wprintf(L"%10d %12d %12zu %14.1f %14.1f %14.1f", size, size, text.size(), t.tokenize * 1e9 / elements,
                t.build * 1e9 / elements, total);
        if (previous > 0)
            wprintf(L"   growth per element x%.2f", total / previous);
        wprintf(L"\n");
        fflush(stdout);
        previous = total;
    }
    return 0;
}
