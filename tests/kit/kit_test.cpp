#include "kit.h"

#include <gtest/gtest.h>

using namespace kit;

TEST(Kit, ReportsEveryErrorBoxInOrderAndTheExitCode)
{
    RunOptions options;
    options.program = bin_path(L"box_demo.exe");
    options.command_line = L"box_demo \"first box\nsecond line\" \"x\\\"y\"";
    RunResult result = run_program(options);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, 3u);
    ASSERT_EQ(result.boxes.size(), 2u);
    EXPECT_EQ(result.boxes[0], L"first box\nsecond line");
    EXPECT_EQ(result.boxes[1], L"x\"y");
}

TEST(Kit, TimeoutKillsTheProgram)
{
    std::wstring dir = scratch_dir(L"kit-timeout");
    std::wstring java = dir + L"\\java.exe";
    install_fake_java(java);
    auto env = current_environment();
    set_variable(env, java_sleep_variable, L"60000");
    RunResult result = run_program({java, L"java", env, dir, 500});
    EXPECT_FALSE(result.finished);
}

TEST(Kit, FakeJavaRecordsCommandLineFolderAndBothSplits)
{
    std::wstring dir = scratch_dir(L"kit-java");
    std::wstring java = dir + L"\\bin\\javaw.exe";
    install_fake_java(java);
    std::wstring record = dir + L"\\record";
    auto env = current_environment();
    set_variable(env, java_record_variable, record);
    set_variable(env, java_exit_variable, L"7");
    std::wstring command = L"javaw -cp \"a b;c\" \"q\\\"uote\" end\\\\ \xE9t\xE9";
    RunResult result = run_program({java, command, env, dir, 30000});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, 7u);
    EXPECT_TRUE(result.boxes.empty());
    auto got = read_java_record(record);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->raw, command);
    EXPECT_EQ(got->folder, dir);
    std::vector<std::wstring> expected = {L"javaw", L"-cp", L"a b;c", L"q\"uote", L"end\\\\", L"\xE9t\xE9"};
    EXPECT_EQ(got->shell_args, expected);
    EXPECT_EQ(got->crt_args, expected);
    EXPECT_TRUE(file_present(record + L".done"));
}

TEST(Kit, EnvironmentVariablesAreReplacedWithoutRegardToCase)
{
    std::vector<std::wstring> env = {L"Path=C:\\x", L"OTHER=1"};
    set_variable(env, L"PATH", L"D:\\y");
    remove_variable(env, L"other");
    EXPECT_EQ(env, std::vector<std::wstring>{L"PATH=D:\\y"});
}

TEST(Kit, WritesExactBytes)
{
    std::wstring path = scratch_dir(L"kit-bytes") + L"\\file";
    std::string bytes("\xEF\xBB\xBF" "a\0b\r\n", 8);
    write_file_bytes(path, bytes);
    EXPECT_EQ(read_file_bytes(path), bytes);
}

TEST(Kit, RegistryViewsAreSeparate)
{
    remove_javasoft(View::bits64);
    remove_javasoft(View::bits32);
    set_javasoft_string(View::bits64, L"JRE", L"CurrentVersion", L"17");
    set_javasoft_string(View::bits32, L"JRE", L"CurrentVersion", L"11");
    EXPECT_EQ(read_javasoft_string(View::bits64, L"JRE", L"CurrentVersion"), L"17");
    EXPECT_EQ(read_javasoft_string(View::bits32, L"JRE", L"CurrentVersion"), L"11");
    remove_javasoft(View::bits64);
    EXPECT_FALSE(read_javasoft_string(View::bits64, L"JRE", L"CurrentVersion").has_value());
    EXPECT_EQ(read_javasoft_string(View::bits32, L"JRE", L"CurrentVersion"), L"11");
    remove_javasoft(View::bits32);
    EXPECT_FALSE(read_javasoft_string(View::bits32, L"JRE", L"CurrentVersion").has_value());
}
