#include "system/paths.h"

#include "kit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring repeat(wchar_t c, size_t n)
{
    return std::wstring(n, c);
}

TEST(IsAbsolutePath, DriveAndUncFormsOnly)
{
    struct Case {
        const wchar_t* path;
        bool absolute;
    };
    const Case cases[] = {
        {L"C:\\x", true},          {L"c:\\", true},          {L"\\\\server\\share", true},
        {L"\x00e9:\\x", true},     {L"\\\\\x0436x\\s", true},  // letters of any script count
        {L"C:", false},            {L"C:x", false},          {L"\\\\s", false},
        {L"\\\\1host\\share", false}, {L"\\\\?\\C:\\x", false}, {L"\\\\.\\pipe", false},
        {L"\\x", false},           {L"/x", false},           {L"C:/x", false},
        {L"1:\\x", false},         {L"", false},             {L"lib\\a.jar", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(is_absolute_path(c.path), c.absolute) << kit::utf8(c.path);
}

TEST(JoinPath, SeparatorRules)
{
    struct Case {
        const wchar_t* dir;
        int dir_length;
        const wchar_t* name;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\bin\\", 7, L"java.exe", L"C:\\bin\\java.exe"},
        {L"C:\\bin", 6, L"java.exe", L"C:\\bin\\java.exe"},
        {L"C:\\bin;D:\\x", 6, L"java.exe", L"C:\\bin\\java.exe"},  // only dir_length characters count
        {L"", 0, L"java.exe", L"java.exe"},
        {L"C:\\bin", 6, L"", L"C:\\bin"},
        {L"C:\\bin", 6, L"\\java.exe", L"C:\\bin\\java.exe"},
    };
    for (const Case& c : cases) {
        PathBuffer out;
        ASSERT_TRUE(join_path(out, c.dir, c.dir_length, c.name)) << kit::utf8(c.dir);
        EXPECT_STREQ(out, c.expected);
    }
}

TEST(JoinPath, LimitReservesOneUnitForTheSeparator)
{
    std::wstring dir = L"C:\\" + repeat(L'd', 1000);
    for (size_t total : {2045u, 2046u, 2047u, 3000u}) {
        std::wstring name = repeat(L'n', total - dir.size());
        PathBuffer out;
        out[0] = L'?';
        out[1] = L'\0';
        bool ok = join_path(out, dir.c_str(), static_cast<int>(dir.size()), name.c_str());
        EXPECT_EQ(ok, total <= 2046) << total;
        if (ok) {
            EXPECT_EQ(std::wstring(out), dir + L"\\" + name);
        } else {
            EXPECT_STREQ(out, L"?") << "a refused join leaves out untouched";
        }
    }
}

TEST(ResolveRelativeToExe, AbsoluteKeptRelativeBesideLauncher)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* launcher;
        bool ok;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"lib\\tool.jar", L"C:\\Apps\\Editor\\editor.exe", true, L"C:\\Apps\\Editor\\lib\\tool.jar"},
        {L"..\\jre", L"C:\\Apps\\Editor\\editor.exe", true, L"C:\\Apps\\Editor\\..\\jre"},
        {L"D:\\x.jar", L"C:\\Apps\\editor.exe", true, L"D:\\x.jar"},
        {L"", L"C:\\Apps\\editor.exe", true, L"C:\\Apps\\"},
        {L"x.jar", L"editor.exe", false, nullptr},
    };
    for (const Case& c : cases) {
        PathBuffer out;
        EXPECT_EQ(resolve_relative_to_exe(out, c.path, c.launcher), c.ok) << kit::utf8(c.path);
        if (c.ok) {
            EXPECT_STREQ(out, c.expected);
        }
    }
}

TEST(ResolveRelativeToExe, LongPaths)
{
    PathBuffer out;
    std::wstring absolute = L"C:\\" + repeat(L'a', 2997);
    ASSERT_TRUE(resolve_relative_to_exe(out, absolute.c_str(), L"C:\\k.exe"));
    EXPECT_EQ(std::wstring(out), absolute.substr(0, 2047)) << "an absolute path is cut, not refused";

    std::wstring launcher = L"C:\\Apps\\k.exe";  // the name goes in at index 8
    std::wstring fits = repeat(L'r', 2047 - 8);
    ASSERT_TRUE(resolve_relative_to_exe(out, fits.c_str(), launcher.c_str()));
    EXPECT_EQ(std::wstring(out), L"C:\\Apps\\" + fits);
    std::wstring too_long = fits + L"r";
    EXPECT_FALSE(resolve_relative_to_exe(out, too_long.c_str(), launcher.c_str()));
}

TEST(ReplaceExtension, DotsAndSeparators)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\a.b\\editor", L"C:\\a.b\\editor.kelvo"},
        {L"C:\\Apps\\editor.exe", L"C:\\Apps\\editor.kelvo"},
        {L"editor.exe", L"editor.kelvo"},
        {L"C:\\Apps\\.exe", L"C:\\Apps\\.kelvo"},
        {L"C:\\Apps\\tool.v2.exe", L"C:\\Apps\\tool.v2.kelvo"},
        {L"C:/a.b/editor", L"C:/a.kelvo"},  // only the backslash separates folders
        {L"", L".kelvo"},
    };
    for (const Case& c : cases) {
        PathBuffer out;
        ASSERT_TRUE(replace_extension(c.path, L".kelvo", out)) << kit::utf8(c.path);
        EXPECT_STREQ(out, c.expected);
    }
}

TEST(ReplaceExtension, ResultMustFitIn2047)
{
    for (size_t stem : {2040u, 2041u, 2042u, 2047u}) {
        std::wstring path = L"C:\\" + repeat(L's', stem - 3) + L".exe";
        PathBuffer out;
        bool ok = replace_extension(path.c_str(), L".kelvo", out);
        EXPECT_EQ(ok, stem + 6 <= 2047) << stem;
        if (!ok) {
            EXPECT_EQ(std::wstring(out), path.substr(0, 2047)) << "the failed call leaves the copy of path";
        }
    }
}

TEST(FileExists, FilesAndFolders)
{
    std::wstring dir = kit::scratch_dir(L"file-exists");
    kit::write_file_bytes(dir + L"\\f.txt", "x");
    EXPECT_TRUE(file_exists((dir + L"\\f.txt").c_str()));
    EXPECT_TRUE(file_exists(dir.c_str()));
    EXPECT_FALSE(file_exists((dir + L"\\missing").c_str()));
}

std::wstring content(const WideBuffer& b)
{
    return std::wstring(b.data, static_cast<size_t>(b.length));
}

TEST(WideBuffer, GrowthSteps)
{
    WideBuffer b;
    wide_buffer_init(&b);
    wide_buffer_append(&b, 0, L"");
    EXPECT_EQ(b.data, nullptr) << "appending nothing allocates nothing";
    EXPECT_EQ(b.capacity, 0);

    std::wstring text = repeat(L'x', 300);
    wide_buffer_append(&b, 10, text.c_str());
    EXPECT_EQ(b.capacity, 256);
    wide_buffer_append(&b, 246, text.c_str());
    EXPECT_EQ(b.capacity, 256) << "exactly full does not grow";
    wide_buffer_append_char(&b, L'y');
    EXPECT_EQ(b.capacity, 512);
    EXPECT_EQ(b.length, 257);
    EXPECT_EQ(content(b), repeat(L'x', 256) + L"y");
    wide_buffer_append(&b, 300, text.c_str());
    EXPECT_EQ(b.capacity, 1024);
    wide_buffer_release(&b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.length, 0);
    EXPECT_EQ(b.capacity, 0);

    wide_buffer_append(&b, 300, text.c_str());
    EXPECT_EQ(b.capacity, 300) << "a first need above 256 is taken exactly";
    wide_buffer_append_char(&b, L'z');
    EXPECT_EQ(b.capacity, 600);
    wide_buffer_release(&b);
}

TEST(WideBuffer, CopyAndTake)
{
    WideBuffer b;
    wide_buffer_init(&b);
    wchar_t* empty = wide_buffer_copy(&b);
    EXPECT_STREQ(empty, L"");
    free(empty);

    wide_buffer_append(&b, 3, L"abcdef");
    wchar_t* copy = wide_buffer_copy(&b);
    EXPECT_STREQ(copy, L"abc");
    EXPECT_EQ(b.length, 3) << "copy keeps the content";
    free(copy);

    wchar_t* taken = wide_buffer_take(&b);
    EXPECT_STREQ(taken, L"abc");
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.length, 0);
    EXPECT_EQ(b.capacity, 0);
    free(taken);
}

}  // namespace
