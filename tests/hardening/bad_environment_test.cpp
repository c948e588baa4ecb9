// Environments and registries no one should have, through the real kelvo.exe: variables at the
// size limit, % runs and values that look like references, Java registry values of every type
// and size, a key that cannot be read.
#include "system/diagnostics.h"

#include "hardening_launcher.h"
#include "kit.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

namespace {

using hardening::Launcher;
using Strings = std::vector<std::wstring>;

class BadEnvironment : public ::testing::Test {
protected:
    void SetUp() override
    {
        kit::remove_javasoft(kit::View::bits64);
        kit::remove_javasoft(kit::View::bits32);
    }
    void TearDown() override { SetUp(); }
};

// Every value is used once as it stands: a reference inside a value stays text.
TEST_F(BadEnvironment, ReferencesExpandOnceWhateverTheValues)
{
    Launcher l(L"bad-env-references");
    kit::set_variable(l.env, L"NEST_A", L"%NEST_B%");
    kit::set_variable(l.env, L"NEST_B", L"deep");
    kit::set_variable(l.env, L"PERCENTS", L"%%%");
    kit::set_variable(l.env, L"BIG", std::wstring(30000, L'v'));
    kit::remove_variable(l.env, L"UNSET_HERE");
    struct Case {
        const wchar_t* argument;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"%NEST_A%", L"%NEST_B%"},
        {L"%NEST_A|=x%%NEST_B%", L"%NEST_B%deep"},
        {L"%PERCENTS%", L"%%%"},
        {L"%%%%%", L"%%%"},
        {L"a%b", L"a%b"},
        {L"%UNSET_HERE%", L""},
        {L"%UNSET_HERE|=%NEST_B%", L"NEST_B%"},
        {L"%|=empty-name%", L"empty-name"},
        {L"%BIG%", std::wstring(30000, L'v')},
    };
    std::wstring parameters = L"jre\\bin\\java.exe -cp . Main";
    Strings expected;
    for (const Case& c : cases) {
        parameters += std::wstring(L" \"") + c.argument + L"\"";
        expected.push_back(c.expected);
    }
    kit::write_file_bytes(l.parameters, kit::utf8(parameters));
    kit::RunResult run = l.run();
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.boxes.empty()) << kit::utf8(run.boxes.empty() ? L"" : run.boxes[0]).substr(0, 300);
    auto got = kit::read_java_record(l.record);
    ASSERT_TRUE(got.has_value());
    ASSERT_EQ(got->crt_args.size(), 4 + expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(got->crt_args[4 + i], expected[i]) << kit::utf8(cases[i].argument);
}

// A value at the limit of a variable makes a command longer than Windows takes.
TEST_F(BadEnvironment, VariableOfTheLargestSize)
{
    Launcher l(L"bad-env-largest");
    std::wstring value(32766, L'w');
    kit::set_variable(l.env, L"LARGEST", value);
    kit::write_file_bytes(l.parameters, "jre\\bin\\java.exe -cp . Main %LARGEST%");
    kit::RunResult run = l.run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 2u);
    std::wstring command = l.java + L" -cp \"" + l.dir + L"\\.\" Main " + value;
    EXPECT_EQ(run.boxes, Strings{L"Cannot execute command\n'" + command.substr(0, 3000) + L"':\n" +
                                 system_error_text(ERROR_FILENAME_EXCED_RANGE)});
    EXPECT_FALSE(l.java_started());
}

// Home and PATH values too long for a path are passed over, never cut into another path.
TEST_F(BadEnvironment, HomeAndPathBeyondThePathBuffer)
{
    Launcher l(L"bad-env-long-home");
    std::wstring found = l.dir + L"\\found\\bin";
    kit::install_fake_java(found + L"\\javaw.exe");
    kit::set_variable(l.env, L"JAVA_HOME", l.dir + L"\\" + std::wstring(32700, L'h'));
    kit::set_variable(l.env, L"PATH", std::wstring(5000, L';') + l.dir + L"\\" + std::wstring(3000, L'p') + L";" +
                                          L"C:\\no-such-folder;" + found + L";");
    kit::write_file_bytes(l.parameters, "javaw -cp . Main");
    kit::RunResult run = l.run();
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.boxes.empty());
    auto got = kit::read_java_record(l.record);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->crt_args[0], found + L"\\javaw.exe");

    kit::set_variable(l.env, L"PATH", l.dir + L"\\" + std::wstring(32700, L'p'));
    DeleteFileW(l.record.c_str());
    run = l.run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 2u);
    EXPECT_EQ(run.boxes, Strings{L"Don't find a Java runtime with version in the 11.0.0-37.0.0 range"});
}

std::string wide_bytes(const std::wstring& text, bool terminated)
{
    std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    if (terminated)
        bytes.append(2, '\0');
    return bytes;
}

// The current-version layout read with values of every type and size: a value that is no
// proper text is passed over for the environment's Java, and none crashes the launcher.
TEST_F(BadEnvironment, JavaRegistryValuesOfEveryKind)
{
    struct Case {
        const char* name;
        DWORD version_type;
        std::string version;
        DWORD home_type;  // 0: no JavaHome
        bool home_registered;  // JavaHome names the registered runtime, else a 1 MB text
        const wchar_t* started;  // "reg", "env", or null for the "Cannot execute command" box
    };
    const std::string eleven = wide_bytes(L"11", true);
    const Case cases[] = {
        {"proper", REG_SZ, eleven, REG_SZ, true, L"reg"},
        {"version-dword", REG_DWORD, std::string("\x0B\0\0\0", 4), REG_SZ, true, L"env"},
        {"version-binary", REG_BINARY, eleven, REG_SZ, true, L"env"},
        {"version-expand", REG_EXPAND_SZ, eleven, REG_SZ, true, L"env"},
        {"version-multi", REG_MULTI_SZ, eleven + std::string(2, '\0'), REG_SZ, true, L"env"},
        {"version-none-type", REG_NONE, eleven, REG_SZ, true, L"env"},
        {"version-unterminated", REG_SZ, wide_bytes(L"11", false), REG_SZ, true, L"reg"},
        {"version-odd-size", REG_SZ, wide_bytes(L"11", false) + "X", REG_SZ, true, L"env"},
        {"version-empty", REG_SZ, "", REG_SZ, true, L"env"},
        {"version-megabyte", REG_SZ, wide_bytes(std::wstring(1 << 19, L'1'), true), REG_SZ, true, L"env"},
        {"home-expand", REG_SZ, eleven, REG_EXPAND_SZ, true, L"env"},
        {"home-missing", REG_SZ, eleven, 0, true, L"env"},
        {"home-megabyte", REG_SZ, eleven, REG_SZ, false, nullptr},
    };
    for (const Case& c : cases) {
        SetUp();
        Launcher l(kit::widen(std::string("bad-registry-") + c.name));
        std::wstring reg_home = l.dir + L"\\reg";
        std::wstring env_home = l.dir + L"\\env";
        kit::install_fake_java(reg_home + L"\\bin\\javaw.exe");
        kit::install_fake_java(env_home + L"\\bin\\javaw.exe");
        kit::set_variable(l.env, L"JAVA_HOME", env_home);
        kit::set_javasoft_value(kit::View::bits64, L"JRE", L"CurrentVersion", c.version_type, c.version);
        std::wstring home = c.home_registered ? reg_home : L"C:\\" + std::wstring(1 << 19, L'm');
        if (c.home_type != 0)
            kit::set_javasoft_value(kit::View::bits64, L"JRE\\11", L"JavaHome", c.home_type, wide_bytes(home, true));
        kit::write_file_bytes(l.parameters, "javaw -cp . Main");
        kit::RunResult run = l.run();
        ASSERT_TRUE(run.finished) << c.name;
        if (c.started == nullptr) {
            EXPECT_EQ(run.exit_code, 2u) << c.name;
            ASSERT_EQ(run.boxes.size(), 1u) << c.name;
            EXPECT_EQ(run.boxes[0].substr(0, 24), L"Cannot execute command\n'") << c.name;
            EXPECT_FALSE(l.java_started()) << c.name;
            continue;
        }
        EXPECT_TRUE(run.boxes.empty()) << c.name << ": " << kit::utf8(run.boxes.empty() ? L"" : run.boxes[0]);
        auto got = kit::read_java_record(l.record);
        ASSERT_TRUE(got.has_value()) << c.name;
        std::wstring expected_home = std::wstring(c.started) == L"reg" ? reg_home : env_home;
        EXPECT_EQ(got->crt_args[0], expected_home + L"\\bin\\javaw.exe") << c.name;
    }
}

// Gives the key the given access list (its owner may always change it).
LSTATUS set_key_access(const wchar_t* subkey, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return static_cast<LSTATUS>(GetLastError());
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, WRITE_DAC | KEY_WOW64_64KEY, &key);
    if (status == ERROR_SUCCESS) {
        status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return status;
}

// A key that the launcher may not read is the same as a missing one.
TEST_F(BadEnvironment, KeyWithoutReadAccess)
{
    Launcher l(L"bad-registry-no-access");
    std::wstring env_home = l.dir + L"\\env";
    kit::install_fake_java(env_home + L"\\bin\\javaw.exe");
    kit::set_variable(l.env, L"JAVA_HOME", env_home);
    kit::set_javasoft_string(kit::View::bits64, L"JRE", L"CurrentVersion", L"11");
    kit::set_javasoft_string(kit::View::bits64, L"JRE\\11", L"JavaHome", l.dir + L"\\reg");

    constexpr wchar_t jre[] = L"SOFTWARE\\JavaSoft\\JRE";
    LSTATUS set = set_key_access(jre, L"D:P(D;;KA;;;WD)(D;;KA;;;BA)");
    HKEY probe = nullptr;
    bool enforced = set == ERROR_SUCCESS &&
                    RegOpenKeyExW(HKEY_LOCAL_MACHINE, jre, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &probe) != ERROR_SUCCESS;
    if (probe != nullptr)
        RegCloseKey(probe);
    kit::RunResult run;
    if (enforced) {
        kit::write_file_bytes(l.parameters, "javaw -cp . Main");
        run = l.run();
    }
    // Open again, so that the keys can be removed.
    EXPECT_EQ(set_key_access(jre, L"D:(A;;KA;;;WD)"), ERROR_SUCCESS);
    if (!enforced) {
        std::cout << "this registry grants read access regardless of the key's security: case left out\n";
        return;
    }
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.boxes.empty());
    auto got = kit::read_java_record(l.record);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->crt_args[0], env_home + L"\\bin\\javaw.exe");
}

}  // namespace
