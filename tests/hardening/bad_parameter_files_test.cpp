// Parameter files no one should write, through the real kelvo.exe: each ends in the launcher's
// own message or in a Java command that reads back what the file holds, never in a crash.
#include "system/diagnostics.h"

#include "hardening_launcher.h"
#include "kit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using hardening::Launcher;
using Strings = std::vector<std::wstring>;

const std::string command = "jre\\bin\\java.exe -cp . Main";

std::string utf16(const std::string& ascii, bool big_endian)
{
    std::string out;
    for (char c : ascii) {
        out += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return out;
}

std::wstring with_path(std::wstring text, const std::wstring& path)
{
    if (size_t at = text.find(L"%P"); at != std::wstring::npos)
        text.replace(at, 2, path);
    return text;
}

TEST(BadParameterFiles, RefusedWithTheLaunchersMessage)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring box;  // %P: the parameter file's path
    };
    const std::wstring syntax = L"Syntax error in parameter file\n'%P':\nexpected start or java or javaw";
    const Case cases[] = {
        // UTF-16 is read as UTF-8: the marks are malformed and the first zero byte ends the text.
        {"utf16-le", "\xFF\xFE" + utf16(command, false), syntax},
        {"utf16-be", "\xFE\xFF" + utf16(command, true), syntax},
        {"utf16-le-no-mark", utf16(command, false), syntax},
        {"utf16-be-no-mark", utf16(command, true), syntax},
        {"zero-byte-first", std::string("\0", 1) + command, syntax},
        {"mark-then-zero-byte", std::string("\xEF\xBB\xBF\0", 4) + command, syntax},
        {"only-malformed", "\xFF\xFE\xFD", syntax},
        {"only-blanks", " \t\r\n\r\r\n ", syntax},
    };
    for (const Case& c : cases) {
        Launcher l(kit::widen(std::string("bad-file-") + c.name));
        kit::write_file_bytes(l.parameters, c.bytes);
        kit::RunResult run = l.run();
        ASSERT_TRUE(run.finished) << c.name;
        EXPECT_EQ(run.exit_code, 2u) << c.name;
        EXPECT_EQ(run.boxes, Strings{with_path(c.box, l.parameters)}) << c.name;
        EXPECT_FALSE(l.java_started()) << c.name;
    }
}

// Malformed UTF-8 never turns into characters it resembles (an overlong "/" stays no slash):
// each bad sequence reads as replacement characters only.
TEST(BadParameterFiles, MalformedUtf8BecomesReplacementCharacters)
{
    struct Case {
        const char* name;
        std::string arguments;  // each argument a malformed sequence
    };
    const Case cases[] = {
        {"overlong", "\xC0\xAF \xE0\x80\xAF \xF0\x80\x80\xAF \xC1\xBF \xC0\x80"},
        {"surrogates", "\xED\xA0\x80 \xED\xBF\xBF \xED\xA0\xBD\xED\xB8\x80"},
        {"truncated", "\xE2\x82 \xF0\x9F\x98 \xC3"},
        {"stray-continuation", "\x80 \xBF\x80 \x8F\x8F\x8F"},
        {"beyond-unicode", "\xF4\x90\x80\x80 \xF8\x88\x80\x80\x80 \xFE \xFF"},
    };
    for (const Case& c : cases) {
        Launcher l(kit::widen(std::string("bad-utf8-") + c.name));
        kit::write_file_bytes(l.parameters, command + " " + c.arguments);
        kit::RunResult run = l.run();
        ASSERT_TRUE(run.finished) << c.name;
        EXPECT_EQ(run.exit_code, 0u) << c.name;
        EXPECT_TRUE(run.boxes.empty()) << c.name << ": " << kit::utf8(run.boxes.empty() ? L"" : run.boxes[0]);
        auto got = kit::read_java_record(l.record);
        ASSERT_TRUE(got.has_value()) << c.name;
        size_t expected_count = 1;
        for (char ch : c.arguments)
            expected_count += ch == ' ';
        ASSERT_EQ(got->crt_args.size(), 4 + expected_count) << c.name;
        for (size_t i = 4; i < got->crt_args.size(); ++i) {
            const std::wstring& argument = got->crt_args[i];
            EXPECT_FALSE(argument.empty()) << c.name;
            EXPECT_EQ(argument.find_first_not_of(L'\xFFFD'), std::wstring::npos)
                << c.name << " argument " << i << ": " << kit::utf8(argument);
        }
    }
}

TEST(BadParameterFiles, OddSeparatorsAndZeroBytes)
{
    struct Case {
        const char* name;
        std::string bytes;
        Strings arguments;  // after the class name
    };
    const Case cases[] = {
        {"cr-only", "jre\\bin\\java.exe\r-cp\r.\rMain\rx\r# a comment\ry\r", {L"x", L"y"}},
        {"zero-byte-ends-the-text", command + " a" + std::string("\0", 1) + "b c", {L"a"}},
        {"mark-twice", "\xEF\xBB\xBF" + command + " \xEF\xBB\xBF", {L"\xFEFF"}},
        {"form-feed-and-vertical-tab", command + " a\fb\vc", {L"a\fb\vc"}},
    };
    for (const Case& c : cases) {
        Launcher l(kit::widen(std::string("bad-separators-") + c.name));
        kit::write_file_bytes(l.parameters, c.bytes);
        kit::RunResult run = l.run();
        ASSERT_TRUE(run.finished) << c.name;
        EXPECT_TRUE(run.boxes.empty()) << c.name;
        auto got = kit::read_java_record(l.record);
        ASSERT_TRUE(got.has_value()) << c.name;
        Strings tail(got->crt_args.begin() + 4, got->crt_args.end());
        EXPECT_EQ(tail, c.arguments) << c.name;
    }
}

TEST(BadParameterFiles, FolderOrLockedFileCannotBeOpened)
{
    Launcher folder(L"bad-file-folder");
    ASSERT_TRUE(CreateDirectoryW(folder.parameters.c_str(), nullptr));
    Launcher locked(L"bad-file-locked");
    kit::write_file_bytes(locked.parameters, command);
    HANDLE holder = CreateFileW(locked.parameters.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    for (Launcher* l : {&folder, &locked}) {
        kit::RunResult run = l->run();
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exit_code, 2u);
        ASSERT_EQ(run.boxes.size(), 1u);
        std::wstring head = L"Cannot open parameter file\n'" + l->parameters + L"':\nerrno=";
        EXPECT_EQ(run.boxes[0].substr(0, head.size()), head) << kit::utf8(run.boxes[0]);
        EXPECT_FALSE(l->java_started());
    }
    CloseHandle(holder);
}

// Sizes far beyond any real file: read whole, and a command too long for Windows is refused
// with its first 3000 characters shown.
TEST(BadParameterFiles, HugeFilesAndCommands)
{
    Launcher big(L"bad-file-64mib");
    std::string bytes = command + " first\r\n# ";
    bytes.append(64u << 20, 'x');
    bytes += "\r\nlast";
    kit::write_file_bytes(big.parameters, bytes);
    kit::RunResult run = big.run(L"", 120000);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.boxes.empty());
    auto got = kit::read_java_record(big.record);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(Strings(got->crt_args.begin() + 4, got->crt_args.end()), (Strings{L"first", L"last"}));

    struct Case {
        const char* name;
        std::string tail;
    };
    std::string million;
    million.reserve(2000000);
    for (int i = 0; i < 1000000; ++i)
        million += " a";
    const Case cases[] = {
        {"million-tokens", million},
        {"four-million-character-token", " " + std::string(4u << 20, 'y')},
        {"just-too-long", " " + std::string(32767, 'z')},
    };
    for (const Case& c : cases) {
        Launcher l(kit::widen(std::string("bad-file-") + c.name));
        kit::write_file_bytes(l.parameters, command + c.tail);
        run = l.run(L"", 120000);
        ASSERT_TRUE(run.finished) << c.name;
        EXPECT_EQ(run.exit_code, 2u) << c.name;
        ASSERT_EQ(run.boxes.size(), 1u) << c.name;
        std::wstring full = l.java + L" -cp \"" + l.dir + L"\\.\" Main" + kit::widen(c.tail);
        EXPECT_EQ(run.boxes[0], L"Cannot execute command\n'" + full.substr(0, 3000) + L"':\n" + system_error_text(206))
            << c.name;
        EXPECT_FALSE(l.java_started()) << c.name;
    }
}

}  // namespace
