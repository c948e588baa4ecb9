#include "finding/java_search.h"

#include "command/quoting.h"
#include "java_test_support.h"
#include "kit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace {

using java_test::JavaSoftTest;
using java_test::ScopedEnvironment;
using java_test::TraceLog;

std::string text(JavaVersion v)
{
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.micro);
}

bool same(JavaVersion a, JavaVersion b)
{
    return a.major == b.major && a.minor == b.minor && a.micro == b.micro;
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(CompareJavaVersions, WeightsSpillOverAndNeverOverflow)
{
    struct Case {
        JavaVersion a;
        JavaVersion b;
        int expected_sign;
    };
    const Case cases[] = {
        {{11, 0, 100}, {11, 1, 0}, 0},
        {{11, 0, 150}, {11, 1, 0}, 1},
        {{1, 8, 0}, {11, 0, 0}, -1},
        {{1, 8, 0}, {1, 8, 0}, 0},
        {{37, 0, 0}, {36, 99, 100}, 0},
        {{3000000, 0, 0}, {11, 0, 0}, 1},
        {{11, 0, 0}, {3000000, 0, 0}, -1},
        {{3000000, 0, 0}, {37, 0, 0}, 1},
        {{INT_MAX, INT_MAX, INT_MAX}, {INT_MIN, INT_MIN, INT_MIN}, 1},
        {{INT_MIN, 0, 0}, {INT_MAX, 0, 0}, -1},
        {{INT_MAX, 0, 0}, {INT_MAX, 0, 0}, 0},
        {{1, INT_MAX, 0}, {2, 0, 0}, 1},
        {{1, 0, INT_MAX}, {300000, 0, 0}, -1},  // 10000 + INT_MAX is below 3e9
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sign(compare_java_versions(c.a, c.b)), c.expected_sign) << text(c.a) << " vs " << text(c.b);
        EXPECT_EQ(sign(compare_java_versions(c.b, c.a)), -c.expected_sign) << text(c.b) << " vs " << text(c.a);
    }
    // Where the difference fits, it is the difference itself.
    EXPECT_EQ(compare_java_versions({1, 8, 0}, {1, 7, 0}), 100);
    EXPECT_EQ(compare_java_versions({11, 0, 0}, {1, 8, 0}), 99200);
}

TEST(JavaVersionInRange, BoundsAreInclusive)
{
    struct Case {
        JavaVersion v;
        JavaVersion low;
        JavaVersion high;
        bool in;
    };
    const Case cases[] = {
        {{11, 0, 100}, {11, 0, 0}, {11, 1, 0}, true},
        {{11, 0, 150}, {11, 0, 0}, {11, 1, 0}, false},
        {{11, 0, 0}, {11, 0, 0}, {37, 0, 0}, true},
        {{37, 0, 0}, {11, 0, 0}, {37, 0, 0}, true},
        {{37, 0, 1}, {11, 0, 0}, {37, 0, 0}, false},
        {{1, 8, 0}, {11, 0, 0}, {37, 0, 0}, false},
        {{3000000, 0, 0}, {11, 0, 0}, {37, 0, 0}, false},
        {{3000000, 0, 0}, {11, 0, 0}, {3000000, 0, 0}, true},
        {{12, 0, 0}, {3000000, 0, 0}, {3000000, 0, 0}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(java_version_in_range(c.v, c.low, c.high), c.in) << text(c.v);
}

TEST(ReadDecimal, AsPercentDWithoutWrapping)
{
    struct Case {
        const wchar_t* input;
        DecimalRead result;
        int value;
        size_t consumed;
    };
    const Case cases[] = {
        {L"12", DecimalRead::read, 12, 2},
        {L"  \t12abc", DecimalRead::read, 12, 5},
        {L"+5.", DecimalRead::read, 5, 2},
        {L"-3", DecimalRead::read, -3, 2},
        {L"007", DecimalRead::read, 7, 3},
        {L"2147483647", DecimalRead::read, INT_MAX, 10},
        {L"-2147483648", DecimalRead::read, INT_MIN, 11},
        {L"2147483648", DecimalRead::too_large, 0, 0},
        {L"-2147483649", DecimalRead::too_large, 0, 0},
        {L"99999999999999999999999", DecimalRead::too_large, 0, 0},
        {L"", DecimalRead::none, 0, 0},
        {L"x1", DecimalRead::none, 0, 0},
        {L"+", DecimalRead::none, 0, 0},
        {L"- 1", DecimalRead::none, 0, 0},
        {L".5", DecimalRead::none, 0, 0},
    };
    for (const Case& c : cases) {
        const wchar_t* at = c.input;
        int value = 0;
        EXPECT_EQ(read_decimal(&at, &value), c.result) << kit::utf8(c.input);
        if (c.result == DecimalRead::read) {
            EXPECT_EQ(value, c.value) << kit::utf8(c.input);
            EXPECT_EQ(static_cast<size_t>(at - c.input), c.consumed) << kit::utf8(c.input);
        } else {
            EXPECT_EQ(at, c.input) << kit::utf8(c.input);
        }
    }
}

TEST(VersionFromKeyName, AsTheInstallersNameTheirKeys)
{
    struct Case {
        const wchar_t* name;
        VendorLayout layout;
        std::optional<JavaVersion> expected;
    };
    constexpr auto full = VendorLayout::installer_template;
    constexpr auto named = VendorLayout::named_install;
    const Case cases[] = {
        {L"17.0.9.9", full, JavaVersion{17, 0, 9}},
        {L"11.0.21.9", full, JavaVersion{11, 0, 21}},
        {L"8.0.392.8", full, JavaVersion{1, 8, 0}},
        {L"21", full, JavaVersion{21, 0, 0}},
        {L"zulu-17", named, JavaVersion{17, 0, 0}},
        {L"zulu-8-jre", named, JavaVersion{1, 8, 0}},
        {L"jdk-21", named, JavaVersion{21, 0, 0}},
        {L"jre-17", named, JavaVersion{17, 0, 0}},
        // Not versions: passed over in either layout.
        {L"latest", full, std::nullopt},
        {L"latest", named, std::nullopt},
        {L"MSI", full, std::nullopt},
        {L"", full, std::nullopt},
        {L"", named, std::nullopt},
        {L"17.0.9.9.1", full, std::nullopt},
        {L"17.0.", full, std::nullopt},
        {L"17.0.9-beta", full, std::nullopt},
        {L" 17", full, std::nullopt},
        {L"+17", full, std::nullopt},
        {L"0.9", full, std::nullopt},
        {L"zulu-0", named, std::nullopt},
        {L"2147483648.0.1.1", full, std::nullopt},
        {L"17.99999999999.1", full, std::nullopt},
        {L"jdk-99999999999", named, std::nullopt},
    };
    for (const Case& c : cases) {
        JavaVersion version{-7, -7, -7};
        bool read = version_from_key_name(c.name, c.layout, &version);
        EXPECT_EQ(read, c.expected.has_value()) << kit::utf8(c.name);
        if (read && c.expected) {
            EXPECT_TRUE(same(version, *c.expected)) << kit::utf8(c.name) << ": " << text(version);
        }
    }
}

TEST(ParseVersionSpecification, AcceptedForms)
{
    struct Case {
        const wchar_t* spec;
        JavaVersion low;
        JavaVersion high;
    };
    const Case cases[] = {
        {L"1.8.0", {1, 8, 0}, {1, 8, 0}},
        {L"11.0.0+", {11, 0, 0}, {37, 0, 0}},
        {L"37.0.0+", {37, 0, 0}, {37, 0, 0}},
        {L"36.99.100+", {36, 99, 100}, {37, 0, 0}},  // compares equal to 37.0.0
        {L"37.0.1+", {37, 0, 1}, {37, 0, 1}},
        {L"40.0.0+", {40, 0, 0}, {40, 0, 0}},
        {L"3000000.0.0+", {3000000, 0, 0}, {3000000, 0, 0}},
        {L"1.8.0-11.0.0", {1, 8, 0}, {11, 0, 0}},
        {L"1.8.0-1.8.0", {1, 8, 0}, {1, 8, 0}},
        {L"11.0.0-3000000.0.0", {11, 0, 0}, {3000000, 0, 0}},
        {L"11.0.0+abc", {11, 0, 0}, {37, 0, 0}},
        {L"11.0.0++", {11, 0, 0}, {37, 0, 0}},
        {L"1.8.0-11.0.0xyz", {1, 8, 0}, {11, 0, 0}},
        {L"1.8.0-11.0.0.5", {1, 8, 0}, {11, 0, 0}},
        {L" 1.8.0", {1, 8, 0}, {1, 8, 0}},
        {L"+1.+8.+0", {1, 8, 0}, {1, 8, 0}},
        {L"1.8.0- 11. 0. 0", {1, 8, 0}, {11, 0, 0}},
        {L"011.000.000", {11, 0, 0}, {11, 0, 0}},
        {L"1.0.150-1.1.50", {1, 0, 150}, {1, 1, 50}},  // low 10150 <= high 10150
    };
    for (const Case& c : cases) {
        JavaVersion low{-7, -7, -7};
        JavaVersion high{-7, -7, -7};
        ASSERT_EQ(parse_version_specification(c.spec, &low, &high), VersionSpecification::valid) << kit::utf8(c.spec);
        EXPECT_TRUE(same(low, c.low)) << kit::utf8(c.spec) << ": " << text(low);
        EXPECT_TRUE(same(high, c.high)) << kit::utf8(c.spec) << ": " << text(high);
    }
}

TEST(ParseVersionSpecification, RefusedForms)
{
    struct Case {
        const wchar_t* spec;
        VersionSpecification result;
    };
    const Case cases[] = {
        // Not three, four or seven fields.
        {L"11", VersionSpecification::malformed},
        {L"1.8", VersionSpecification::malformed},
        {L"1.8.", VersionSpecification::malformed},
        {L"1.8.0-11", VersionSpecification::malformed},
        {L"1.8.0-11.0", VersionSpecification::malformed},
        {L"1.8.0-11.0.", VersionSpecification::malformed},
        {L"1..8.0", VersionSpecification::malformed},
        {L"1 .8.0", VersionSpecification::malformed},
        {L"x1.8.0", VersionSpecification::malformed},
        {L"ab", VersionSpecification::malformed},
        {L"", VersionSpecification::malformed},
        {L"1,8,0", VersionSpecification::malformed},
        // Numbers beyond an int are malformed wherever they stand.
        {L"99999999999.0.0", VersionSpecification::malformed},
        {L"1.8.99999999999", VersionSpecification::malformed},
        {L"1.8.0-99999999999.0.0", VersionSpecification::malformed},
        {L"1.8.0-11.0.2147483648", VersionSpecification::malformed},
        {L"2147483648.0.0+", VersionSpecification::malformed},
        // The fields are there but break a rule.
        {L"1.8.0x", VersionSpecification::invalid},
        {L"1.8.0 ", VersionSpecification::invalid},
        {L"1.8.0-", VersionSpecification::invalid},
        {L"1.8.0-x", VersionSpecification::invalid},
        {L"0.8.0", VersionSpecification::invalid},
        {L"-1.8.0+", VersionSpecification::invalid},
        {L"1.-1.0", VersionSpecification::invalid},
        {L"1.8.-1", VersionSpecification::invalid},
        {L"11.0.0-1.8.0", VersionSpecification::invalid},
        {L"3000000.0.0-11.0.0", VersionSpecification::invalid},
        {L"1.8.0+11.0.0", VersionSpecification::invalid},
        {L"1.8.0-0.0.0", VersionSpecification::invalid},
        {L"1.8.0-1.-1.0", VersionSpecification::invalid},
        {L"1.8.0-2.0.-1", VersionSpecification::invalid},
        {L"1.1.50-1.0.149", VersionSpecification::invalid},
    };
    for (const Case& c : cases) {
        JavaVersion low{};
        JavaVersion high{};
        EXPECT_EQ(parse_version_specification(c.spec, &low, &high), c.result) << kit::utf8(c.spec);
    }
}

bool record_candidate(JavaVersion candidate, void* context)
{
    static_cast<std::vector<JavaVersion>*>(context)->push_back(candidate);
    return false;
}

std::vector<JavaVersion> candidates(JavaVersion low, JavaVersion high)
{
    std::vector<JavaVersion> seen;
    EXPECT_FALSE(visit_release_key_candidates(low, high, record_candidate, &seen));
    return seen;
}

std::vector<JavaVersion> descending(int major, int minor, int from_micro, int to_micro)
{
    std::vector<JavaVersion> versions;
    for (int micro = from_micro; micro >= to_micro; --micro)
        versions.push_back({major, minor, micro});
    return versions;
}

std::vector<JavaVersion> operator+(std::vector<JavaVersion> a, const std::vector<JavaVersion>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string text(const std::vector<JavaVersion>& versions)
{
    std::string all;
    for (JavaVersion v : versions)
        all += text(v) + " ";
    return all;
}

TEST(ReleaseKeyCandidates, NewestFirstWithinTheShapeOfTheRange)
{
    struct Case {
        JavaVersion low;
        JavaVersion high;
        std::vector<JavaVersion> expected;
    };
    const Case cases[] = {
        {{1, 8, 0}, {1, 8, 0}, {{1, 8, 0}}},
        {{1, 7, 0}, {1, 8, 0}, descending(1, 8, 0, 0) + descending(1, 7, 9, 0)},
        // Same major and minor: every micro, also above 9.
        {{1, 8, 10}, {1, 8, 15}, descending(1, 8, 15, 10)},
        {{1, 8, 5}, {1, 8, 3}, {}},
        // Same major: micros 9 to 0 of each minor, and only those in the range.
        {{1, 7, 0}, {1, 8, 20}, descending(1, 8, 9, 0) + descending(1, 7, 9, 0)},
        {{1, 6, 5}, {1, 7, 2}, descending(1, 7, 2, 0) + descending(1, 6, 9, 5)},
        {{1, 8, 0}, {1, 6, 0}, {}},
        // Different majors: minors and micros 9 to 0 of each major.
        {{1, 8, 3}, {2, 0, 1}, descending(2, 0, 1, 0) + descending(1, 9, 9, 0) + descending(1, 8, 9, 3)},
        {{1, 6, 0}, {1, 8, 0}, descending(1, 8, 0, 0) + descending(1, 7, 9, 0) + descending(1, 6, 9, 0)},
        {{2, 0, 0}, {1, 0, 0}, {}},
        // Extreme bounds neither overflow a counter nor loop for ever.
        {{1, 8, INT_MAX - 2}, {1, 8, INT_MAX}, descending(1, 8, INT_MAX, INT_MAX - 2)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(candidates(c.low, c.high)), text(c.expected)) << text(c.low) << "-" << text(c.high);
}

TEST(ReleaseKeyCandidates, FirstFindEndsTheScan)
{
    std::vector<JavaVersion> seen;
    auto stop_at_175 = [](JavaVersion candidate, void* context) {
        static_cast<std::vector<JavaVersion>*>(context)->push_back(candidate);
        return candidate.minor == 7 && candidate.micro == 5;
    };
    EXPECT_TRUE(visit_release_key_candidates({1, 7, 0}, {1, 8, 0}, stop_at_175, &seen));
    EXPECT_EQ(text(seen), text(descending(1, 8, 0, 0) + descending(1, 7, 9, 5)));
}

// Registry layouts, in the views the installers write.

constexpr wchar_t release_key[] = L"Java Runtime Environment\\1.8";

void write_release_key(kit::View view, const wchar_t* micro, const wchar_t* home)
{
    if (micro != nullptr)
        kit::set_javasoft_string(view, release_key, L"MicroVersion", micro);
    if (home != nullptr)
        kit::set_javasoft_string(view, release_key, L"JavaHome", home);
}

void write_current_version(const wchar_t* layout, const wchar_t* version, const wchar_t* home)
{
    kit::set_javasoft_string(kit::View::bits64, layout, L"CurrentVersion", version);
    if (home != nullptr)
        kit::set_javasoft_string(kit::View::bits64, std::wstring(layout) + L"\\" + version, L"JavaHome", home);
}

using ReleaseKeyLayout = JavaSoftTest;

TEST_F(ReleaseKeyLayout, FoundExecutableIsNotTestedForExistence)
{
    write_release_key(kit::View::bits64, L"0", L"C:\\J8");
    PathBuffer out;
    TraceLog log;
    ASSERT_TRUE(find_java_release_key({1, 8, 0}, true, out));
    EXPECT_STREQ(out, L"C:\\J8\\bin\\javaw.exe");
    EXPECT_TRUE(log.contains("Searching installed Java having version 1.8.0")) << log.text();
    EXPECT_TRUE(log.contains("Found Java version 1.8.0 in\n'C:\\J8'")) << log.text();
    ASSERT_TRUE(find_java_release_key({1, 8, 0}, false, out));
    EXPECT_STREQ(out, L"C:\\J8\\bin\\java.exe");
}

TEST_F(ReleaseKeyLayout, DeadEndsAreTraced)
{
    struct Case {
        const char* name;
        void (*prepare)();
        JavaVersion version;
        const char* trace;
    };
    const Case cases[] = {
        {"no key", [] {}, {1, 8, 0}, "Did not find Java version 1.8.0: no MicroVersion"},
        {"other micro", [] { write_release_key(kit::View::bits64, L"0", L"C:\\J8"); }, {1, 8, 1},
         "Did not find Java version 1.8.1: incompatible MicroVersion"},
        {"micro not a number", [] { write_release_key(kit::View::bits64, L"u45", L"C:\\J8"); }, {1, 8, 0},
         "Did not find Java version 1.8.0: incompatible MicroVersion"},
        {"micro too large", [] { write_release_key(kit::View::bits64, L"4294967296", L"C:\\J8"); }, {1, 8, 0},
         "Did not find Java version 1.8.0: incompatible MicroVersion"},
        {"micro not REG_SZ",
         [] {
             kit::set_javasoft_value(kit::View::bits64, release_key, L"MicroVersion", REG_DWORD, std::string(4, '\0'));
             write_release_key(kit::View::bits32, L"0", L"C:\\J8");
         },
         {1, 8, 0}, "Did not find Java version 1.8.0: no MicroVersion"},
        {"no home", [] { write_release_key(kit::View::bits64, L"0", nullptr); }, {1, 8, 0},
         "Don't find Java version 1.8.0: no JavaHome"},
        {"home not REG_SZ",
         [] {
             write_release_key(kit::View::bits64, L"0", nullptr);
             kit::set_javasoft_value(kit::View::bits64, release_key, L"JavaHome", REG_EXPAND_SZ,
                                     std::string("C\0:\0\\\0\0\0", 8));
         },
         {1, 8, 0}, "Don't find Java version 1.8.0: no JavaHome"},
        // The home is read in the view that answered the micro version.
        {"home only in the other view",
         [] {
             write_release_key(kit::View::bits64, L"0", nullptr);
             write_release_key(kit::View::bits32, nullptr, L"C:\\J8x86");
         },
         {1, 8, 0}, "Don't find Java version 1.8.0: no JavaHome"},
    };
    for (const Case& c : cases) {
        SetUp();
        c.prepare();
        PathBuffer out;
        TraceLog log;
        EXPECT_FALSE(find_java_release_key(c.version, true, out)) << c.name;
        EXPECT_TRUE(log.contains(c.trace)) << c.name << "\n" << log.text();
    }
}

TEST_F(ReleaseKeyLayout, SixtyFourBitViewFirstThenTheOwnView)
{
    const std::string micro_read =
        "Reading registry path '\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.8\\MicroVersion'";
    PathBuffer out;
    {
        write_release_key(kit::View::bits64, L"0", L"C:\\J8x64");
        write_release_key(kit::View::bits32, L"0", L"C:\\J8x86");
        TraceLog log;
        ASSERT_TRUE(find_java_release_key({1, 8, 0}, true, out));
        EXPECT_STREQ(out, L"C:\\J8x64\\bin\\javaw.exe");
        EXPECT_EQ(log.count(micro_read), 1u);
    }
    {
        SetUp();
        write_release_key(kit::View::bits64, nullptr, L"C:\\Wrong");
        write_release_key(kit::View::bits32, L" 0 ", L"C:\\J8x86");
        TraceLog log;
        ASSERT_TRUE(find_java_release_key({1, 8, 0}, true, out));
        EXPECT_STREQ(out, L"C:\\J8x86\\bin\\javaw.exe");
        EXPECT_EQ(log.count(micro_read), 2u);
    }
    {
        // A value of the wrong type is an answer: the other view is not asked.
        SetUp();
        kit::set_javasoft_value(kit::View::bits64, release_key, L"MicroVersion", REG_DWORD, std::string(4, '\0'));
        write_release_key(kit::View::bits32, L"0", L"C:\\J8x86");
        TraceLog log;
        EXPECT_FALSE(find_java_release_key({1, 8, 0}, true, out));
        EXPECT_EQ(log.count(micro_read), 1u);
    }
}

TEST_F(ReleaseKeyLayout, ScanFindsMicrosAboveNineOnlyWithinOneMinor)
{
    write_release_key(kit::View::bits64, L"12", L"C:\\J8u12");
    PathBuffer out;
    ASSERT_TRUE(scan_java_release_keys({1, 8, 10}, {1, 8, 15}, true, out));
    EXPECT_STREQ(out, L"C:\\J8u12\\bin\\javaw.exe");
    EXPECT_FALSE(scan_java_release_keys({1, 7, 0}, {1, 8, 20}, true, out));
}

TEST_F(ReleaseKeyLayout, LongHomeIsCutAtAThousandCharacters)
{
    std::wstring home = L"C:\\" + std::wstring(1500, L'h');
    write_release_key(kit::View::bits64, L"0", home.c_str());
    PathBuffer out;
    ASSERT_TRUE(find_java_release_key({1, 8, 0}, true, out));
    EXPECT_EQ(std::wstring(out), home.substr(0, 1000) + L"\\bin\\javaw.exe");
}

using CurrentVersionLayout = JavaSoftTest;

TEST_F(CurrentVersionLayout, JreOrJdkWithHomeInTheVersionSubkey)
{
    PathBuffer out;
    write_current_version(L"JRE", L"11.0.2", L"C:\\J11");
    ASSERT_TRUE(find_java_current_version(11, 37, true, out));
    EXPECT_STREQ(out, L"C:\\J11\\bin\\javaw.exe");

    SetUp();
    write_current_version(L"JDK", L"17.0.1", L"C:\\JDK17");
    TraceLog log;
    ASSERT_TRUE(find_java_current_version(11, 37, false, out));
    EXPECT_STREQ(out, L"C:\\JDK17\\bin\\java.exe");
    EXPECT_TRUE(log.contains("Searching installed Java having version 11 to 37")) << log.text();
    EXPECT_TRUE(log.contains("Found Java version 11 to 37 in\n'C:\\JDK17'")) << log.text();

    // A JRE CurrentVersion of another type leaves the JDK key in charge.
    SetUp();
    kit::set_javasoft_value(kit::View::bits64, L"JRE", L"CurrentVersion", REG_DWORD, std::string("\x11\0\0\0", 4));
    write_current_version(L"JDK", L"21", L"C:\\JDK21");
    ASSERT_TRUE(find_java_current_version(11, 37, true, out));
    EXPECT_STREQ(out, L"C:\\JDK21\\bin\\javaw.exe");
}

TEST_F(CurrentVersionLayout, JreThatAnswersIsUsedEvenWhenOutOfRange)
{
    write_current_version(L"JRE", L"10", L"C:\\J10");
    write_current_version(L"JDK", L"17", L"C:\\JDK17");
    PathBuffer out;
    TraceLog log;
    EXPECT_FALSE(find_java_current_version(11, 37, true, out));
    EXPECT_TRUE(log.contains("Did not find Java version 11 to 37: 10, incompatible CurrentVersion")) << log.text();
    EXPECT_FALSE(log.contains("JDK")) << log.text();
}

TEST_F(CurrentVersionLayout, DeadEndsAreTraced)
{
    struct Case {
        const char* name;
        void (*prepare)();
        const char* trace;
    };
    const Case cases[] = {
        {"no keys", [] {}, "Did not find Java version 11 to 37: no CurrentVersion"},
        {"only in the 32-bit view",
         [] { kit::set_javasoft_string(kit::View::bits32, L"JRE", L"CurrentVersion", L"11"); },
         "Did not find Java version 11 to 37: no CurrentVersion"},
        {"not a number", [] { write_current_version(L"JDK", L"abc", L"C:\\X"); },
         "Did not find Java version 11 to 37: abc, incompatible CurrentVersion"},
        {"above the range", [] { write_current_version(L"JDK", L"38.0.1", L"C:\\X"); },
         "Did not find Java version 11 to 37: 38.0.1, incompatible CurrentVersion"},
        {"beyond an int", [] { write_current_version(L"JDK", L"4294967307", L"C:\\X"); },
         "Did not find Java version 11 to 37: 4294967307, incompatible CurrentVersion"},
        {"no home", [] { write_current_version(L"JRE", L"17", nullptr); },
         "Did not find Java version 11 to 37: no JavaHome"},
        {"too long for a registry path",
         [] {
             std::wstring version = L"17." + std::wstring(1100, L'9');
             kit::set_javasoft_string(kit::View::bits64, L"JRE", L"CurrentVersion", version);
         },
         "CurrentVersion too long"},
    };
    for (const Case& c : cases) {
        SetUp();
        c.prepare();
        PathBuffer out;
        TraceLog log;
        EXPECT_FALSE(find_java_current_version(11, 37, true, out)) << c.name;
        EXPECT_TRUE(log.contains(c.trace)) << c.name << "\n" << log.text();
    }
}

using RegisteredJava = JavaSoftTest;

TEST_F(RegisteredJava, LayoutsChosenByTheRange)
{
    const std::string current = "Searching installed Java having version ";
    write_release_key(kit::View::bits64, L"0", L"C:\\J8");
    write_current_version(L"JDK", L"11.0.2", L"C:\\J11");
    PathBuffer out;
    {
        // Both layouts: the newer one first.
        TraceLog log;
        ASSERT_TRUE(find_registered_java({1, 6, 0}, {11, 0, 0}, true, out));
        EXPECT_STREQ(out, L"C:\\J11\\bin\\javaw.exe");
        EXPECT_TRUE(log.contains(current + "9 to 11")) << log.text();
        EXPECT_FALSE(log.contains(current + "1.8.0")) << log.text();
    }
    {
        // Out of the newer layout's range: release keys from 1.8.0 down.
        TraceLog log;
        ASSERT_TRUE(find_registered_java({1, 6, 0}, {10, 0, 0}, true, out));
        EXPECT_STREQ(out, L"C:\\J8\\bin\\javaw.exe");
        std::string all = log.text();
        EXPECT_LT(all.find(current + "9 to 10"), all.find(current + "1.8.0")) << all;
    }
    {
        TraceLog log;
        ASSERT_TRUE(find_registered_java({1, 7, 0}, {1, 8, 0}, true, out));
        EXPECT_STREQ(out, L"C:\\J8\\bin\\javaw.exe");
        EXPECT_FALSE(log.contains("CurrentVersion")) << log.text();
    }
    {
        TraceLog log;
        ASSERT_TRUE(find_registered_java({11, 0, 0}, {37, 0, 0}, false, out));
        EXPECT_STREQ(out, L"C:\\J11\\bin\\java.exe");
        EXPECT_FALSE(log.contains("Java Runtime Environment")) << log.text();
    }
    {
        TraceLog log;
        EXPECT_FALSE(find_registered_java({12, 0, 0}, {37, 0, 0}, true, out));
        EXPECT_FALSE(log.contains("Java Runtime Environment")) << log.text();
    }
}

// Environment: stand-in executables in scratch folders.

class JavaEnvironment : public JavaSoftTest {
protected:
    void SetUp() override
    {
        JavaSoftTest::SetUp();
        for (const wchar_t* name : {L"JAVA_HOME", L"JRE_HOME", L"JDK_HOME", L"PATH", L"QUICK_KELVO"})
            environment.set(name, std::nullopt);
    }
    ScopedEnvironment environment;
};

TEST_F(JavaEnvironment, FirstSetHomeVariableOnlyThenPath)
{
    std::wstring root = kit::scratch_dir(L"java_environment_homes");
    std::wstring empty = root + L"\\empty";
    kit::create_folders(empty);
    kit::install_fake_java(root + L"\\jre\\bin\\javaw.exe");
    kit::install_fake_java(root + L"\\jdk\\bin\\javaw.exe");
    kit::install_fake_java(root + L"\\jdk\\bin\\java.exe");
    kit::install_fake_java(root + L"\\path b\\javaw.exe");
    kit::install_fake_java(root + L"\\path c\\java.exe");

    struct Case {
        const char* name;
        std::optional<std::wstring> java_home, jre_home, jdk_home, path;
        bool use_javaw;
        std::optional<std::wstring> expected;
        const char* variable;
    };
    const Case cases[] = {
        {"JAVA_HOME", root + L"\\jdk", root + L"\\jre", std::nullopt, std::nullopt, true,
         root + L"\\jdk\\bin\\javaw.exe", "JAVA_HOME"},
        {"JRE_HOME", std::nullopt, root + L"\\jre\\", root + L"\\jdk", std::nullopt, true,
         root + L"\\jre\\bin\\javaw.exe", "JRE_HOME"},
        {"JDK_HOME, java.exe", std::nullopt, std::nullopt, root + L"\\jdk", std::nullopt, false,
         root + L"\\jdk\\bin\\java.exe", "JDK_HOME"},
        {"first set home lacks the executable: PATH, not the next home", empty, root + L"\\jre", std::nullopt,
         empty + L";;" + root + L"\\path b\\;" + root + L"\\path c", true, root + L"\\path b\\javaw.exe", "PATH"},
        {"java.exe wanted", std::nullopt, root + L"\\jre", std::nullopt, root + L"\\path b;" + root + L"\\path c",
         false, root + L"\\path c\\java.exe", "PATH"},
        {"PATH pieces are taken as written", std::nullopt, std::nullopt, std::nullopt,
         L"\"" + root + L"\\path b\";" + root + L"\\path b\\javaw.exe", true, std::nullopt, nullptr},
        {"PATH of empty pieces", std::nullopt, std::nullopt, std::nullopt, L";;;", true, std::nullopt, nullptr},
        {"home too long", L"C:\\" + std::wstring(2040, L'x'), std::nullopt, std::nullopt, root + L"\\path b", true,
         root + L"\\path b\\javaw.exe", "PATH"},
        {"nothing set", std::nullopt, std::nullopt, std::nullopt, std::nullopt, true, std::nullopt, nullptr},
    };
    for (const Case& c : cases) {
        ScopedEnvironment scoped;
        scoped.set(L"JAVA_HOME", c.java_home);
        scoped.set(L"jre_home", c.jre_home);  // names match without regard to case
        scoped.set(L"JDK_HOME", c.jdk_home);
        scoped.set(L"PATH", c.path);
        PathBuffer out;
        TraceLog log;
        bool found = find_java_in_environment(c.use_javaw, out);
        EXPECT_EQ(found, c.expected.has_value()) << c.name;
        if (found && c.expected) {
            EXPECT_EQ(std::wstring(out), *c.expected) << c.name;
            EXPECT_TRUE(log.contains(std::string("Found Java executable using environment variable '") + c.variable +
                                     "'\n'" + kit::utf8(*c.expected) + "'"))
                << c.name << "\n" << log.text();
        }
    }
}

TEST_F(JavaEnvironment, QuickKelvoSkipsTheRegistry)
{
    std::wstring root = kit::scratch_dir(L"java_environment_quick");
    kit::install_fake_java(root + L"\\home\\bin\\javaw.exe");
    write_current_version(L"JRE", L"11", L"C:\\Registered");
    environment.set(L"JAVA_HOME", root + L"\\home");
    PathBuffer out;
    {
        ASSERT_TRUE(find_java_executable({11, 0, 0}, {37, 0, 0}, false, true, out));
        EXPECT_STREQ(out, L"C:\\Registered\\bin\\javaw.exe");
    }
    environment.set(L"quick_kelvo", L"0");
    {
        TraceLog log;
        ASSERT_TRUE(find_java_executable({11, 0, 0}, {37, 0, 0}, false, true, out));
        EXPECT_EQ(std::wstring(out), root + L"\\home\\bin\\javaw.exe");
        EXPECT_FALSE(log.contains("Reading registry path")) << log.text();
    }
    {
        TraceLog log;
        EXPECT_FALSE(find_java_executable({11, 0, 0}, {37, 0, 0}, true, true, out));
        EXPECT_FALSE(log.contains("Reading registry path")) << log.text();
        EXPECT_FALSE(log.contains("Found")) << log.text();
    }
}

TEST_F(JavaEnvironment, VersionSpecificationIsNeverSatisfiedFromTheEnvironment)
{
    std::wstring root = kit::scratch_dir(L"java_environment_versioned");
    kit::install_fake_java(root + L"\\home\\bin\\javaw.exe");
    environment.set(L"JAVA_HOME", root + L"\\home");
    environment.set(L"PATH", root + L"\\home\\bin");
    PathBuffer out;
    EXPECT_FALSE(find_java_executable({11, 0, 0}, {37, 0, 0}, true, true, out));
    ASSERT_TRUE(find_java_executable({11, 0, 0}, {37, 0, 0}, false, true, out));
    EXPECT_EQ(std::wstring(out), root + L"\\home\\bin\\javaw.exe");
}

// Selection of the launcher word.

std::wstring quoted(const std::wstring& path)
{
    WideBuffer buffer;
    wide_buffer_init(&buffer);
    append_quoted_argument(&buffer, path.c_str());
    std::wstring result(buffer.data, static_cast<size_t>(buffer.length));
    wide_buffer_release(&buffer);
    return result;
}

std::wstring select(std::wstring word, const std::wstring& launcher)
{
    WideBuffer command;
    wide_buffer_init(&command);
    select_java_launcher(word.data(), launcher.c_str(), &command);
    std::wstring result(command.data, static_cast<size_t>(command.length));
    wide_buffer_release(&command);
    return result;
}

using SelectJavaLauncher = JavaEnvironment;

TEST_F(SelectJavaLauncher, NamedExecutableThatExistsIsUsedAsItIs)
{
    std::wstring root = kit::scratch_dir(L"select_named");
    std::wstring launcher = root + L"\\app dir\\app.exe";
    kit::install_fake_java(root + L"\\app dir\\jre\\bin\\java.exe");
    kit::install_fake_java(root + L"\\app dir\\jre64\\bin\\javaw.exe");
    kit::install_fake_java(root + L"\\shared\\javaw.exe");
    struct Case {
        std::wstring word;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"jre\\bin\\java.exe", root + L"\\app dir\\jre\\bin\\java.exe"},
        // The version specification of an existing executable is not examined.
        {L"jre\\bin\\java.exe[nonsense]", root + L"\\app dir\\jre\\bin\\java.exe"},
        {L"jre\\bin\\java.exe[1.8.0]xyz", root + L"\\app dir\\jre\\bin\\java.exe"},
        {root + L"\\shared\\javaw.exe", root + L"\\shared\\javaw.exe"},
        {root + L"\\shared\\javaw.exe[11.0.0+]", root + L"\\shared\\javaw.exe"},
        // Both builds run on 64-bit Windows here.
        {L"jre64\\bin\\javaw.exe[11.0.0+]", root + L"\\app dir\\jre64\\bin\\javaw.exe"},
    };
    for (const Case& c : cases) {
        TraceLog log;
        EXPECT_EQ(select(c.word, launcher), quoted(c.expected)) << kit::utf8(c.word);
        EXPECT_FALSE(log.contains("Searching")) << log.text();
    }
}

TEST_F(SelectJavaLauncher, SearchesWithinTheRangeOfTheWord)
{
    std::wstring root = kit::scratch_dir(L"select_search");
    std::wstring launcher = root + L"\\app.exe";
    kit::install_fake_java(root + L"\\home\\bin\\javaw.exe");
    write_release_key(kit::View::bits64, L"0", L"C:\\J8");
    write_current_version(L"JRE", L"17.0.2", L"C:\\J17");
    environment.set(L"JAVA_HOME", root + L"\\home");
    struct Case {
        const wchar_t* word;
        std::wstring expected;
        const char* range;
    };
    const Case cases[] = {
        {L"javaw", L"C:\\J17\\bin\\javaw.exe", "11.0.0-37.0.0"},
        {L"java", L"C:\\J17\\bin\\java.exe", "11.0.0-37.0.0"},
        {L"java[1.8.0]", L"C:\\J8\\bin\\java.exe", "1.8.0-1.8.0"},
        {L"javaw[1.6.0-1.8.5]", L"C:\\J8\\bin\\javaw.exe", "1.6.0-1.8.5"},
        {L"javaw[17.0.0+]", L"C:\\J17\\bin\\javaw.exe", "17.0.0-37.0.0"},
        // A named executable that does not exist leads to the search, javaw.exe if the word says so.
        {L"jre\\bin\\javaw.exe", L"C:\\J17\\bin\\javaw.exe", "11.0.0-37.0.0"},
    };
    for (const Case& c : cases) {
        TraceLog log;
        EXPECT_EQ(select(c.word, launcher), quoted(c.expected)) << kit::utf8(c.word);
        EXPECT_TRUE(log.contains(std::string("Searching installed Java with version in the ") + c.range + " range"))
            << log.text();
        EXPECT_TRUE(log.contains("Found Java launcher\n'" + kit::utf8(c.expected) + "'")) << log.text();
    }

    // No version specification: the environment after the registry.
    SetUp();
    environment.set(L"JAVA_HOME", root + L"\\home");
    EXPECT_EQ(select(L"javaw", launcher), quoted(root + L"\\home\\bin\\javaw.exe"));
}

TEST_F(SelectJavaLauncher, WordIsSplitInPlace)
{
    write_current_version(L"JRE", L"11", L"C:\\J11");
    std::wstring word = L"javaw[11.0.0+]tail";
    WideBuffer command;
    wide_buffer_init(&command);
    select_java_launcher(word.data(), L"C:\\nowhere\\app.exe", &command);
    wide_buffer_release(&command);
    EXPECT_STREQ(word.c_str(), L"javaw");
    EXPECT_STREQ(word.c_str() + 6, L"11.0.0+");
    EXPECT_STREQ(word.c_str() + 14, L"tail");
}

TEST(WindowsBits, AnswersOfTheQuestion)
{
    // A 64-bit build answers without asking; a 32-bit one asks and, on 64-bit Windows, runs under WOW64.
    EXPECT_EQ(windows_bits(), WindowsBits::bits64);
    // Asked directly, a 64-bit process is not under WOW64: the answer a 32-bit Windows would give.
    EXPECT_EQ(ask_windows_bits("IsWow64Process", GetCurrentProcess()),
              sizeof(void*) == 8 ? WindowsBits::bits32 : WindowsBits::bits64);
    EXPECT_EQ(ask_windows_bits("IsWow64ProcessMissing", GetCurrentProcess()), WindowsBits::unknown);
    EXPECT_EQ(ask_windows_bits("IsWow64Process", nullptr), WindowsBits::unknown);
}

} // namespace
