// Version ranges with extreme bounds: the search for release keys stays within the keys that
// releases used and ends at once, instead of trying billions of minors.
#include "java_search.h"

#include "hardening_launcher.h"
#include "kit.h"

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

}  // namespace
