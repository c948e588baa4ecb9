#include "command/parameter_file.h"

#include "command/quoting.h"

#include "kit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> split(const std::wstring& text)
{
    TokenList list = tokenize_text(text.c_str());
    std::vector<std::wstring> tokens(list.tokens, list.tokens + list.count);
    EXPECT_EQ(list.tokens[list.count], nullptr);
    free(list.tokens);
    return tokens;
}

struct TokenCase {
    const wchar_t* text;
    std::vector<std::wstring> tokens;
};

void expect_tokens(const std::vector<TokenCase>& cases)
{
    for (const TokenCase& c : cases)
        EXPECT_EQ(split(c.text), c.tokens) << kit::utf8(c.text);
}

TEST(TokenizeText, QuotesAndSeparators)
{
    expect_tokens({
        {L"", {}},
        {L" \t\r\n ", {}},
        {L"a b", {L"a", L"b"}},
        {L"\ta\r\nb\rc\nd ", {L"a", L"b", L"c", L"d"}},
        {L"\"C:\\Program Files\\App\" x", {L"C:\\Program Files\\App", L"x"}},
        {L"ab\"c d\"e", {L"abc de"}},
        {L"\"\" x", {L"", L"x"}},
        {L"\"\"\t\"\"", {L"", L""}},
        {L"\"a\"\"b\"", {L"ab"}},
        {L"\"a\"b", {L"ab"}},
        {L"\"a\tb\r\nc # d\"", {L"a\tb\r\nc # d"}},
        {L"\"unclosed quote", {L"unclosed quote"}},
        {L"a\x00A0" L"b", {L"a\x00A0" L"b"}},  // only the four whitespace characters separate
        {L"\xFFFD \xD83D\xDE00", {L"\xFFFD", L"\xD83D\xDE00"}},
    });
}

TEST(TokenizeText, EmptyTokenAtTheVeryEndIsKept)
{
    // Windows reads `x ""` as an empty last argument, as the tokenizer does before a blank.
    expect_tokens({
        {L"x \"\"", {L"x", L""}},
        {L"x \"", {L"x", L""}},
        {L"x \"\"\"\"", {L"x", L""}},
    });
}

TEST(TokenizeText, BackslashRuns)
{
    expect_tokens({
        {L"a\\\"b", {L"a\"b"}},
        {L"a\\\\\"b c\"", {L"a\\b c"}},
        {L"a\\\\\\\"b", {L"a\\\"b"}},
        {L"C:\\dir\\ a\\\\b", {L"C:\\dir\\", L"a\\\\b"}},
        {L"\\\"x", {L"\"x"}},                     // a run between tokens starts one
        {L"\\\\\\\\\"a b\"", {L"\\\\a b"}},
        {L"\\\\", {L"\\\\"}},                      // at the end of the text: kept as written
        {L"\"a\\\"b\"", {L"a\"b"}},                // escaped quote inside quotes
        {L"\"a b\\\\\" c", {L"a b\\", L"c"}},      // even run: the quote still closes
        {L"\"a\\\\b\"", {L"a\\\\b"}},
        {L"\\\" x", {L"\"", L"x"}},
    });
}

TEST(TokenizeText, Comments)
{
    expect_tokens({
        {L"# whole line", {}},
        {L"#c\rx", {L"x"}},
        {L"#c\nx", {L"x"}},
        {L"#c\r\nx", {L"x"}},
        {L"a # c d\r\nb # e", {L"a", L"b"}},
        {L"a#b c", {L"a#b", L"c"}},
        {L"\"#x\" y", {L"#x", L"y"}},
        {L"# \"quoted\rx \"y\"", {L"x", L"y"}},     // a comment ignores quotes; the line end ends it
        {L"prog a #b \"c d\"", {L"prog", L"a"}},   // a command line has no line end
    });
}

TEST(TokenizeText, RoomForTheLauncherPathEvenWithoutTokens)
{
    for (const wchar_t* text : {L"", L"   ", L"# only"}) {
        TokenList list = tokenize_text(text);
        EXPECT_EQ(list.count, 0);
        list.tokens[0] = const_cast<wchar_t*>(L"C:\\app.exe");  // element 0 always exists
        EXPECT_EQ(list.tokens[1], nullptr);
        free(list.tokens);
    }
}

TEST(TokenizeText, DensestTextsStayInsideTheirBlock)
{
    // The most tokens and terminators per character that the sizing must bound.
    std::wstring singles;
    std::wstring empties;
    for (int i = 0; i < 5000; ++i) {
        singles += L"a ";
        empties += L"\"\" ";
    }
    empties += L"\"\"";
    TokenList list = tokenize_text(singles.c_str());
    ASSERT_EQ(list.count, 5000);
    auto* block_end = reinterpret_cast<wchar_t*>(list.tokens + 5000 + 2) + singles.size() + 5000 + 2;
    for (int i = 0; i < list.count; ++i) {
        EXPECT_STREQ(list.tokens[i], L"a");
        EXPECT_GT(static_cast<void*>(list.tokens[i]), static_cast<void*>(list.tokens + list.count));
        EXPECT_LT(list.tokens[i] + 1, block_end);
    }
    free(list.tokens);
    std::vector<std::wstring> tokens = split(empties);
    EXPECT_EQ(tokens.size(), 5001u);
    EXPECT_EQ(tokens.back(), L"");
}

TEST(TokenizeText, TokensAreWritable)
{
    TokenList list = tokenize_text(L"javaw[11.0.0+] x");
    list.tokens[0][5] = L'\0';
    EXPECT_STREQ(list.tokens[0], L"javaw");
    EXPECT_STREQ(list.tokens[1], L"x");
    free(list.tokens);
}

// Whatever the quoting writes, the tokenizer reads back (the launcher's own arguments come
// quoted that way), for elements without line ends and not starting with "#".
TEST(TokenizeText, ReadsBackQuotedElements)
{
    const std::vector<std::wstring> pieces = {L"a", L" ", L"\t", L"\"", L"\\", L"\\\\", L"\\\\\\", L"\xE9",
                                              L"\xD83D\xDE00", L";", L"%", L"#", L"x y", L"\\\"", L"C:\\d\\"};
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> length(0, 6);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    for (int line = 0; line < 500; ++line) {
        std::vector<std::wstring> elements;
        WideBuffer b;
        wide_buffer_init(&b);
        for (int i = 0; i < 6; ++i) {
            std::wstring element;
            for (size_t n = length(random); n > 0; --n)
                element += pieces[pick(random)];
            if (!element.empty() && element[0] == L'#')
                element.insert(0, L"x");
            if (i > 0)
                wide_buffer_append_char(&b, L' ');
            append_quoted_argument(&b, element.c_str());
            elements.push_back(element);
        }
        std::wstring text(b.data, static_cast<size_t>(b.length));
        wide_buffer_release(&b);
        ASSERT_EQ(split(text), elements) << kit::utf8(text);
    }
}

// Files that load: the decoded text is returned.
TEST(LoadParameterFile, DecodesUtf8)
{
    std::wstring dir = kit::scratch_dir(L"param-load");
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"plain", "javaw -cp a Main\r\n", L"javaw -cp a Main\r\n"},
        {"bom", "\xEF\xBB\xBFjavaw\n", L"javaw\n"},
        {"bom-once", "\xEF\xBB\xBF\xEF\xBB\xBFx", L"\xFEFFx"},   // only the first mark is skipped
        {"letters", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", L"\xE9\x4E2D\xD83D\xDE00"},
        {"malformed", "a\xFF" "b\xC3", L"a\xFFFD" L"b\xFFFD"},
        {"two-bytes", "\xEF\xBB", L"\xFFFD"},                   // too short for a mark
        {"zero-byte", std::string("ab\0cd", 5), L"ab"},
        {"utf16", std::string("j\0a\0", 4), L"j"},
        {"comments", "# only a comment\n", L"# only a comment\n"},
    };
    for (const Case& c : cases) {
        std::wstring path = dir + L"\\" + kit::widen(c.name) + L".kelvo";
        kit::write_file_bytes(path, c.bytes);
        wchar_t* text = load_parameter_file(path.c_str());
        EXPECT_EQ(std::wstring(text), c.text) << c.name;
        free(text);
    }
}

// The failures end the program: a probe loads the file and the box text and exit code tell.
TEST(LoadParameterFile, FailuresAreFatal)
{
    std::wstring dir = kit::scratch_dir(L"param-load-fatal");
    std::wstring probe = kit::bin_path(L"parameter_probe.exe");
    std::wstring empty = dir + L"\\empty.kelvo";
    std::wstring bom = dir + L"\\bom.kelvo";
    std::wstring missing = dir + L"\\missing.kelvo";
    std::wstring long_missing = dir + L"\\" + std::wstring(1100, L'm');
    kit::write_file_bytes(empty, "");
    kit::write_file_bytes(bom, "\xEF\xBB\xBF");
    struct Case {
        std::wstring path;
        std::wstring box;
    };
    const Case cases[] = {
        {empty, L"Parameter file\n'" + empty + L"'\nis empty"},
        {bom, L"Parameter file\n'" + bom + L"'\nis empty"},
        {missing, L"Cannot open parameter file\n'" + missing + L"':\nerrno=2"},
        {long_missing, L"Cannot open parameter file\n'" + long_missing.substr(0, 1000) + L"':\nerrno="},
    };
    for (const Case& c : cases) {
        kit::RunResult run = kit::run_program({probe, L"probe load \"" + c.path + L"\"", std::nullopt, dir, 30000});
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exit_code, 2u);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].substr(0, c.box.size()), c.box);
    }
}

}  // namespace
