#include "raster_kit.h"

#include "kit.h"

#include <gtest/gtest.h>

namespace {

using raster::FakeString;
using raster::Shape;

struct Files {
    std::wstring dir, emf, png;
};

Files prepare(const wchar_t* name)
{
    Files files;
    files.dir = kit::scratch_dir(name);
    files.emf = files.dir + L"\\picture.emf";
    files.png = files.dir + L"\\picture.png";
    raster::write_emf(files.emf, 96, 48, 96, 96, {{Shape::Kind::ellipse, {10, 10, 80, 40}, RGB(0, 0, 0)}});
    return files;
}

TEST(Entry, SuccessAnswersNull)
{
    Files files = prepare(L"entry_success");
    raster::CallResult result = raster::call_vecraster(files.emf, files.png, 0);
    EXPECT_TRUE(result.is_null) << kit::utf8(result.text);
    EXPECT_EQ(result.borrows, 2);
    EXPECT_TRUE(kit::file_present(files.png));
}

TEST(Entry, ErrorTextsAndTheirLengths)
{
    Files files = prepare(L"entry_errors");
    FakeString emf{files.emf, false, std::nullopt};
    FakeString png{files.png, false, std::nullopt};
    FakeString refused{files.emf, true, std::nullopt};
    FakeString negative{files.emf, false, -1};
    struct Case {
        const char* what;
        FakeString input, output;
        double r;
        const wchar_t* error;
        size_t length;
        int borrows;
    };
    const Case cases[] = {
        {"input refused", refused, png, 0, L"out of memory #11", 17, 0},
        {"input length negative", negative, png, 0, L"out of memory #11", 17, 1},
        {"output refused", emf, refused, 0, L"out of memory #12", 17, 1},
        {"output length negative", emf, negative, 0, L"out of memory #12", 17, 2},
        {"input missing", FakeString{files.dir + L"\\missing.emf", false, std::nullopt}, png, 0, L"cannot load input file", 22, 2},
        {"input name empty", FakeString{L"", false, std::nullopt}, png, 0, L"cannot load input file", 22, 2},
        {"no pixels", emf, png, 1e-6, L"cannot save output file", 23, 2},
    };
    for (const Case& c : cases) {
        raster::CallResult result = raster::call_vecraster(c.input, c.output, c.r);
        EXPECT_FALSE(result.is_null) << c.what;
        EXPECT_EQ(result.text, c.error) << c.what;
        EXPECT_EQ(result.text.size(), c.length) << c.what;
        EXPECT_EQ(result.borrows, c.borrows) << c.what;
        EXPECT_FALSE(kit::file_present(files.png)) << c.what;
    }
}

TEST(Entry, NamesAreCutAtTheirFirstNulAndTakenAtTheirLength)
{
    Files files = prepare(L"entry_names");
    std::wstring input_with_nul = files.emf + std::wstring(1, L'\0') + L"ignored";
    std::wstring output_with_nul = files.png + std::wstring(1, L'\0') + L".txt";
    raster::CallResult result = raster::call_vecraster(input_with_nul, output_with_nul, 0);
    EXPECT_TRUE(result.is_null) << kit::utf8(result.text);
    EXPECT_TRUE(kit::file_present(files.png));
    EXPECT_FALSE(kit::file_present(files.png + L".txt"));

    // The VM's length rules; what lies beyond it is not part of the name.
    std::wstring second = files.dir + L"\\second.png";
    FakeString longer{second + L"XYZ", false, static_cast<jsize>(second.size())};
    result = raster::call_vecraster(FakeString{files.emf, false, std::nullopt}, longer, 0);
    EXPECT_TRUE(result.is_null) << kit::utf8(result.text);
    EXPECT_TRUE(kit::file_present(second));
    EXPECT_FALSE(kit::file_present(second + L"XYZ"));
}

TEST(Entry, UnicodeNames)
{
    std::wstring dir = kit::scratch_dir(L"entry_\x4E2D\x6587_\x00E9");
    std::wstring emf = dir + L"\\\x56FE\x7247.emf";
    std::wstring png = dir + L"\\\x00E9t\x00E9 \x263A.png";
    raster::write_emf(emf, 96, 48, 96, 96, {{Shape::Kind::rectangle, {10, 10, 80, 40}, RGB(0, 0, 0)}});
    raster::CallResult result = raster::call_vecraster(emf, png, 0);
    EXPECT_TRUE(result.is_null) << kit::utf8(result.text);
    EXPECT_TRUE(kit::file_present(png));
}

// A JVM of this build's bitness finds the method under the one name it looks up first, and
// the library exports nothing else.
TEST(Entry, ExportsTheOneNameThisBitnessLooksUp)
{
    HMODULE library = LoadLibraryW(kit::bin_path(L"vecraster-32.dll").c_str());
    ASSERT_NE(library, nullptr);
    for (const char* name : {raster::decorated_export_name, raster::plain_export_name}) {
        bool wanted = name == raster::export_name;
        EXPECT_EQ(GetProcAddress(library, name) != nullptr, wanted) << name;
    }
    auto* base = reinterpret_cast<const BYTE*>(library);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(entry.VirtualAddress, 0u);
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    EXPECT_EQ(exports->NumberOfFunctions, 1u);
    ASSERT_EQ(exports->NumberOfNames, 1u);
    auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    EXPECT_STREQ(reinterpret_cast<const char*>(base + names[0]), raster::export_name);
    FreeLibrary(library);
}

// vecraster.exe, the library's console front end.
TEST(Tool, ExitCodesAndOutput)
{
    Files files = prepare(L"entry_tool");
    std::wstring tool = kit::bin_path(L"vecraster.exe");
    struct Case {
        std::wstring arguments;
        DWORD exit_code;
        const wchar_t* creates;
    };
    const Case cases[] = {
        {L"\"" + files.emf + L"\" \"" + files.png + L"\"", 0, L"picture.png"},
        {L"\"" + files.emf + L"\" \"" + files.dir + L"\\at192.png\" 192", 0, L"at192.png"},
        {L"\"" + files.dir + L"\\missing.emf\" \"" + files.dir + L"\\never.png\"", 1, nullptr},
        {L"\"" + files.emf + L"\" \"" + files.dir + L"\\never.png\" 1e-9", 1, nullptr},
        {L"\"" + files.emf + L"\"", 2, nullptr},
        {L"\"" + files.emf + L"\" \"" + files.dir + L"\\never.png\" 96dpi", 2, nullptr},
        {L"a b 96 extra", 2, nullptr},
    };
    for (const Case& c : cases) {
        kit::RunOptions options;
        options.program = tool;
        options.command_line = L"vecraster " + c.arguments;
        kit::RunResult run = kit::run_program(options);
        ASSERT_TRUE(run.finished) << kit::utf8(c.arguments);
        EXPECT_EQ(run.exit_code, c.exit_code) << kit::utf8(c.arguments);
        if (c.creates != nullptr) {
            EXPECT_TRUE(kit::file_present(files.dir + L"\\" + c.creates)) << kit::utf8(c.arguments);
        }
    }
    EXPECT_FALSE(kit::file_present(files.dir + L"\\never.png"));
    std::optional<raster::ImageInfo> at192 = raster::image_info(files.dir + L"\\at192.png");
    ASSERT_TRUE(at192.has_value());
    EXPECT_EQ(at192->width, 192u);
    EXPECT_EQ(at192->height, 96u);
    std::optional<raster::ImageInfo> at96 = raster::image_info(files.png);
    ASSERT_TRUE(at96.has_value());
    EXPECT_EQ(at96->width, 96u);  // 96 dpi by default
}

}  // namespace
