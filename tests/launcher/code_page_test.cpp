// What the Java launcher reads of the command in its code page, as the system converts it:
// which characters become separators or wildcards, which elements get quotes, and which
// manifests ask for UTF-8.
#include "command/code_page.h"
#include "command/quoting.h"

#include "kit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Letters that 1252 lacks; 936 holds them.
constexpr wchar_t chinese[] = L"\x4E2D\x6587";

struct CharacterCase {
    unsigned code_page;
    std::wstring character;
    NarrowedCharacter expected;
};

std::string describe(const std::wstring& text, unsigned code_page)
{
    std::string out = "code page " + std::to_string(code_page) + ":";
    char unit[8];
    for (wchar_t c : text) {
        snprintf(unit, sizeof unit, " %04X", static_cast<unsigned>(c));
        out += unit;
    }
    return out;
}

TEST(NarrowCharacter, WhatEachCharacterBecomes)
{
    using N = NarrowedCharacter;
    const CharacterCase cases[] = {
        {1252, L"A", N::other},
        {1252, L"\x00E9", N::other},  // Latin-1
        {1252, L"\x00DF", N::other},
        {1252, L"\"", N::separator},
        {1252, L"*", N::wildcard},
        {1252, L"\xFF02", N::separator},  // fullwidth quotation mark
        {1252, L"\x02BA", N::separator},  // modifier letter double prime
        {1252, L"\xFF3C", N::separator},  // fullwidth reverse solidus
        {1252, L"\x2216", N::separator},  // set minus
        {1252, L"\x3000", N::separator},  // ideographic space
        {1252, L"\x2002", N::separator},  // en space
        {1252, L"\xFF0A", N::wildcard},   // fullwidth asterisk
        {1252, L"\xFF1F", N::wildcard},   // fullwidth question mark
        {1252, L"\x4E2D", N::wildcard},
        {1252, L"\x0416", N::wildcard},   // Cyrillic
        {1252, L"\xD800", N::wildcard},   // unpaired surrogates
        {1252, L"\xDC00", N::wildcard},
        {1252, L"\xD83D\xDE00", N::wildcard},  // a pair 1252 lacks becomes two question marks
        {936, L"\x4E2D", N::other},
        {936, L"\x6587", N::other},
        {936, L"\xFF02", N::other},  // a double-byte character, read as one
        {936, L"\xFF1F", N::other},
        {936, L"\xD800", N::wildcard},
        {65001, L"\xFF02", N::other},
        {65001, L"\x4E2D", N::other},
        {65001, L"\xD800", N::other},
    };
    for (const CharacterCase& c : cases)
        EXPECT_EQ(narrow_character(c.character.c_str(), static_cast<int>(c.character.size()), c.code_page),
                  c.expected)
            << describe(c.character, c.code_page);
}

TEST(CharacterUnits, PairsCountTwiceLoneSurrogatesOnce)
{
    EXPECT_EQ(character_units(L"\xD83D\xDE00"), 2);
    EXPECT_EQ(character_units(L"\xD83D" L"a"), 1);
    EXPECT_EQ(character_units(L"\xD83D"), 1);
    EXPECT_EQ(character_units(L"\xDE00\xD83D"), 1);
    EXPECT_EQ(character_units(L"a"), 1);
}

struct TextCase {
    unsigned code_page;
    std::wstring text;
    int refused_at;  // index of the first refused code unit, -1 for none
    bool wildcard;
    // The same text as the Java executable's path: where a double quote would appear, and
    // whether it is quoted.
    int program_refused_at;
    bool program_quoted;
};

// Everything, on every code page of the tests: what a command may hold.
std::vector<TextCase> text_cases()
{
    const std::wstring all = std::wstring(L"a \"b\\ \t*?\x00E9\x00DF\xFF02\x02BA\xFF3C\x2216\x3000\xFF0A\xFF1F") +
                             chinese + L"\xD800.\xD83D\xDE00";
    return {
        {1252, L"plain ASCII \"quoted\" back\\slash\ttab *?", -1, false, -1, true},
        {1252, L"caf\x00E9 \x00C5ngstr\x00F6m \x00DF", -1, false, -1, true},
        {1252, L"a\xFF02" L"b", 1, false, 1, false},
        {1252, L"-Dx=\x02BA", 4, false, 4, false},
        {1252, L"C:\\dir\xFF3C" L"file", 6, false, -1, false},
        {1252, L"a\x2216" L"b", 1, false, -1, false},
        {1252, L"two\x3000words", 3, false, -1, true},
        {1252, std::wstring(chinese) + L"\x3000\xFF02", 2, true, 3, true},  // the first of several
        {1252, L"\xFF0A.txt", -1, true, -1, false},
        {1252, L"what\xFF1F", -1, true, -1, false},
        {1252, std::wstring(chinese) + L".txt", -1, true, -1, false},
        {1252, L"name\xDC00.txt", -1, true, -1, false},
        {1252, L"\xD800", -1, true, -1, false},
        {1252, L"\xD83D\xDE00", -1, true, -1, false},
        {936, std::wstring(chinese) + L".txt", -1, false, -1, false},
        {936, L"\xFF02\xFF3C\x3000\xFF0A\xFF1F", -1, false, -1, false},
        {65001, all, -1, false, -1, true},
        {65001, L"\xD800\xDC00\xDBFF", -1, false, -1, false},
    };
}

TEST(FirstRefusedCharacter, TheFirstCharacterThatBecomesASeparator)
{
    for (const TextCase& c : text_cases()) {
        const wchar_t* refused = first_refused_character(c.text.c_str(), c.code_page);
        int at = refused == nullptr ? -1 : static_cast<int>(refused - c.text.c_str());
        EXPECT_EQ(at, c.refused_at) << describe(c.text, c.code_page);
    }
}

TEST(TurnsIntoWildcard, OnlyCharactersThatBecomeAStarOrQuestionMark)
{
    for (const TextCase& c : text_cases())
        EXPECT_EQ(turns_into_wildcard(c.text.c_str(), c.code_page), c.wildcard) << describe(c.text, c.code_page);
}

// The Java launcher ends its own path at a blank or tab outside quotes and knows no escapes there.
TEST(ProgramName, QuotedWhereJavaWouldEndItRefusedWhereItWouldReadAQuote)
{
    for (const TextCase& c : text_cases()) {
        const wchar_t* refused =
            first_character_becoming(c.text.c_str(), c.text.size(), c.code_page, program_name_refused);
        EXPECT_EQ(refused == nullptr ? -1 : static_cast<int>(refused - c.text.c_str()), c.program_refused_at)
            << describe(c.text, c.code_page);
        WideBuffer b;
        wide_buffer_init(&b);
        append_program_name(&b, c.text.c_str(), c.code_page);
        std::wstring got(b.data, static_cast<size_t>(b.length));
        wide_buffer_release(&b);
        EXPECT_EQ(got.front() == L'"', c.program_quoted) << describe(c.text, c.code_page);
    }
}

std::wstring quoted(const std::wstring& text, unsigned code_page)
{
    WideBuffer b;
    wide_buffer_init(&b);
    append_quoted_argument(&b, text.c_str(), code_page);
    std::wstring result(b.data == nullptr ? L"" : std::wstring(b.data, static_cast<size_t>(b.length)));
    wide_buffer_release(&b);
    return result;
}

using kit::shell_split;

TEST(AppendQuotedArgumentInCodePage, QuotedWhenACharacterBecomesAWildcard)
{
    struct Case {
        unsigned code_page;
        std::wstring text;
        std::wstring expected;
    };
    const std::wstring name = std::wstring(chinese) + L".txt";
    const Case cases[] = {
        {1252, name, L"\"" + name + L"\""},
        {1252, L"\xFF0A", L"\"\xFF0A\""},
        {1252, L"x\xDC00", L"\"x\xDC00\""},
        {1252, L"dir\\" + name, L"\"dir\\" + name + L"\""},
        {1252, L"a\\\"" + name, L"\"a\\\\\\\"" + name + L"\""},
        {1252, name + L"\\", L"\"" + name + L"\\\\\""},
        {1252, L"caf\x00E9.txt", L"caf\x00E9.txt"},
        {1252, L"*.txt", L"*.txt"},  // written wildcards stay as they were
        {1252, L"a b", L"\"a b\""},
        {1252, L"", L"\"\""},
        {936, name, name},
        {65001, name, name},
        {65001, L"\xFF0A\xDC00", L"\xFF0A\xDC00"},
    };
    for (const Case& c : cases) {
        std::wstring got = quoted(c.text, c.code_page);
        EXPECT_EQ(got, c.expected) << describe(c.text, c.code_page);
        EXPECT_EQ(shell_split(L"java.exe " + got), (std::vector<std::wstring>{L"java.exe", c.text}))
            << describe(c.text, c.code_page);
    }
}

TEST(ManifestDeclaresUtf8, OnlyAnActiveCodePageOfExactlyUtf8)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                             "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
                             "<application><windowsSettings>";
    const std::string tail = "</windowsSettings></application></assembly>";
    const std::string ns = " xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\"";
    struct Case {
        std::string settings;
        bool utf8;
    };
    const Case cases[] = {
        {"<activeCodePage" + ns + ">UTF-8</activeCodePage>", true},
        {"<activeCodePage>UTF-8</activeCodePage>", true},
        {"<ws2019:activeCodePage xmlns:ws2019=\"x\">UTF-8</ws2019:activeCodePage>", true},
        {"<dpiAware>true</dpiAware>\n<activeCodePage" + ns + ">UTF-8</activeCodePage>", true},
        {"<activeCodePage" + ns + ">utf-8</activeCodePage>", false},  // the value is case-sensitive
        {"<activeCodePage" + ns + ">Legacy</activeCodePage>", false},
        {"<activeCodePage" + ns + ">ja-JP</activeCodePage>", false},
        {"<activeCodePage" + ns + "> UTF-8 </activeCodePage>", false},
        {"<activeCodePage" + ns + "/>", false},
        {"<activeCodePages>UTF-8</activeCodePages>", false},
        {"<!-- <activeCodePage>UTF-8</activeCodePage> -->", false},
        {"<!-- note --><activeCodePage>UTF-8</activeCodePage>", true},
        {"<activeCodePage>Legacy</activeCodePage><activeCodePage>UTF-8</activeCodePage>", false},
        {"", false},
    };
    for (const Case& c : cases) {
        std::string manifest = head + c.settings + tail;
        EXPECT_EQ(manifest_declares_utf8(manifest.data(), manifest.size()), c.utf8) << c.settings;
    }
    // Cut anywhere before the value ends, a manifest declares nothing and is read without
    // running past its end.
    std::string whole = head + "<activeCodePage>UTF-8</activeCodePage>" + tail;
    size_t value_end = whole.find("</activeCodePage>");
    for (size_t size = 0; size <= value_end; ++size)
        EXPECT_FALSE(manifest_declares_utf8(whole.data(), size)) << size;
}

TEST(CommandLineCodePage, FromTheExecutablesManifestOrTheSystem)
{
    std::wstring dir = kit::scratch_dir(L"code-page-of-executable");
    std::wstring no_program = dir + L"\\broken.exe";
    kit::write_file_bytes(no_program, "MZ not a program");
    ASSERT_EQ(GetACP(), 1252u) << "the tests run in code page 1252";
    EXPECT_EQ(command_line_code_page(kit::bin_path(L"fake_java.exe").c_str()), 1252u);
    EXPECT_EQ(command_line_code_page(kit::bin_path(L"fake_java_utf8.exe").c_str()), utf8_code_page);
    EXPECT_EQ(command_line_code_page(no_program.c_str()), 1252u);
    EXPECT_EQ(command_line_code_page((dir + L"\\missing.exe").c_str()), 1252u);
}

}  // namespace
