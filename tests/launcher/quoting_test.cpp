#include "command/quoting.h"

#include "kit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::wstring quoted(const wchar_t* text)
{
    WideBuffer b;
    wide_buffer_init(&b);
    append_quoted_argument(&b, text);
    std::wstring result(b.data == nullptr ? L"" : std::wstring(b.data, static_cast<size_t>(b.length)));
    wide_buffer_release(&b);
    return result;
}

TEST(AppendQuotedArgument, Table)
{
    struct Case {
        const wchar_t* text;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"java", L"java"},
        {L"C:\\Apps\\java.exe", L"C:\\Apps\\java.exe"},
        {L"", L"\"\""},
        {L"C:\\Program Files\\Java\\bin\\javaw.exe", L"\"C:\\Program Files\\Java\\bin\\javaw.exe\""},
        {L"C:\\My Dir\\", L"\"C:\\My Dir\\\\\""},
        {L"C:\\dir\\", L"\"C:\\dir\\\\\""},
        {L"a\"b", L"\"a\\\"b\""},
        {L"a\\\"b", L"\"a\\\\\\\"b\""},
        {L"a\\\\b c", L"\"a\\\\b c\""},
        {L"a\tb", L"\"a\tb\""},  // Windows splits at tabs too
        {L"a\rb\nc", L"a\rb\nc"},  // line breaks alone split nothing
        {L"\"", L"\"\\\"\""},
        {L"\\\\", L"\"\\\\\\\\\""},
        {L"\x4E2D\x6587.txt", L"\x4E2D\x6587.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quoted(c.text), c.expected) << kit::utf8(c.text);
}

using kit::shell_split;

std::wstring random_element(std::mt19937& random)
{
    static const std::vector<std::wstring> pieces = {
        L"a", L"Z", L"0", L" ", L"\t", L"\"", L"\\", L"\\\\", L"\\\\\\", L"\r", L"\n", L"\xE9", L"\x4E2D",
        L"\xD83D\xDE00", L";", L"%", L"*", L"-D", L"x y", L"\\\"", L"C:\\dir\\",
    };
    std::uniform_int_distribution<size_t> length(0, 8);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::wstring element;
    for (size_t n = length(random); n > 0; --n)
        element += pieces[pick(random)];
    return element;
}

// Quoting then splitting gives the elements back, for both Windows parsers.
TEST(AppendQuotedArgument, RandomElementsReadBackExactly)
{
    std::wstring dir = kit::scratch_dir(L"quoting-property");
    std::wstring java = dir + L"\\java.exe";
    kit::install_fake_java(java);
    auto env = kit::current_environment();
    std::mt19937 random(20261207);
    for (int line = 0; line < 400; ++line) {
        std::vector<std::wstring> elements = {L"java"};
        for (int i = 0; i < 8; ++i)
            elements.push_back(random_element(random));
        WideBuffer b;
        wide_buffer_init(&b);
        for (size_t i = 0; i < elements.size(); ++i) {
            if (i > 0)
                wide_buffer_append_char(&b, L' ');
            append_quoted_argument(&b, elements[i].c_str());
        }
        std::wstring command(b.data, static_cast<size_t>(b.length));
        wide_buffer_release(&b);
        ASSERT_EQ(shell_split(command), elements) << kit::utf8(command);

        // The C runtime's split needs a process of its own; a share of the lines suffices.
        if (line % 10 != 0)
            continue;
        std::wstring record = dir + L"\\record" + std::to_wstring(line);
        kit::set_variable(env, kit::java_record_variable, record);
        kit::RunResult run = kit::run_program({java, command, env, dir, 30000});
        ASSERT_TRUE(run.finished);
        auto got = kit::read_java_record(record);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->crt_args, elements) << kit::utf8(command);
    }
}

}  // namespace
