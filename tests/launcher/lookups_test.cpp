#include "system/lookups.h"

#include "java_test_support.h"
#include "kit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using java_test::JavaSoftTest;
using java_test::ScopedEnvironment;
using java_test::TraceLog;

constexpr wchar_t test_key_path[] = L"\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\LookupsTest\\";

std::wstring value_path(const wchar_t* name)
{
    return std::wstring(test_key_path) + name;
}

std::string bytes_of(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

using RegistryPath = JavaSoftTest;

TEST_F(RegistryPath, InvalidPathsAreRefusedWithoutOpeningAnything)
{
    kit::set_javasoft_string(kit::View::bits64, L"LookupsTest", L"X", L"present");
    const wchar_t* cases[] = {
        L"\\HKEY_LOCAL_MACHINE",
        L"\\HKEY_LOCAL_MACHINE\\",
        L"\\HKEY_LOCAL_MACHINE\\\\\\",
        L"HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\LookupsTest\\X",  // no leading backslash
        L"\\HKLM\\SOFTWARE\\JavaSoft\\LookupsTest\\X",             // roots are written in full
        L"\\hkey_local_machine\\SOFTWARE\\JavaSoft\\LookupsTest\\X",  // and in upper case
        L"\\HKEY_CURRENT_CONFIG\\Software\\X",                    // not one of the four roots
        L"\\",
        L"",
    };
    for (const wchar_t* path : cases) {
        TraceLog log;
        unsigned long type = 99;
        EXPECT_EQ(read_registry_string(path, &type, KEY_WOW64_64KEY), nullptr) << kit::utf8(path);
        EXPECT_TRUE(log.contains("Invalid registry path '" + kit::utf8(path) + "'")) << log.text();
        EXPECT_FALSE(log.contains("RegOpenKeyEx")) << log.text();
    }
}

TEST_F(RegistryPath, SeparatorRunsCountAsOneAndBothViewsAreReachable)
{
    kit::set_javasoft_string(kit::View::bits64, L"LookupsTest", L"X", L"sixty-four");
    kit::set_javasoft_string(kit::View::bits32, L"LookupsTest", L"X", L"thirty-two");
    const wchar_t* paths[] = {
        L"\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\LookupsTest\\X",
        L"\\HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\\\JavaSoft\\LookupsTest\\X",
        L"\\\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\\\LookupsTest\\X\\",
    };
    for (const wchar_t* path : paths) {
        unsigned long type = 0;
        const wchar_t* value = read_registry_string(path, &type, KEY_WOW64_64KEY);
        ASSERT_NE(value, nullptr) << kit::utf8(path);
        EXPECT_STREQ(value, L"sixty-four");
        EXPECT_EQ(type, static_cast<unsigned long>(REG_SZ));
        value = read_registry_string(path, &type, KEY_WOW64_32KEY);
        ASSERT_NE(value, nullptr) << kit::utf8(path);
        EXPECT_STREQ(value, L"thirty-two");
        // Without a view flag a process reads its own view: the 32-bit one from a 32-bit process.
        value = read_registry_string(path, &type, 0);
        ASSERT_NE(value, nullptr) << kit::utf8(path);
        EXPECT_STREQ(value, sizeof(void*) == 4 ? L"thirty-two" : L"sixty-four");
    }
}

TEST_F(RegistryPath, MissingKeysAndValuesAreTracedAndAnswerNone)
{
    kit::set_javasoft_string(kit::View::bits64, L"LookupsTest", L"X", L"present");
    {
        TraceLog log;
        unsigned long type = 0;
        std::wstring path = L"\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\NoSuchKey\\Deeper\\X";
        EXPECT_EQ(read_registry_string(path.c_str(), &type, KEY_WOW64_64KEY), nullptr);
        EXPECT_TRUE(log.contains("RegOpenKeyEx '" + kit::utf8(path) + "' at 'NoSuchKey':\n")) << log.text();
    }
    {
        TraceLog log;
        unsigned long type = 0;
        std::wstring path = value_path(L"NoSuchValue");
        EXPECT_EQ(read_registry_string(path.c_str(), &type, KEY_WOW64_64KEY), nullptr);
        EXPECT_TRUE(log.contains("RegQueryValueEx '" + kit::utf8(path) + "':\n")) << log.text();
    }
}

TEST(RegistryRoots, EveryRootIsRecognised)
{
    const wchar_t* roots[] = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE", L"HKEY_USERS"};
    for (const wchar_t* root : roots) {
        std::wstring path = std::wstring(L"\\") + root + L"\\KelvoNoSuchKey\\X";
        TraceLog log;
        unsigned long type = 0;
        EXPECT_EQ(read_registry_string(path.c_str(), &type, 0), nullptr);
        EXPECT_TRUE(log.contains("RegOpenKeyEx '" + kit::utf8(path) + "' at 'KelvoNoSuchKey'")) << log.text();
        EXPECT_FALSE(log.contains("Invalid registry path")) << log.text();
    }
}

TEST(RegistryRoots, RootAndValueNameReadTheRootKeyItself)
{
    const std::wstring value = L"on the root";
    ASSERT_EQ(RegSetValueExW(HKEY_CURRENT_USER, L"KelvoLookupsTestValue", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    unsigned long type = 0;
    const wchar_t* answer = read_registry_string(L"\\HKEY_CURRENT_USER\\KelvoLookupsTestValue", &type, 0);
    RegDeleteValueW(HKEY_CURRENT_USER, L"KelvoLookupsTestValue");
    ASSERT_NE(answer, nullptr);
    EXPECT_STREQ(answer, value.c_str());
}

using RegistryValue = JavaSoftTest;

// Whatever the registry holds, the answer is a terminated text of the stored units.
TEST_F(RegistryValue, EveryTypeIsAnsweredTerminatedWithItsType)
{
    struct Case {
        const wchar_t* name;
        DWORD type;
        std::string bytes;
        std::wstring expected;  // the units before the terminator
    };
    const std::string dword("\x42\x00\x41\x00", 4);
    const Case cases[] = {
        {L"Terminated", REG_SZ, bytes_of(std::wstring(L"abc", 4)), L"abc"},
        {L"Unterminated", REG_SZ, bytes_of(L"abc"), L"abc"},
        {L"OddSize", REG_SZ, std::string("a\0b", 3), L"ab"},
        {L"Empty", REG_SZ, std::string(), L""},
        {L"OneByte", REG_SZ, std::string("z", 1), L"z"},
        {L"Long", REG_SZ, bytes_of(std::wstring(5000, L'x')), std::wstring(5000, L'x')},
        {L"Expand", REG_EXPAND_SZ, bytes_of(L"%PATH%"), L"%PATH%"},
        {L"Dword", REG_DWORD, dword, L"BA"},
        {L"Binary", REG_BINARY, std::string("\x01\x02\x03", 3), L"\x0201\x0003"},
    };
    for (const Case& c : cases)
        kit::set_javasoft_value(kit::View::bits64, L"LookupsTest", c.name, c.type, c.bytes);
    for (const Case& c : cases) {
        TraceLog log;
        unsigned long type = 0;
        std::wstring path = value_path(c.name);
        const wchar_t* answer = read_registry_string(path.c_str(), &type, KEY_WOW64_64KEY);
        ASSERT_NE(answer, nullptr) << kit::utf8(c.name);
        EXPECT_EQ(type, c.type) << kit::utf8(c.name);
        EXPECT_EQ(std::wstring(answer), c.expected) << kit::utf8(c.name);
        if (c.type == REG_SZ)
            EXPECT_TRUE(log.contains("Registry path '" + kit::utf8(path) + "'=\n'" + kit::utf8(c.expected) + "'"))
                << log.text();
        else
            EXPECT_TRUE(log.contains("Registry path '" + kit::utf8(path) + "'=\n'not a REG_SZ'")) << log.text();
    }
}

TEST_F(RegistryValue, DwordKeepsItsFourBytes)
{
    kit::set_javasoft_value(kit::View::bits32, L"LookupsTest", L"Number", REG_DWORD, std::string("\x78\x56\x34\x12", 4));
    unsigned long type = 0;
    std::wstring path = value_path(L"Number");
    const wchar_t* answer = read_registry_string(path.c_str(), &type, KEY_WOW64_32KEY);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(type, static_cast<unsigned long>(REG_DWORD));
    DWORD number = 0;
    memcpy(&number, answer, sizeof number);
    EXPECT_EQ(number, 0x12345678u);
    // The 64-bit view does not hold it.
    EXPECT_EQ(read_registry_string(path.c_str(), &type, KEY_WOW64_64KEY), nullptr);
}

TEST_F(RegistryValue, FailedReadLeavesNoStaleType)
{
    kit::set_javasoft_value(kit::View::bits64, L"LookupsTest", L"Number", REG_DWORD, std::string("\1\0\0\0", 4));
    unsigned long type = 0;
    ASSERT_NE(read_registry_string(value_path(L"Number").c_str(), &type, KEY_WOW64_64KEY), nullptr);
    ASSERT_EQ(type, static_cast<unsigned long>(REG_DWORD));
    EXPECT_EQ(read_registry_string(L"\\HKLM\\X\\Y", &type, KEY_WOW64_64KEY), nullptr);
    EXPECT_NE(type, static_cast<unsigned long>(REG_DWORD));
}

class EnvironmentLookup : public ::testing::Test {
protected:
    void SetUp() override
    {
        environment.set(L"KELVO_LOOKUP_SET", L"value");
        environment.set(L"KELVO_LOOKUP_UNSET", std::nullopt);
    }
    ScopedEnvironment environment;
};

TEST_F(EnvironmentLookup, NamesAndDefaults)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* exe_path;
        const wchar_t* expected;  // null: none
        const wchar_t* cut_name;  // the name after the call
    };
    const wchar_t* exe = L"C:\\Apps\\Demo\\demo.exe";
    const Case cases[] = {
        {L"KELVO_LOOKUP_SET", exe, L"value", L"KELVO_LOOKUP_SET"},
        {L"kelvo_lookup_Set", exe, L"value", L"kelvo_lookup_Set"},
        {L"KELVO_LOOKUP_UNSET", exe, nullptr, L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_UNSET", nullptr, nullptr, L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_UNSET|=", exe, L"", L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_UNSET|=fallback text", exe, L"fallback text", L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_SET|=fallback", exe, L"value", L"KELVO_LOOKUP_SET"},
        {L"KELVO_LOOKUP_UNSET|@lib\\app", exe, L"C:\\Apps\\Demo\\lib\\app", L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_UNSET|@.", exe, L"C:\\Apps\\Demo\\.", L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_UNSET|@", exe, L"C:\\Apps\\Demo\\", L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_UNSET|@C:\\app", exe, L"C:\\app", L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_UNSET|@\\\\server\\share", exe, L"\\\\server\\share", L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_UNSET|@lib", L"demo.exe", L"lib", L"KELVO_LOOKUP_UNSET"},  // no folder to resolve in
        {L"KELVO_LOOKUP_UNSET|@lib", nullptr, L"lib", L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_SET|@lib", exe, L"value", L"KELVO_LOOKUP_SET"},
        // "|=" is looked for first, and the first marker ends the name.
        {L"KELVO_LOOKUP_UNSET|@x|=y", exe, L"y", L"KELVO_LOOKUP_UNSET|@x"},
        {L"KELVO_LOOKUP_UNSET|=x|@y", exe, L"x|@y", L"KELVO_LOOKUP_UNSET"},
        {L"KELVO_LOOKUP_UNSET|=a|=b", exe, L"a|=b", L"KELVO_LOOKUP_UNSET"},
    };
    for (const Case& c : cases) {
        std::wstring name = c.name;
        const wchar_t* value = read_environment_variable(name.data(), c.exe_path, true);
        if (c.expected == nullptr)
            EXPECT_EQ(value, nullptr) << kit::utf8(c.name);
        else {
            ASSERT_NE(value, nullptr) << kit::utf8(c.name);
            EXPECT_STREQ(value, c.expected) << kit::utf8(c.name);
        }
        EXPECT_STREQ(name.c_str(), c.cut_name) << kit::utf8(c.name);
    }
}

TEST_F(EnvironmentLookup, DefaultPathTooLongStaysAsWritten)
{
    std::wstring relative(3000, L'd');
    std::wstring name = L"KELVO_LOOKUP_UNSET|@" + relative;
    const wchar_t* value = read_environment_variable(name.data(), L"C:\\Apps\\demo.exe", true);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::wstring(value), relative);

    std::wstring fits(2047 - 8, L'e');  // "C:\Apps\" is 8 characters
    name = L"KELVO_LOOKUP_UNSET|@" + fits;
    value = read_environment_variable(name.data(), L"C:\\Apps\\demo.exe", true);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::wstring(value), L"C:\\Apps\\" + fits);
}

TEST_F(EnvironmentLookup, ChangesOfTheRuntimeEnvironmentAreSeen)
{
    std::wstring name = L"KELVO_LOOKUP_UNSET";
    EXPECT_EQ(read_environment_variable(name.data(), nullptr, true), nullptr);
    environment.set(L"KELVO_LOOKUP_UNSET", L"now set");
    const wchar_t* value = read_environment_variable(name.data(), nullptr, true);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, L"now set");
}

TEST_F(EnvironmentLookup, TracesUnlessQuiet)
{
    {
        TraceLog log;
        std::wstring name = L"KELVO_LOOKUP_UNSET|=dflt";
        read_environment_variable(name.data(), nullptr, false);
        EXPECT_NE(log.text().find("Reading environment variable 'KELVO_LOOKUP_UNSET'\n\n"
                                  "Environment variable 'KELVO_LOOKUP_UNSET' not found\n\n"
                                  "Environment variable 'KELVO_LOOKUP_UNSET'=\n'dflt'\n\n"),
                  std::string::npos)
            << log.text();
    }
    {
        TraceLog log;
        std::wstring name = L"KELVO_LOOKUP_SET";
        read_environment_variable(name.data(), nullptr, false);
        EXPECT_TRUE(log.contains("Environment variable 'KELVO_LOOKUP_SET'=\n'value'")) << log.text();
        EXPECT_FALSE(log.contains("not found")) << log.text();
    }
    {
        TraceLog log;
        std::wstring name = L"KELVO_LOOKUP_UNSET";
        read_environment_variable(name.data(), nullptr, false);
        EXPECT_TRUE(log.contains("Environment variable 'KELVO_LOOKUP_UNSET' not found")) << log.text();
        EXPECT_FALSE(log.contains("'=\n")) << log.text();
    }
    {
        TraceLog log;
        std::wstring name = L"KELVO_LOOKUP_UNSET|@lib";
        read_environment_variable(name.data(), L"C:\\a\\b.exe", true);
        name = L"KELVO_LOOKUP_SET";
        read_environment_variable(name.data(), nullptr, true);
        EXPECT_EQ(log.text(), "");
    }
}

} // namespace
