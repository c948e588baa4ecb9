// Version ranges with extreme bounds: the search for release keys ends at once instead of
// trying billions of minors or micros.
#include "finding/java_search.h"

#include "hardening_launcher.h"
#include "kit.h"
#include "system/paths.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

bool count_candidate(JavaVersion candidate, void* context)
{
    static_cast<std::vector<JavaVersion>*>(context)->push_back(candidate);
    return false;
}

TEST(VersionRange, MinorsAboveNineAreNeverTried)
{
    struct Case {
        JavaVersion low;
        JavaVersion high;
        size_t count;
        JavaVersion first;
    };
    const Case cases[] = {
        {{1, 0, 0}, {1, INT_MAX, 0}, 100, {1, 9, 9}},
        {{1, 7, 0}, {1, 12, 0}, 30, {1, 9, 9}},
        {{1, 7, 0}, {1, INT_MAX, INT_MAX}, 30, {1, 9, 9}},
        {{1, 10, 0}, {1, 12, 0}, 0, {}},
    };
    for (const Case& c : cases) {
        std::vector<JavaVersion> seen;
        EXPECT_FALSE(visit_release_key_candidates(c.low, c.high, count_candidate, &seen));
        ASSERT_EQ(seen.size(), c.count) << c.high.minor;
        if (c.count > 0) {
            EXPECT_EQ(seen.front().minor, c.first.minor);
            EXPECT_EQ(seen.front().micro, c.first.micro);
            EXPECT_EQ(seen.back().minor, c.low.minor);
        }
    }
}

class VersionRangeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        kit::remove_javasoft(kit::View::bits64);
        kit::remove_javasoft(kit::View::bits32);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(VersionRangeEndToEnd, HugeMinorBoundEndsAtOnce)
{
    hardening::Launcher l(L"version-range-huge-minor");
    std::wstring home = l.dir + L"\\jre8";
    kit::install_fake_java(home + L"\\bin\\javaw.exe");
    kit::write_file_bytes(l.parameters, "javaw[1.0.0-1.2147483647.0] -cp . Main");
    kit::RunResult run = l.run(L"", 30000);
    ASSERT_TRUE(run.finished) << "the search did not end";
    EXPECT_EQ(run.boxes,
              std::vector<std::wstring>{L"Don't find a Java runtime with version in the 1.0.0-1.2147483647.0 range"});

    kit::set_javasoft_string(kit::View::bits64, L"Java Runtime Environment\\1.8", L"MicroVersion", L"0");
    kit::set_javasoft_string(kit::View::bits64, L"Java Runtime Environment\\1.8", L"JavaHome", home);
    run = l.run(L"", 30000);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.boxes.empty());
    auto got = kit::read_java_record(l.record);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->crt_args[0], home + L"\\bin\\javaw.exe");
}

// Within one release key, a range of billions of micros ends with the answer the walk through
// every micro would give.
TEST_F(VersionRangeEndToEnd, HugeMicroRangeWithinOneKey)
{
    const std::wstring key = L"Java Runtime Environment\\1.8";
    struct Case {
        const wchar_t* installed;  // MicroVersion; null: none
        JavaVersion low;
        JavaVersion high;
        bool found;
    };
    const Case cases[] = {
        {L"12345", {1, 8, 0}, {1, 8, INT_MAX}, true},
        {L"0", {1, 8, 0}, {1, 8, INT_MAX}, true},
        {L"2147483647", {1, 8, 0}, {1, 8, INT_MAX}, true},
        {L"5", {1, 8, 10}, {1, 8, INT_MAX}, false},
        {L"-1", {1, 8, 0}, {1, 8, INT_MAX}, false},
        {L"x", {1, 8, 0}, {1, 8, INT_MAX}, false},
        {nullptr, {1, 8, 0}, {1, 8, INT_MAX}, false},
        {L"150", {1, 8, 100}, {1, 8, 200}, true},  // walked micro by micro
    };
    for (const Case& c : cases) {
        SetUp();
        if (c.installed != nullptr)
            kit::set_javasoft_string(kit::View::bits32, key, L"MicroVersion", c.installed);
        kit::set_javasoft_string(kit::View::bits32, key, L"JavaHome", L"C:\\J8");
        PathBuffer out;
        EXPECT_EQ(scan_java_release_keys(c.low, c.high, true, out), c.found) << kit::utf8(c.installed ? c.installed : L"none");
        if (c.found) {
            EXPECT_STREQ(out, L"C:\\J8\\bin\\javaw.exe");
        }
    }

    SetUp();
    hardening::Launcher l(L"version-range-huge-micro");
    std::wstring home = l.dir + L"\\jre8";
    kit::install_fake_java(home + L"\\bin\\javaw.exe");
    kit::set_javasoft_string(kit::View::bits64, key, L"MicroVersion", L"202");
    kit::set_javasoft_string(kit::View::bits64, key, L"JavaHome", home);
    kit::write_file_bytes(l.parameters, "javaw[1.8.0-1.8.2147483647] -cp . Main");
    kit::RunResult run = l.run(L"", 30000);
    ASSERT_TRUE(run.finished) << "the search did not end";
    EXPECT_TRUE(run.boxes.empty());
    auto got = kit::read_java_record(l.record);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->crt_args[0], home + L"\\bin\\javaw.exe");
}

}  // namespace
