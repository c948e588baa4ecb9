// Stress: many conversions on many threads through vecraster-32.dll, and many launcher runs
// in a row, none leaving a handle, memory or a process behind.
#include "hardening_launcher.h"
#include "kit.h"
#include "raster_kit.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <map>
#include <thread>
#include <vector>

namespace {

using raster::Shape;

TEST(Stress, SixteenThreadsTimesTwoHundredConversions)
{
    constexpr int threads = 16;
    constexpr int calls = 200;
    std::wstring dir = kit::scratch_dir(L"stress-threads");
    std::wstring emf = dir + L"\\picture.emf";
    raster::write_emf(emf, 240, 180, 96, 96,
                      {{Shape::Kind::rectangle, {10, 10, 100, 50}, RGB(200, 30, 30)},
                       {Shape::Kind::ellipse, {120, 70, 230, 170}, RGB(30, 120, 200)}});
    // A first round on as many threads, so that the per-thread bookkeeping of the C runtime and
    // of Wine has its steady size before the measurement.
    std::vector<std::thread> warm;
    for (int t = 0; t < threads; ++t)
        warm.emplace_back([&, t] { raster::call_vecraster(emf, dir + L"\\warm" + std::to_wstring(t) + L".png", 96); });
    for (std::thread& thread : warm)
        thread.join();
    DWORD handles_before = kit::own_handles();
    SIZE_T bytes_before = kit::private_bytes();

    auto start = std::chrono::steady_clock::now();
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            // Each thread writes over its own two files, so the folder stays small.
            for (int i = 0; i < calls; ++i) {
                std::wstring out = dir + L"\\t" + std::to_wstring(t) + L"_" + std::to_wstring(i % 2) + L".png";
                raster::CallResult result = raster::call_vecraster(emf, out, i % 3 == 0 ? 0.0 : 48.0 + i % 5 * 24.0);
                if (!result.is_null)
                    ++failures;
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(failures.load(), 0);

    DWORD handles_after = kit::own_handles();
    SIZE_T bytes_after = kit::private_bytes();
    std::cout << threads * calls << " conversions in " << seconds << " s; handles " << handles_before << " -> "
              << handles_after << ", private bytes " << bytes_before << " -> " << bytes_after << "\n";
    ASSERT_NE(handles_before, 0u) << "no handle count";
    ASSERT_NE(bytes_before, 0u) << "no private bytes";
    EXPECT_LE(handles_after, handles_before + 8u);
    EXPECT_LE(bytes_after, bytes_before + 8u * 1024u * 1024u);
    std::optional<raster::ImageInfo> last = raster::image_info(dir + L"\\t15_1.png");
    ASSERT_TRUE(last.has_value());
}

// Processes running a program from the given folder (tests running beside this one start
// stand-in Java processes of their own).
int processes_in(const std::wstring& folder)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (process == nullptr)
            continue;
        wchar_t image[4096];
        DWORD size = 4096;
        if (QueryFullProcessImageNameW(process, 0, image, &size) && _wcsnicmp(image, folder.c_str(), folder.size()) == 0)
            ++count;
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return count;
}

// Handles of Wine's own long-lived processes, which every process start and end goes through;
// those of other tests running beside this one are left out.
DWORD service_handles()
{
    static const wchar_t* services[] = {L"services.exe", L"explorer.exe", L"winedevice.exe", L"plugplay.exe",
                                        L"svchost.exe", L"rpcss.exe"};
    std::map<ULONG, DWORD> handles = kit::handles_by_process();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    DWORD total = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        for (const wchar_t* name : services) {
            if (_wcsicmp(entry.szExeFile, name) == 0)
                total += handles[entry.th32ProcessID];
        }
    }
    CloseHandle(snapshot);
    return total;
}

TEST(Stress, TwoHundredLauncherRunsWithStart)
{
    constexpr int runs = 200;
    hardening::Launcher l(L"stress-launcher");
    kit::write_file_bytes(l.parameters, "start jre\\bin\\java.exe -cp . Main");
    std::wstring records = l.dir + L"\\records";
    kit::create_folders(records);
    // One run first: Wine's services reach their steady state, and the Java it starts, still
    // sleeping when the launcher has ended, shows that a process left running would be seen.
    kit::set_variable(l.env, kit::java_record_variable, records + L"\\warm");
    kit::set_variable(l.env, kit::java_sleep_variable, L"2000");
    ASSERT_EQ(l.run().exit_code, 0u);
    EXPECT_EQ(processes_in(l.dir + L"\\"), 1);
    for (int i = 0; i < 200 && !kit::file_present(records + L"\\warm.done"); ++i)
        Sleep(50);
    kit::remove_variable(l.env, kit::java_sleep_variable);
    DWORD own_before = kit::own_handles();
    DWORD services_before = service_handles();

    auto start = std::chrono::steady_clock::now();
    int failed = 0;
    for (int i = 0; i < runs; ++i) {
        kit::set_variable(l.env, kit::java_record_variable, records + L"\\r" + std::to_wstring(i));
        kit::RunResult run = l.run();
        if (!run.finished || run.exit_code != 0 || !run.boxes.empty()) {
            ++failed;
            ADD_FAILURE() << "run " << i << ": " << (run.finished ? "exit code " : "killed, exit code ")
                          << run.exit_code << (run.boxes.empty() ? "" : ", box: " + kit::utf8(run.boxes[0]));
        }
    }
    EXPECT_EQ(failed, 0);
    // Every Java was started and ended on its own.
    int missing = 0;
    for (int i = 0; i < runs; ++i) {
        std::wstring done = records + L"\\r" + std::to_wstring(i) + L".done";
        for (int wait = 0; wait < 200 && !kit::file_present(done); ++wait)
            Sleep(50);
        missing += !kit::file_present(done);
    }
    EXPECT_EQ(missing, 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The stand-in ends right after writing its mark; give the last ones a moment.
    int left = 0;
    for (int wait = 0; wait < 100; ++wait) {
        left = processes_in(l.dir + L"\\");
        if (left == 0)
            break;
        Sleep(50);
    }
    EXPECT_EQ(left, 0) << "launcher or Java processes left running";

    DWORD own_after = kit::own_handles();
    DWORD services_after = service_handles();
    std::cout << runs << " runs in " << seconds << " s; handles of this process " << own_before << " -> "
              << own_after << ", of Wine's services " << services_before << " -> " << services_after << "\n";
    EXPECT_LE(own_after, own_before + 4u);
    EXPECT_LE(services_after, services_before + 20u);
}

}  // namespace
