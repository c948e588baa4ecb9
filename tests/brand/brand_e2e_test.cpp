// kelvo-brand.exe under Wine on this build's launcher: the branded launcher starts Java exactly
// as the plain one does, and Windows reads the new icon images and version strings from it.
#include "kit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <typename T>
T field(const std::string& bytes, size_t at)
{
    T value{};
    if (at + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

kit::RunResult brand(const std::wstring& dir, const std::wstring& arguments)
{
    return kit::run_program({kit::bin_path(L"kelvo-brand.exe"), L"kelvo-brand.exe " + arguments, std::nullopt, dir});
}

kit::JavaRecord java_of(const std::wstring& dir, const std::wstring& launcher)
{
    std::vector<std::wstring> env = kit::current_environment();
    for (const wchar_t* name : {L"VERBOSE_KELVO", L"QUICK_KELVO", L"JAVA_HOME", L"JRE_HOME", L"JDK_HOME"})
        kit::remove_variable(env, name);
    std::wstring record = dir + L"\\" + launcher + L".record";
    kit::set_variable(env, kit::java_record_variable, record);
    kit::RunResult run = kit::run_program({dir + L"\\" + launcher, launcher + L" report.txt \"My File.txt\"", env, dir});
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.boxes.empty());
    return kit::read_java_record(record).value_or(kit::JavaRecord{});
}

TEST(BrandEndToEnd, BrandedLauncherRunsJavaAsBeforeWithTheNewIconAndVersion)
{
    std::wstring dir = kit::scratch_dir(L"brand-e2e");
    kit::copy_file(kit::bin_path(L"kelvo.exe"), dir + L"\\kelvo.exe");
    std::wstring ico_path = L"Z:" + kit::widen(KELVO_TEST_ICON);
    for (wchar_t& c : ico_path)
        if (c == L'/')
            c = L'\\';
    std::string ico = kit::read_file_bytes(ico_path);
    kit::write_file_bytes(dir + L"\\app.ico", ico);

    kit::RunResult branded = brand(dir, L"kelvo.exe MyApp.exe --icon app.ico --version 1.4.2 --product \"My App\" "
                                        L"--company \"Example Ltd\" --description \"My App for Windows\" "
                                        L"--copyright \"\u00a9 2026 Example Ltd\"");
    ASSERT_TRUE(branded.finished);
    ASSERT_EQ(branded.exit_code, 0u);

    // The same parameter file beside both: Java receives the same command from either.
    kit::install_fake_java(dir + L"\\jre\\bin\\javaw.exe");
    kit::write_file_bytes(dir + L"\\app.jar", "jar");
    const std::string parameters = "jre\\bin\\javaw.exe\r\n-Xmx64m\r\n-cp app.jar\r\ncom.example.Main\r\n--mode \"full screen\"\r\n";
    kit::write_file_bytes(dir + L"\\kelvo.kelvo", parameters);
    kit::write_file_bytes(dir + L"\\MyApp.kelvo", parameters);
    kit::JavaRecord plain = java_of(dir, L"kelvo.exe");
    kit::JavaRecord ours = java_of(dir, L"MyApp.exe");
    const std::vector<std::wstring> meant = {dir + L"\\jre\\bin\\javaw.exe", L"-Xmx64m", L"-cp", dir + L"\\app.jar",
                                             L"com.example.Main", L"--mode", L"full screen", L"report.txt", L"My File.txt"};
    EXPECT_EQ(plain.crt_args, meant);
    EXPECT_EQ(ours.raw, plain.raw);
    EXPECT_EQ(ours.crt_args, plain.crt_args);
    EXPECT_EQ(ours.folder, plain.folder);

    // The icon group lists the .ico's images, whose bytes Windows hands out unchanged.
    kit::ResourceModule module(dir + L"\\MyApp.exe");
    ASSERT_NE(module.handle, nullptr);
    std::string group = kit::resource_bytes(module.handle, L"APPICON", MAKEINTRESOURCEW(14));
    uint16_t count = field<uint16_t>(ico, 4);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    EXPECT_EQ(field<uint16_t>(group, 4), count);
    const int sizes[] = {256, 16};
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(sizes[i]);
        size_t entry = 6 + 14 * i;
        std::string image = ico.substr(field<uint32_t>(ico, 6 + 16 * i + 12), field<uint32_t>(ico, 6 + 16 * i + 8));
        EXPECT_EQ(group.substr(entry, 12), ico.substr(6 + 16 * i, 12));
        std::string stored =
            kit::resource_bytes(module.handle, MAKEINTRESOURCEW(field<uint16_t>(group, entry + 12)), MAKEINTRESOURCEW(3));
        EXPECT_EQ(stored, image);
        HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(stored.data()), static_cast<DWORD>(stored.size()),
                                              TRUE, 0x00030000, sizes[i], sizes[i], LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << "Windows cannot make an icon of this image";
        if (icon != nullptr)
            DestroyIcon(icon);
    }
    EXPECT_EQ(LookupIconIdFromDirectoryEx(reinterpret_cast<BYTE*>(group.data()), TRUE, 16, 16, LR_DEFAULTCOLOR),
              field<uint16_t>(group, 6 + 14 + 12));
    kit::ResourceModule plain_module(dir + L"\\kelvo.exe");
    EXPECT_EQ(kit::resource_bytes(module.handle, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)),
              kit::resource_bytes(plain_module.handle, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)))
        << "the manifest";

    // The version information as Explorer's Properties read it.
    std::wstring path = dir + L"\\MyApp.exe";
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(4, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 2));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(4, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(0, 2));
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);
    struct Expected {
        const wchar_t* name;
        const wchar_t* value;
    };
    const Expected strings[] = {
        {L"CompanyName", L"Example Ltd"},    {L"FileDescription", L"My App for Windows"},
        {L"FileVersion", L"1.4.2"},          {L"InternalName", L"MyApp"},
        {L"LegalCopyright", L"\u00a9 2026 Example Ltd"}, {L"OriginalFilename", L"MyApp.exe"},
        {L"ProductName", L"My App"},         {L"ProductVersion", L"1.4.2"},
    };
    for (const Expected& s : strings) {
        wchar_t* value = nullptr;
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + s.name;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) << kit::utf8(s.name);
        std::wstring text(value, wcsnlen(value, length));
        EXPECT_EQ(text, s.value);
        std::printf("%-16s %s\n", kit::utf8(s.name).c_str(), kit::utf8(text).c_str());
    }
}

TEST(BrandEndToEnd, UnchangedLauncherComesOutAsTheLinkerWroteIt)
{
    // Branded under its own name without options, the launcher's resources are rebuilt in the
    // layout of the build's resource compiler and linker: the same bytes, checksum included.
    std::wstring dir = kit::scratch_dir(L"brand-same");
    kit::create_folders(dir + L"\\out");
    kit::copy_file(kit::bin_path(L"kelvo.exe"), dir + L"\\kelvo.exe");
    kit::RunResult run = brand(dir, L"kelvo.exe out\\kelvo.exe");
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(kit::read_file_bytes(dir + L"\\out\\kelvo.exe") == kit::read_file_bytes(dir + L"\\kelvo.exe"));
}

}  // namespace
