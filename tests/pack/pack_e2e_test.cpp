// kelvo-pack.exe under Wine, packing for a stand-in runtime of this build's machine: it takes the
// launcher of that machine, and the packed application runs Java in its own process with every
// option and argument whole, its paths where the folder lies.
#include "kit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The distribution's launcher of this build's machine, and that of the other.
#ifdef _WIN64
const std::wstring own_launcher = L"x64\\kelvo.exe", other_launcher = L"kelvo.exe";
#else
const std::wstring own_launcher = L"kelvo.exe", other_launcher = L"x64\\kelvo.exe";
#endif

TEST(PackEndToEnd, PackedApplicationRunsJavaInItsOwnProcess)
{
    std::wstring dir = kit::scratch_dir(L"pack-e2e");
    // A distribution whose launcher of the other machine is none: taking it fails the packing.
    kit::create_folders(dir + L"\\kelvo\\x64");
    kit::copy_file(kit::bin_path(L"kelvo.exe"), dir + L"\\kelvo\\" + own_launcher);
    kit::write_file_bytes(dir + L"\\kelvo\\" + other_launcher, "no launcher");
    kit::create_folders(dir + L"\\in\\lib");
    kit::write_file_bytes(dir + L"\\in\\myapp.jar", "jar");
    kit::write_file_bytes(dir + L"\\in\\lib\\util.jar", "jar");
    kit::install_hosted_runtime(dir + L"\\jre");

    std::wstring output = dir + L"\\pack-output.txt";
    kit::RunResult packed = kit::run_program(
        {kit::bin_path(L"kelvo-pack.exe"),
         L"kelvo-pack.exe --name \"My App\" --input in --main-jar myapp.jar --main-class com.example.Main "
         L"--runtime-image jre --launcher-dir kelvo --dest out --java-options \"-Dhome=$APPDIR\\my data\" "
         L"--java-options \"-Dq=say \\\"hi\\\"\" --java-options 100% --arguments \"--mode=full screen\" "
         L"--arguments \"\x56FE\x7EB8 \x03A9.emf\" --arguments \"#1\"",
         std::nullopt, dir, 60000, output, output + L".err"});
    ASSERT_TRUE(packed.finished);
    ASSERT_EQ(packed.exit_code, 0u) << kit::read_file_bytes(output + L".err");

    std::wstring app = dir + L"\\out\\My App";
    std::wstring exe = app + L"\\My App.exe";
    std::vector<std::wstring> env = kit::current_environment();
    for (const wchar_t* name : {L"VERBOSE_KELVO", L"KELVO_APPDIR", L"KELVO_ROOTDIR"})
        kit::remove_variable(env, name);
    std::wstring record = dir + L"\\jli-record";
    kit::set_variable(env, L"KIT_JLI_RECORD", record);
    kit::RunResult run = kit::run_program({exe, L"\"My App.exe\" a \"b c\"", env, dir});
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.exit_code, 0u);

    std::vector<std::wstring> elements = {
        L"-Dhome=" + app + L"\\app\\my data", L"-Dq=say \"hi\"", L"100%", L"-cp",
        app + L"\\app\\lib\\util.jar;" + app + L"\\app\\myapp.jar", L"com.example.Main", L"--mode=full screen",
        L"\x56FE\x7EB8 \x03A9.emf", L"#1", L"a", L"b c"};
    std::vector<std::string> meant = {"65001", kit::utf8(exe), kit::utf8(app + L"\\runtime\\bin"), "1", kit::utf8(exe)};
    for (const std::wstring& element : elements)
        meant.push_back(kit::utf8(element));
    EXPECT_EQ(kit::record_fields(record, '\0'), meant) << "code page, program (the application's own), DLL folder, javaw, then the arguments";

    // An installer needs msitools' programs on PATH; without them, one line says so and
    // nothing is left.
    std::vector<std::wstring> bare = kit::current_environment();
    kit::set_variable(bare, L"PATH", L"C:\\windows\\system32");
    std::wstring refusal = dir + L"\\msi-output.txt";
    kit::RunResult msi = kit::run_program(
        {kit::bin_path(L"kelvo-pack.exe"),
         L"kelvo-pack.exe --type msi --name Tool --input in --main-jar myapp.jar --main-class a.B --runtime-image jre "
         L"--launcher-dir kelvo --dest msi",
         bare, dir, 60000, refusal, refusal + L".err"});
    ASSERT_TRUE(msi.finished);
    EXPECT_EQ(msi.exit_code, 2u);
    EXPECT_EQ(kit::read_file_bytes(refusal + L".err"),
              "kelvo-pack: --type msi: wixl.exe is not on PATH (it comes with msitools for Windows)\r\n");
    EXPECT_EQ(GetFileAttributesW((dir + L"\\msi").c_str()), INVALID_FILE_ATTRIBUTES) << "nothing written";
}

}  // namespace
