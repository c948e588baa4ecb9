#include "system/diagnostics.h"

#include "kit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring formatted(const wchar_t* format, ...)
{
    wchar_t out[32];
    va_list args;
    va_start(args, format);
    format_wide(out, 32, format, args);
    va_end(args);
    return out;
}

// Every form the launcher's messages use, as the C runtime's _vsnwprintf writes it.
TEST(FormatWide, MicrosoftWideRulesAndCutting)
{
    struct Row {
        std::wstring expected, actual;
    } rows[] = {
        {L"'wide' -7", formatted(L"'%s' %d", L"wide", -7)},
        {L"abc|", formatted(L"%.3s|", L"abcdef")},
        {L"0123456789012345678901234567890", formatted(L"%s", L"0123456789012345678901234567890123456789")},
        {L"exports no _JLI_Launch@56", formatted(L"exports no %S", "_JLI_Launch@56")},
        {L"a\u00e9.b", formatted(L"%S.%.1S", "a\xe9", "b")},
        {L"U+00E9 in 1252", formatted(L"U+%04X in %u", 0xE9u, 1252u)},
        {L"0x8664 0x1C4", formatted(L"0x%X 0x%X", 0x8664u, 0x1C4u)},
        {L"00000001ffffffff", formatted(L"%08lx%08lx", 1ul, 0xFFFFFFFFul)},
        {L"4294967295 -2147483648 100%", formatted(L"%lu %d 100%%", 4294967295ul, -2147483647 - 1)},
        {L"(null)", formatted(L"%s", static_cast<const wchar_t*>(nullptr))},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.actual, row.expected);
}

TEST(SystemErrorText, SystemTextThenCode)
{
    std::wstring text = system_error_text(2);
    EXPECT_GT(text.size(), 12u);
    EXPECT_EQ(text.substr(text.size() - 11), L"\n (error 2)") << "the system's line break is kept";
    EXPECT_STREQ(system_error_text(0x2FFFFFFF), L" (error 805306367)") << "no system text: empty";
}

// A copy of the probe in a folder of its own, so its log file lies there too.
struct Probe {
    std::wstring dir;
    std::wstring exe;
    std::wstring log;

    explicit Probe(const wchar_t* name)
        : dir(kit::scratch_dir(name)), exe(dir + L"\\app.exe"), log(dir + L"\\app.kelvo_log")
    {
        kit::copy_file(kit::bin_path(L"diagnostics_probe.exe"), exe);
    }

    kit::RunResult run(const std::wstring& arguments, bool verbose)
    {
        auto env = kit::current_environment();
        kit::remove_variable(env, L"VERBOSE_KELVO");
        if (verbose)
            kit::set_variable(env, L"VERBOSE_KELVO", L"");
        return kit::run_program({exe, L"app.exe " + arguments, env, dir, 30000});
    }
};

TEST(Diagnostics, TraceLogBesideLauncherWithBannerAndEntries)
{
    Probe probe(L"diag-trace");
    kit::RunResult run = probe.run(L"trace \"C:\\Apps\\x\x4E2D\xD83D\xDE00y.kelvo\"", true);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(kit::read_file_bytes(probe.log),
              "Tandrel kelvo version 2.2.0\r\n"
              "Loading parameter file\r\n'C:\\Apps\\x??y.kelvo'\r\n\r\n"
              "Process 42 created\r\n\r\n")
        << "characters outside the narrow set become one '?' each, and the entry goes on";
}

TEST(Diagnostics, NoLogWithoutVerboseAndAnOldLogStaysAsItWas)
{
    Probe probe(L"diag-quiet");
    kit::write_file_bytes(probe.log, "earlier run");
    kit::RunResult run = probe.run(L"trace x", false);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(kit::read_file_bytes(probe.log), "earlier run");
}

TEST(Diagnostics, FatalErrorIsLoggedThenShownAndExitsTwo)
{
    Probe probe(L"diag-fatal");
    kit::RunResult run = probe.run(L"fatal C:\\a.kelvo", true);
    EXPECT_EQ(run.exit_code, 2u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0], L"Cannot open parameter file\n'C:\\a.kelvo':\nerrno=2");
    EXPECT_EQ(kit::read_file_bytes(probe.log),
              "Tandrel kelvo version 2.2.0\r\nBefore the failure\r\n\r\n"
              "Cannot open parameter file\r\n'C:\\a.kelvo':\r\nerrno=2\r\n\r\n");
}

TEST(Diagnostics, BoxBeforeTheFirstTraceIsNotLogged)
{
    Probe probe(L"diag-show");
    kit::RunResult run = probe.run(L"show-then-trace p", true);
    EXPECT_EQ(run.exit_code, 5u);
    EXPECT_EQ(run.boxes, (std::vector<std::wstring>{L"Shown before any trace\n'p'", L"Shown after a trace"}));
    EXPECT_EQ(kit::read_file_bytes(probe.log),
              "Tandrel kelvo version 2.2.0\r\nTraced after the box\r\n\r\nShown after a trace\r\n\r\n");
}

TEST(Diagnostics, LongBoxTextIsCutAt4095)
{
    Probe probe(L"diag-long");
    kit::RunResult run = probe.run(L"long-box", false);
    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    std::wstring head = L"Cannot determine whether OS is 32-bit or 64-bit; will not use\n'";
    EXPECT_EQ(run.boxes[0], head + std::wstring(4095 - head.size(), L'p'));
}

TEST(Diagnostics, AllocationFailuresAreOutOfMemory)
{
    for (const wchar_t* scenario : {L"huge-allocation", L"buffer-overflow"}) {
        Probe probe(L"diag-oom");
        kit::RunResult run = probe.run(scenario, false);
        EXPECT_EQ(run.exit_code, 2u) << kit::utf8(scenario);
        EXPECT_EQ(run.boxes, std::vector<std::wstring>{L"Out of memory"}) << kit::utf8(scenario);
    }
}

}  // namespace
