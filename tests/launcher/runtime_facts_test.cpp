// What the launcher reads from a runtime's own files before it would load any of them.
#include "in_process/runtime_facts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RuntimeFacts, ReleaseVersionAndTheCodePageOfArguments)
{
    struct Case {
        std::string text;
        bool read;
        JavaVersion version;
        bool active_code_page;
    };
    const Case cases[] = {
        {"IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_VERSION=\"17.0.5\"\n", true, {17, 0, 5}, true},
        {"JAVA_VERSION=\"17.0.4\"\r\nOS_NAME=\"Windows\"", true, {17, 0, 4}, false},
        {"JAVA_VERSION=\"11.0.17\"", true, {11, 0, 17}, true},
        {"JAVA_VERSION=11.0.16.1", true, {11, 0, 16}, false},
        {"JAVA_VERSION=\"18.0.2\"", true, {18, 0, 2}, false},
        {"JAVA_VERSION=\"19\"", true, {19, 0, 0}, true},
        {"JAVA_VERSION=\"22-ea\"", true, {22, 0, 0}, true},
        {"JAVA_VERSION=\"12.0.2+10\"", true, {12, 0, 2}, false},
        {"JAVA_VERSION=\"1.8.0_392\"", true, {1, 8, 0}, false},
        {"SOME_JAVA_VERSION=\"21\"\nJAVA_VERSION=\"11.0.2\"", true, {11, 0, 2}, false},
        {"JAVA_VERSION_DATE=\"2023-10-17\"", false, {}, false},
        {"JAVA_VERSION=\"\"", false, {}, false},
        {"JAVA_VERSION=\"21.x\"", false, {}, false},
        {"JAVA_VERSION=\"21 \"", false, {}, false},
        {"JAVA_VERSION=\"1.2.3.4.5\"", false, {}, false},
        {"JAVA_VERSION=\"99999999999\"", false, {}, false},
        {"", false, {}, false},
    };
    for (const Case& c : cases) {
        JavaVersion version{-1, -1, -1};
        ASSERT_EQ(release_java_version(c.text.c_str(), &version), c.read) << c.text;
        if (!c.read)
            continue;
        EXPECT_EQ(compare_java_versions(version, c.version), 0) << c.text;
        EXPECT_EQ(decodes_arguments_in_active_code_page(version), c.active_code_page) << c.text;
    }
}

TEST(RuntimeFacts, DefaultVirtualMachineAsJliReadsJvmCfg)
{
    const std::pair<std::string, const wchar_t*> cases[] = {
        {"# comment\n-server KNOWN\n-client IGNORE\n", L"server"},
        {"-client KNOWN\r\n-server KNOWN\r\n", L"client"},
        {"\n-server\n-minimal\tKNOWN", L"minimal"},  // a line of one word is passed over
        {"server KNOWN", L"erver"},                  // the first character is dropped, whatever it is
        {"-..\\other KNOWN", nullptr},
        {"- KNOWN", nullptr},
        {"-a-name-too-long-for-the-launchers-folder KNOWN", nullptr},
        {"# nothing but comments\n", nullptr},
    };
    for (const auto& [text, meant] : cases) {
        wchar_t name[40] = L"unchanged";
        bool found = default_virtual_machine(text.c_str(), name, 40);
        EXPECT_EQ(found, meant != nullptr) << text;
        if (found && meant != nullptr) {
            EXPECT_STREQ(name, meant) << text;
        }
    }
}

TEST(RuntimeFacts, MachineOfAPortableExecutable)
{
    std::string headers(0x46, '\0');
    headers.replace(0, 2, "MZ");
    headers[0x3C] = 0x40;
    headers.replace(0x40, 6, "PE\0\0\x64\x86", 6);
    auto machine = [](const std::string& bytes) {
        return pe_machine(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    };
    EXPECT_EQ(machine(headers), machine_x64);
    EXPECT_EQ(machine(headers.substr(0, 0x45)), 0u) << "machine cut off";
    EXPECT_EQ(machine(headers.substr(0, 0x3E)), 0u) << "header offset cut off";
    EXPECT_EQ(machine("not a library, just text long enough to have a header offset in it...."), 0u);
    headers[0x3F] = '\x7F';
    EXPECT_EQ(machine(headers), 0u) << "header offset beyond the file";
    headers[0x3F] = 0;
    headers[0x41] = 'X';
    EXPECT_EQ(machine(headers), 0u) << "no PE signature";
}

}  // namespace
