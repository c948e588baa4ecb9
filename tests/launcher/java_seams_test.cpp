// The launcher built with its test seams: the answer to "is this 64-bit Windows?" comes from
// KELVO_TEST_OS_BITS, so the 32-bit Windows the tests cannot run on is reachable.
#include "finding/java_search.h"

#include "command/quoting.h"
#include "java_test_support.h"
#include "kit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using java_test::JavaSoftTest;
using java_test::ScopedEnvironment;
using java_test::TraceLog;

TEST(WindowsBitsSeam, EachValue)
{
    struct Case {
        std::optional<std::wstring> value;
        WindowsBits expected;
    };
    const Case cases[] = {
        {L"32", WindowsBits::bits32},
        {L"64", WindowsBits::bits64},
        {L"missing", WindowsBits::unknown},
        {L"fails", WindowsBits::unknown},
        {std::nullopt, WindowsBits::bits64},
        {L"16", WindowsBits::bits64},  // not a seam value: the real answer
    };
    for (const Case& c : cases) {
        ScopedEnvironment environment;
        environment.set(L"KELVO_TEST_OS_BITS", c.value);
        EXPECT_EQ(windows_bits(), c.expected) << kit::utf8(c.value.value_or(L"(unset)"));
    }
}

class Jre64OnThirtyTwoBitWindows : public JavaSoftTest {
protected:
    void SetUp() override
    {
        JavaSoftTest::SetUp();
        for (const wchar_t* name : {L"JAVA_HOME", L"JRE_HOME", L"JDK_HOME", L"PATH", L"QUICK_KELVO"})
            environment.set(name, std::nullopt);
        environment.set(L"KELVO_TEST_OS_BITS", L"32");
        root = kit::scratch_dir(L"seams_shipped");
        kit::install_fake_java(root + L"\\jre64\\bin\\javaw.exe");
        kit::install_fake_java(root + L"\\home\\bin\\javaw.exe");
    }
    std::wstring select(std::wstring word)
    {
        WideBuffer command;
        wide_buffer_init(&command);
        select_java_launcher(word.data(), (root + L"\\app.exe").c_str(), &command);
        std::wstring result(command.data, static_cast<size_t>(command.length));
        wide_buffer_release(&command);
        return result;
    }
    static std::wstring quoted(const std::wstring& path)
    {
        WideBuffer buffer;
        wide_buffer_init(&buffer);
        append_quoted_argument(&buffer, path.c_str());
        std::wstring result(buffer.data, static_cast<size_t>(buffer.length));
        wide_buffer_release(&buffer);
        return result;
    }
    ScopedEnvironment environment;
    std::wstring root;
};

TEST_F(Jre64OnThirtyTwoBitWindows, ShippedRuntimeIsPassedOverForTheSearch)
{
    kit::set_javasoft_string(kit::View::bits64, L"JRE", L"CurrentVersion", L"17");
    kit::set_javasoft_string(kit::View::bits64, L"JRE\\17", L"JavaHome", L"C:\\J17");
    environment.set(L"JAVA_HOME", root + L"\\home");
    TraceLog log;
    EXPECT_EQ(select(L"jre64\\bin\\javaw.exe[11.0.0+]"), quoted(L"C:\\J17\\bin\\javaw.exe"));
    EXPECT_TRUE(log.contains("Searching installed Java with version in the 11.0.0-37.0.0 range")) << log.text();
}

TEST_F(Jre64OnThirtyTwoBitWindows, WithoutVersionTheEnvironmentCounts)
{
    environment.set(L"JAVA_HOME", root + L"\\home");
    EXPECT_EQ(select(L"jre64\\bin\\javaw.exe"), quoted(root + L"\\home\\bin\\javaw.exe"));
}

TEST_F(Jre64OnThirtyTwoBitWindows, OtherFoldersAreUsedOnEveryWindows)
{
    kit::install_fake_java(root + L"\\jre\\bin\\java.exe");
    EXPECT_EQ(select(L"jre\\bin\\java.exe"), quoted(root + L"\\jre\\bin\\java.exe"));
    // "jre64\" is compared with its case.
    kit::install_fake_java(root + L"\\JRE64\\bin\\java.exe");
    EXPECT_EQ(select(L"JRE64\\bin\\java.exe[1.8.0]"), quoted(root + L"\\JRE64\\bin\\java.exe"));
}

TEST_F(Jre64OnThirtyTwoBitWindows, SixtyFourBitAnswerUsesTheShippedRuntime)
{
    environment.set(L"KELVO_TEST_OS_BITS", L"64");
    EXPECT_EQ(select(L"jre64\\bin\\javaw.exe[11.0.0+]"), quoted(root + L"\\jre64\\bin\\javaw.exe"));
}

} // namespace
