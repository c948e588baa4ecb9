// The real launcher under Wine, as a user starts it: a copy of kelvo.exe beside its parameter
// file in a folder of the test's own, the stand-in Java recording what it received.
#include "finding/java_runtime.h"
#include "system/diagnostics.h"

#include "kit.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using Strings = std::vector<std::wstring>;

struct Launcher {
    std::wstring dir;
    std::wstring exe;
    std::wstring parameters;
    std::wstring log;
    std::wstring record;
    std::vector<std::wstring> env;

    explicit Launcher(const wchar_t* name, const wchar_t* program = L"kelvo.exe")
        : dir(kit::scratch_dir(name)),
          exe(dir + L"\\app.exe"),
          parameters(dir + L"\\app.kelvo"),
          log(dir + L"\\app.kelvo_log"),
          record(dir + L"\\record"),
          env(kit::current_environment())
    {
        kit::copy_file(kit::bin_path(program), exe);
        for (const wchar_t* name : {L"VERBOSE_KELVO", L"QUICK_KELVO", L"JAVA_HOME", L"JRE_HOME", L"JDK_HOME"})
            kit::remove_variable(env, name);
        kit::set_variable(env, kit::java_record_variable, record);
    }

    std::wstring java(const std::wstring& relative)
    {
        std::wstring path = dir + L"\\" + relative;
        kit::install_fake_java(path);
        return path;
    }

    void write(const std::wstring& text) { kit::write_file_bytes(parameters, kit::utf8(text)); }

    kit::RunResult run(const std::wstring& arguments = L"", DWORD timeout_ms = 30000)
    {
        return kit::run_program({exe, L"app.exe" + (arguments.empty() ? L"" : L" " + arguments), env, dir, timeout_ms});
    }

    kit::JavaRecord received()
    {
        auto got = kit::read_java_record(record);
        if (!got)
            throw std::runtime_error("the stand-in Java was not started");
        return *got;
    }

    bool java_started() { return kit::file_present(record); }
};

std::wstring quoted_if_blank(const std::wstring& path)
{
    return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

class LauncherEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        kit::remove_javasoft(kit::View::bits64);
        kit::remove_javasoft(kit::View::bits32);
        kit::remove_java_vendor_keys();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(LauncherEndToEnd, WorkedExampleBuildsTheDocumentedCommand)
{
    Launcher l(L"e2e-demo");
    std::wstring home = l.dir + L"\\Program Files\\Java\\jre1.8.0";
    std::wstring javaw = l.java(L"Program Files\\Java\\jre1.8.0\\bin\\javaw.exe");
    kit::set_javasoft_string(kit::View::bits64, L"Java Runtime Environment\\1.8", L"MicroVersion", L"0");
    kit::set_javasoft_string(kit::View::bits64, L"Java Runtime Environment\\1.8", L"JavaHome", home);
    kit::create_folders(l.dir + L"\\lib");
    kit::write_file_bytes(l.dir + L"\\lib\\demo.jar", "jar");
    kit::create_folders(l.dir + L"\\shared");
    std::wstring util = l.dir + L"\\shared\\util.jar";
    kit::write_file_bytes(util, "jar");
    l.write(L"# Demo viewer\r\n"
            L"javaw[1.8.0+]\r\n"
            L"-Xmx512m\r\n"
            L"-Djava.library.path=lib;native\r\n"
            L"-Ddemo.home=%DEMO_HOME|@.%\r\n"
            L"-cp lib\\demo.jar;lib\\missing.jar;" + util + L"\r\n"
            L"demo.Main\r\n"
            L"-title \"Demo Viewer\"\r\n");
    kit::remove_variable(l.env, L"DEMO_HOME");

    kit::RunResult run = l.run(L"report.txt \"My File.txt\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.boxes.empty());
    kit::JavaRecord got = l.received();
    std::wstring d = l.dir;
    EXPECT_EQ(got.raw, L"\"" + javaw + L"\" -Xmx512m -Djava.library.path=\"" + d + L"\\lib\" -Ddemo.home=" + d +
                           L"\\. -cp \"" + d + L"\\lib\\demo.jar;" + util +
                           L"\" demo.Main -title \"Demo Viewer\" report.txt \"My File.txt\"");
    Strings meant = {javaw,
                     L"-Xmx512m",
                     L"-Djava.library.path=" + d + L"\\lib",
                     L"-Ddemo.home=" + d + L"\\.",
                     L"-cp",
                     d + L"\\lib\\demo.jar;" + util,
                     L"demo.Main",
                     L"-title",
                     L"Demo Viewer",
                     L"report.txt",
                     L"My File.txt"};
    EXPECT_EQ(got.crt_args, meant);
    EXPECT_EQ(got.folder, l.dir) << "the Java process inherits the launcher's folder";
    EXPECT_FALSE(kit::file_present(l.log));
    // A start that shows no box leaves user32 (and the display driver behind it) unloaded.
    const Strings& modules = got.parent_modules;
    EXPECT_NE(std::find(modules.begin(), modules.end(), L"kernel32.dll"), modules.end()) << "modules not listed";
    EXPECT_EQ(std::find(modules.begin(), modules.end(), L"user32.dll"), modules.end());
}

// kelvo.exe ends with 0 whatever Java does; kelvoc.exe, the console launcher, with Java's exit
// code when it waits for Java, and with 0 once Java has started when told start.
TEST_F(LauncherEndToEnd, WaitsUnlessStartAndEndsWithTheLaunchersExitCode)
{
    struct Case {
        const wchar_t* program;
        const wchar_t* first_line;
        bool waits;
        DWORD exit_code;
    };
    const Case cases[] = {{L"kelvo.exe", L"", true, 0}, {L"kelvo.exe", L"start\n", false, 0},
                          {L"kelvoc.exe", L"", true, 7}, {L"kelvoc.exe", L"start\n", false, 0}};
    for (const Case& c : cases) {
        std::string name = kit::utf8(c.program) + (c.waits ? " waits" : " start");
        Launcher l(kit::widen("e2e-" + name.substr(0, name.find('.')) + (c.waits ? "-wait" : "-start")).c_str(),
                   c.program);
        l.java(L"jre\\bin\\java.exe");
        l.write(std::wstring(c.first_line) + L"jre\\bin\\java.exe -cp . Main\n");
        kit::set_variable(l.env, kit::java_sleep_variable, L"1500");
        kit::set_variable(l.env, kit::java_exit_variable, L"7");
        kit::RunResult run = l.run();
        ASSERT_TRUE(run.finished) << name;
        EXPECT_EQ(run.exit_code, c.exit_code) << name;
        EXPECT_TRUE(run.boxes.empty()) << name;
        EXPECT_EQ(kit::file_present(l.record + L".done"), c.waits)
            << name << (c.waits ? ": the launcher waits for Java to end" : ": with start the launcher ends while Java runs");
        for (int i = 0; i < 200 && !kit::file_present(l.record + L".done"); ++i)
            Sleep(50);
        EXPECT_TRUE(l.java_started()) << name;
        EXPECT_TRUE(kit::file_present(l.record + L".done")) << name << ": Java goes on after the launcher ended";
    }
}

// kelvoc.exe hands Java its standard handles, redirected or not, and writes its own errors to
// standard error, never in a box: redirected, in the system's code page as a Java child writes
// there, not in the UTF-8 of its own process.
TEST_F(LauncherEndToEnd, ConsoleLauncherUsesTheStandardHandles)
{
    Launcher l(L"e2e-console-streams-caf\xE9", L"kelvoc.exe");
    l.java(L"jre\\bin\\java.exe");
    l.write(L"jre\\bin\\java.exe -cp . Main\n");
    kit::set_variable(l.env, kit::java_output_variable, L"written by Java");
    std::wstring output = l.dir + L"\\output.txt";
    std::wstring errors = l.dir + L"\\errors.txt";
    kit::RunResult run = kit::run_program({l.exe, L"app.exe", l.env, l.dir, 30000, output, errors});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(kit::read_file_bytes(output), "written by Java\r\n");
    EXPECT_EQ(kit::read_file_bytes(errors), "");

    DeleteFileW(l.parameters.c_str());
    run = kit::run_program({l.exe, L"app.exe", l.env, l.dir, 30000, output, errors});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 2u);
    EXPECT_TRUE(run.boxes.empty());
    std::string parameters(l.parameters.size(), '\0');
    WideCharToMultiByte(1252, 0, l.parameters.data(), static_cast<int>(l.parameters.size()), parameters.data(),
                        static_cast<int>(parameters.size()), nullptr, nullptr);
    EXPECT_EQ(kit::read_file_bytes(errors), "Cannot open parameter file\r\n'" + parameters + "':\r\nerrno=2\r\n");
    EXPECT_EQ(kit::read_file_bytes(output), "");
}

TEST_F(LauncherEndToEnd, LauncherArgumentsComeLastQuotedAndUnexpanded)
{
    Launcher l(L"e2e-args");
    std::wstring java = l.java(L"jre\\bin\\java.exe");
    l.write(L"jre\\bin\\java.exe -cp . Main %PATH_UNSET% fromfile");
    kit::RunResult run = l.run(L"\"\" \"C:\\My Dir\\\\\" a\\ a\\b \"a\tb\" %PATH_UNSET% #comment dropped");
    ASSERT_EQ(run.exit_code, 0u);
    kit::JavaRecord got = l.received();
    Strings meant = {java, L"-cp", l.dir + L"\\.", L"Main", L"", L"fromfile", L"", L"C:\\My Dir\\",
                     L"a\\", L"a\\b", L"a\tb", L"%PATH_UNSET%"};
    EXPECT_EQ(got.crt_args, meant);
    EXPECT_EQ(got.shell_args, meant);
    std::wstring tail = L" Main \"\" fromfile \"\" \"C:\\My Dir\\\\\" \"a\\\\\" a\\b \"a\tb\" %PATH_UNSET%";
    ASSERT_GE(got.raw.size(), tail.size());
    EXPECT_EQ(got.raw.substr(got.raw.size() - tail.size()), tail);
}

TEST_F(LauncherEndToEnd, EmptyCommandLineStillFindsTheParameterFile)
{
    Launcher l(L"e2e-empty-cmdline");
    std::wstring java = l.java(L"jre\\bin\\java.exe");
    l.write(L"jre\\bin\\java.exe -cp . Main");
    kit::RunResult run = kit::run_program({l.exe, L"", l.env, l.dir, 30000});
    ASSERT_EQ(run.exit_code, 0u);
    EXPECT_EQ(l.received().crt_args, (Strings{java, L"-cp", l.dir + L"\\.", L"Main"}));
}

// Every failure shows its message in the "Error" box and ends with exit code 2, without Java.
TEST_F(LauncherEndToEnd, ErrorBoxes)
{
    struct Case {
        const char* name;
        std::string bytes;  // parameter file; "<none>" for no file
        std::wstring expected;  // %P stands for the parameter file path
    };
    const std::string java = "jre\\bin\\java.exe";
    const Case cases[] = {
        {"missing", "<none>", L"Cannot open parameter file\n'%P':\nerrno=2"},
        {"empty", "", L"Parameter file\n'%P'\nis empty"},
        {"only-bom", "\xEF\xBB\xBF", L"Parameter file\n'%P'\nis empty"},
        {"only-comments", "# nothing\r\n  # here\n", L"Syntax error in parameter file\n'%P':\nexpected start or java or javaw"},
        {"start-alone", "start", L"Syntax error in parameter file\n'%P':\nexpected java or javaw"},
        {"start-start", "start start javaw", L"Syntax error in parameter file\n'%P':\nexpected java or javaw"},
        {"capital-java", "Java -cp . Main", L"Syntax error in parameter file\n'%P':\nexpected start or java or javaw"},
        {"no-cp", java, L"Syntax error in parameter file\n'%P':\nexpected -cp or -classpath or a Java option"},
        {"cp-no-list", java + " -Xmx1m -cp", L"Syntax error in parameter file\n'%P':\nexpected -cp or -classpath"},
        {"no-class", java + " -classpath lib", L"Syntax error in parameter file\n'%P':\nexpected a Java class name"},
        {"unclosed-bracket", "javaw[1.8.0 -cp . Main", L"Malformed Java version '[1.8.0'"},
        {"one-char", "javaw[1] -cp . Main", L"Malformed Java version '[1]'"},
        {"major-only", "javaw[11] -cp . Main", L"Malformed Java version '11'"},
        {"pair", "javaw[1.8] -cp . Main", L"Malformed Java version '1.8'"},
        {"open-high", "javaw[1.8.0-11] -cp . Main", L"Malformed Java version '1.8.0-11'"},
        {"bad-separator", "javaw[1.8.0x] -cp . Main", L"Invalid Java version '1.8.0x'"},
        {"zero-major", "javaw[0.8.0] -cp . Main", L"Invalid Java version '0.8.0'"},
        {"reversed", "javaw[11.0.0-1.8.0] -cp . Main", L"Invalid Java version '11.0.0-1.8.0'"},
        {"none-found", "java[1.8.0] -cp . Main",
         L"Don't find a Java runtime with version in the 1.8.0-1.8.0 range"},
        {"none-found-plus", "javaw[40.0.0+] -cp . Main",
         L"Don't find a Java runtime with version in the 40.0.0-40.0.0 range"},
    };
    for (const Case& c : cases) {
        Launcher l(kit::widen(std::string("e2e-box-") + c.name).c_str());
        l.java(L"jre\\bin\\java.exe");
        if (c.bytes != "<none>")
            kit::write_file_bytes(l.parameters, c.bytes);
        kit::RunResult run = l.run();
        std::wstring expected = c.expected;
        if (size_t at = expected.find(L"%P"); at != std::wstring::npos)
            expected.replace(at, 2, l.parameters);
        EXPECT_EQ(run.exit_code, 2u) << c.name;
        EXPECT_EQ(run.boxes, Strings{expected}) << c.name;
        EXPECT_FALSE(l.java_started()) << c.name;
    }
}

TEST_F(LauncherEndToEnd, CommandThatCannotBeExecuted)
{
    // A Java "executable" that is no program, and a command longer than Windows accepts.
    Launcher l(L"e2e-cannot-execute");
    kit::create_folders(l.dir + L"\\jre\\bin");
    std::wstring fake = l.dir + L"\\jre\\bin\\java.exe";
    kit::write_file_bytes(fake, "not a program");
    l.write(L"jre\\bin\\java.exe -cp . Main");
    kit::RunResult run = l.run();
    EXPECT_EQ(run.exit_code, 2u);
    ASSERT_EQ(run.boxes.size(), 1u);
    std::wstring head = L"Cannot execute command\n'" + fake + L" -cp \"" + l.dir + L"\\.\" Main':\n";
    EXPECT_EQ(run.boxes[0].substr(0, head.size()), head);

    Launcher big(L"e2e-too-long");
    std::wstring java = big.java(L"jre\\bin\\java.exe");
    big.write(L"jre\\bin\\java.exe -cp . Main " + std::wstring(33000, L'x'));
    run = big.run();
    EXPECT_EQ(run.exit_code, 2u);
    ASSERT_EQ(run.boxes.size(), 1u);
    std::wstring command = java + L" -cp \"" + big.dir + L"\\.\" Main " + std::wstring(33000, L'x');
    EXPECT_EQ(run.boxes[0],
              L"Cannot execute command\n'" + command.substr(0, 3000) + L"':\n" + system_error_text(206));
    EXPECT_FALSE(big.java_started()) << "never started cut short";
}

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c == L'\n' ? std::string("\r\n") : std::string(1, static_cast<char>(c < 0x100 ? c : '?'));
    return out;
}

TEST_F(LauncherEndToEnd, VerboseLogOfASuccessfulRunEntryByEntry)
{
    Launcher l(L"e2e-log");
    std::wstring java = l.java(L"jre\\bin\\java.exe");
    kit::write_file_bytes(l.parameters, "\xEF\xBB\xBFjre\\bin\\java.exe -cp . Main x");
    kit::set_variable(l.env, L"VERBOSE_KELVO", L"");
    kit::RunResult run = l.run(L"arg");
    ASSERT_EQ(run.exit_code, 0u);
    kit::JavaRecord got = l.received();
    std::wstring command = quoted_if_blank(java) + L" -cp \"" + l.dir + L"\\.\" Main x arg";
    EXPECT_EQ(got.raw, command);
    int pid = static_cast<int>(got.process_id);
    Strings entries = {
        L"Loading parameter file\n'" + l.parameters + L"'",
        L"Parameter file\n'" + l.parameters + L"'\nloaded",
        L"Building command using parameter file\n'" + l.parameters + L"'\nand command line\n'app.exe arg'",
        L"Processing parameter\n'jre\\bin\\java.exe'\nand appending it to command",
        L"Processing parameter\n'-cp'\nand appending it to command",
        L"Processing parameter\n'.'\nand appending it to command",
        L"Processing parameter\n'Main'\nand appending it to command",
        L"Processing parameter\n'x'\nand appending it to command",
        L"Appending argument\n'arg'\nto command",
        L"Built command is\n'" + command + L"'",
        L"Creating process using command\n'" + command + L"'",
        L"Process " + std::to_wstring(pid) + L" created",
        L"Waiting end of process " + std::to_wstring(pid),
        L"Process " + std::to_wstring(pid) + L" terminated",
    };
    std::wstring expected = L"Tandrel kelvo version 2.2.0\n";
    for (const auto& entry : entries)
        expected += entry + L"\n\n";
    EXPECT_EQ(kit::read_file_bytes(l.log), narrow(expected));
}

TEST_F(LauncherEndToEnd, RegistryViewsAndEnvironmentOrder)
{
    enum Registry { none = 0, release64 = 1, release32 = 2, current64 = 4 };
    struct Case {
        const char* name;
        const wchar_t* word;
        int registry;
        bool quick;
        Strings variables;      // NAME=folder below the test folder
        const wchar_t* chosen;  // folder of the Java expected, below the test folder
    };
    const Case cases[] = {
        {"64-view-first", L"javaw[1.8.0]", release64 | release32, false, {}, L"r64"},
        {"32-view-only", L"javaw[1.8.0]", release32, false, {}, L"r32"},
        {"current-version", L"javaw", current64, false, {L"JAVA_HOME=h1"}, L"r64"},
        {"quick-skips-registry", L"javaw", current64, true, {L"JAVA_HOME=h1"}, L"h1"},
        {"java-home", L"javaw", none, false, {L"JAVA_HOME=h1", L"JRE_HOME=h2", L"PATH=p\\bin"}, L"h1"},
        {"jre-home", L"javaw", none, false, {L"JRE_HOME=h2", L"JDK_HOME=h3"}, L"h2"},
        {"jdk-home", L"javaw", none, false, {L"JDK_HOME=h3"}, L"h3"},
        {"first-home-only-then-path", L"javaw", none, false, {L"JAVA_HOME=none", L"JRE_HOME=h2", L"PATH=p\\bin"}, L"p"},
    };
    for (const Case& c : cases) {
        SetUp();
        Launcher l(kit::widen(std::string("e2e-search-") + c.name).c_str());
        for (const wchar_t* folder : {L"r64", L"r32", L"h1", L"h2", L"h3"})
            l.java(std::wstring(folder) + L"\\bin\\javaw.exe");
        l.java(L"p\\bin\\javaw.exe");
        kit::create_folders(l.dir + L"\\none");
        for (auto [flag, view, folder] : {std::tuple{release64, kit::View::bits64, L"r64"},
                                          std::tuple{release32, kit::View::bits32, L"r32"}}) {
            if ((c.registry & flag) == 0)
                continue;
            kit::set_javasoft_string(view, L"Java Runtime Environment\\1.8", L"MicroVersion", L"0");
            kit::set_javasoft_string(view, L"Java Runtime Environment\\1.8", L"JavaHome", l.dir + L"\\" + folder);
        }
        if ((c.registry & current64) != 0) {
            kit::set_javasoft_string(kit::View::bits64, L"JRE", L"CurrentVersion", L"17.0.2");
            kit::set_javasoft_string(kit::View::bits64, L"JRE\\17.0.2", L"JavaHome", l.dir + L"\\r64");
        }
        if (c.quick)
            kit::set_variable(l.env, L"QUICK_KELVO", L"");
        for (const auto& v : c.variables) {
            size_t eq = v.find(L'=');
            std::wstring value = l.dir + L"\\" + v.substr(eq + 1);
            if (v.substr(0, eq) == L"PATH")
                value = L"C:\\windows\\system32;;" + value + L";C:\\windows";
            kit::set_variable(l.env, v.substr(0, eq), value);
        }
        l.write(std::wstring(c.word) + L" -cp . Main");
        kit::RunResult run = l.run();
        EXPECT_EQ(run.exit_code, 0u) << c.name;
        EXPECT_TRUE(run.boxes.empty()) << c.name;
        if (!l.java_started()) {
            ADD_FAILURE() << c.name << ": Java not started";
            continue;
        }
        EXPECT_EQ(l.received().crt_args.at(0), l.dir + L"\\" + c.chosen + L"\\bin\\javaw.exe") << c.name;
    }
}

// The keys that today's installers write instead of the JavaSoft ones, filled as they fill them:
// the folder in Path (with a number JavaHome beside it) or InstallationPath.
TEST_F(LauncherEndToEnd, RuntimesThatTodaysInstallersRegister)
{
    struct Install {
        kit::Software where;
        const wchar_t* key;     // below SOFTWARE
        const wchar_t* folder;  // below the test folder; one named "gone..." is not there
    };
    struct Case {
        const char* name;
        const wchar_t* word;
        std::vector<Install> installs;
        Strings variables;      // NAME=folder below the test folder (QUICK_KELVO counts whatever its value)
        bool javasoft;          // JavaSoft's JRE 17 registered in folder r64
        const wchar_t* chosen;  // folder of the Java expected; null: none found
        const wchar_t* trace;   // in the log if given; %D stands for the test folder
    };
    constexpr auto m64 = kit::Software::machine64;
    constexpr auto m32 = kit::Software::machine32;
    constexpr auto user = kit::Software::user;
    const Install temurin21{m64, L"Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot\\MSI", L"jdk-21.0.1.12-hotspot\\"};
    const Case cases[] = {
        {"temurin-64", L"javaw[17.0.0+]", {temurin21}, {}, false, L"jdk-21.0.1.12-hotspot",
         L"Found Java version 21.0.1 in\n'%D\\jdk-21.0.1.12-hotspot\\'"},
        {"java8-jre-32", L"java[1.8.0]", {{m32, L"AdoptOpenJDK\\JRE\\8.0.392.8\\hotspot\\MSI", L"jre8"}}, {}, false,
         L"jre8", nullptr},
        {"per-user", L"javaw", {{user, L"Microsoft\\JDK\\17.0.9.8\\hotspot\\MSI", L"ms17\\"}}, {}, false, L"ms17",
         nullptr},
        {"zulu", L"javaw[11.0.0-17.0.0]",
         {{m64, L"Azul Systems\\Zulu\\zulu-21", L"zulu21"}, {m64, L"Azul Systems\\Zulu\\zulu-17", L"zulu17"}}, {},
         false, L"zulu17", nullptr},
        {"newest-of-three", L"javaw[11.0.0+]",
         {{m64, L"Semeru\\JDK\\11.0.21.9\\openj9\\MSI", L"semeru11"},
          {m32, L"BellSoft\\Liberica\\jdk-21", L"liberica21"},
          {user, L"Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI", L"temurin17"}},
         {}, false, L"liberica21", nullptr},
        {"left-behind", L"javaw[17.0.0+]",
         {{m64, L"Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot\\MSI", L"gone21\\"},
          {m64, L"Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI", L"temurin17"}},
         {}, false, L"temurin17", L"Passed over Java version 21.0.1 in\n'%D\\gone21\\':\nno bin\\javaw.exe"},
        // What the search found before still comes first.
        {"javasoft-first", L"javaw[17.0.0+]", {temurin21}, {}, true, L"r64", nullptr},
        {"java-home-first", L"javaw", {temurin21}, {L"JAVA_HOME=h1"}, false, L"h1", nullptr},
        {"quick", L"javaw[17.0.0+]", {temurin21}, {L"QUICK_KELVO=any"}, false, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SetUp();
        Launcher l(kit::widen(std::string("e2e-vendor-") + c.name).c_str());
        kit::set_variable(l.env, L"VERBOSE_KELVO", L"");
        for (const wchar_t* folder : {L"r64", L"h1"})
            l.java(std::wstring(folder) + L"\\bin\\javaw.exe");
        for (const Install& install : c.installs) {
            std::wstring folder = install.folder;
            if (folder.rfind(L"gone", 0) != 0) {
                l.java(folder + L"\\bin\\javaw.exe");
                l.java(folder + L"\\bin\\java.exe");
            }
            std::wstring key = install.key;
            bool msi = key.size() > 4 && key.substr(key.size() - 4) == L"\\MSI";
            kit::set_software_string(install.where, key, msi ? L"Path" : L"InstallationPath", l.dir + L"\\" + folder);
            if (msi)
                kit::set_software_value(install.where, key, L"JavaHome", REG_DWORD, std::string("\1\0\0\0", 4));
        }
        if (c.javasoft) {
            kit::set_javasoft_string(kit::View::bits64, L"JRE", L"CurrentVersion", L"17");
            kit::set_javasoft_string(kit::View::bits64, L"JRE\\17", L"JavaHome", l.dir + L"\\r64");
        }
        for (const auto& v : c.variables) {
            size_t eq = v.find(L'=');
            kit::set_variable(l.env, v.substr(0, eq), l.dir + L"\\" + v.substr(eq + 1));
        }
        l.write(std::wstring(c.word) + L" -cp . Main");
        kit::RunResult run = l.run();
        if (c.trace != nullptr) {
            std::wstring entry = c.trace;
            entry.replace(entry.find(L"%D"), 2, l.dir);
            EXPECT_NE(kit::read_file_bytes(l.log).find(narrow(entry)), std::string::npos) << c.name;
        }
        if (c.chosen == nullptr) {
            EXPECT_EQ(run.exit_code, 2u) << c.name;
            EXPECT_EQ(run.boxes, Strings{L"Don't find a Java runtime with version in the 17.0.0-37.0.0 range"})
                << c.name;
            EXPECT_FALSE(l.java_started()) << c.name;
            continue;
        }
        EXPECT_EQ(run.exit_code, 0u) << c.name;
        EXPECT_TRUE(run.boxes.empty()) << c.name;
        if (!l.java_started()) {
            ADD_FAILURE() << c.name << ": Java not started";
            continue;
        }
        std::wstring executable = std::wstring(c.word).find(L"javaw") == 0 ? L"javaw.exe" : L"java.exe";
        EXPECT_EQ(l.received().crt_args.at(0), l.dir + L"\\" + c.chosen + L"\\bin\\" + executable) << c.name;
    }
}

// The shipped launcher asks the Windows it runs on (64-bit here, where the x86 build runs under
// WOW64); the seams build answers "is this 64-bit Windows?" from KELVO_TEST_OS_BITS.
TEST_F(LauncherEndToEnd, Jre64FolderOnlyOn64BitWindows)
{
    struct Case {
        const char* bits;  // null: the shipped launcher, no seam
        bool used;
        bool warns;
    };
    for (Case c : {Case{nullptr, true, false}, Case{"64", true, false}, Case{"32", false, false},
                   Case{"missing", false, true}, Case{"fails", false, true}}) {
        std::string name = c.bits == nullptr ? "shipped" : c.bits;
        Launcher l(kit::widen("e2e-jre64-" + name).c_str(), c.bits == nullptr ? L"kelvo.exe" : L"kelvo_seams.exe");
        std::wstring java = l.java(L"jre64\\bin\\javaw.exe");
        if (c.bits != nullptr)
            kit::set_variable(l.env, L"KELVO_TEST_OS_BITS", kit::widen(c.bits));
        l.write(L"jre64\\bin\\javaw.exe[11.0.0+] -cp . Main");
        kit::RunResult run = l.run();
        if (c.used) {
            EXPECT_EQ(run.exit_code, 0u);
            EXPECT_TRUE(run.boxes.empty());
            EXPECT_EQ(l.received().crt_args.at(0), java);
            continue;
        }
        Strings expected;
        if (c.warns)
            expected.push_back(L"Cannot determine whether OS is 32-bit or 64-bit; will not use\n'" + java + L"'");
        expected.push_back(L"Don't find a Java runtime with version in the 11.0.0-37.0.0 range");
        EXPECT_EQ(run.exit_code, 2u) << name;
        EXPECT_EQ(run.boxes, expected) << name;
        EXPECT_FALSE(l.java_started()) << name;
    }
}

// The stand-in Java reads its command in the tests' ANSI code page, 1252, where the system
// turns a fullwidth quotation mark into '"', an ideographic space into a blank, a fullwidth
// reverse solidus into '\' and letters it lacks into '?'.
TEST_F(LauncherEndToEnd, CharacterThatWouldMoveArgumentsInTheCodePageStopsTheLauncher)
{
    struct Case {
        const char* name;
        std::wstring parameters;  // after the Java executable
        std::wstring arguments;
        std::wstring command_tail;  // after the Java executable; %D stands for the test folder
        unsigned refused;
        std::wstring java = L"jre\\bin\\java.exe";
    };
    const Case cases[] = {
        {"launcher-argument", L" -cp . Main", L"a\xFF02" L"b",
         L" -cp \"%D\\.\" Main a\xFF02" L"b", 0xFF02},
        {"java-option", L" -Dtitle=a\x3000" L"b -cp . Main", L"",
         L" -Dtitle=a\x3000" L"b -cp \"%D\\.\" Main", 0x3000},
        {"class-path", L" -cp lib\xFF3C" L"x Main", L"",
         L" -cp \"%D\\lib\xFF3C" L"x\" Main", 0xFF3C},
        {"first-of-two", L" -cp . Main", L"\x4E2D\x02BA \x2216",
         L" -cp \"%D\\.\" Main \"\x4E2D\x02BA\" \x2216", 0x02BA},
        {"java-folder", L" -cp . Main", L"a\x3000" L"b", L" -cp \"%D\\.\" Main a\x3000" L"b", 0xFF02,
         L"jre\xFF02" L"17\\bin\\java.exe"},
    };
    for (const Case& c : cases) {
        Launcher l(kit::widen(std::string("e2e-refused-") + c.name).c_str());
        std::wstring java = l.java(c.java);
        kit::create_folders(l.dir + L"\\lib\xFF3C" L"x");
        l.write(c.java + c.parameters);
        kit::RunResult run = l.run(c.arguments);
        std::wstring command = quoted_if_blank(java) + c.command_tail;
        command.replace(command.find(L"%D"), 2, l.dir);
        wchar_t code[8];
        swprintf(code, 8, L"%04X", c.refused);
        EXPECT_EQ(run.exit_code, 2u) << c.name;
        EXPECT_EQ(run.boxes, Strings{L"Cannot pass the command to Java unchanged\n'" + command +
                                     L"':\ncharacter U+" + code + L" is not in code page 1252"})
            << c.name;
        EXPECT_FALSE(l.java_started()) << c.name;
    }
}

TEST_F(LauncherEndToEnd, ElementsThatWouldBecomeWildcardsInTheCodePageAreQuoted)
{
    Launcher l(L"e2e-code-page-quoted");
    std::wstring java = l.java(L"jre\\bin\\java.exe");
    const std::wstring chinese = L"\x4E2D\x6587";
    l.write(L"jre\\bin\\java.exe -Dname=" + chinese + L" -cp . Main \xFF0A.txt");
    kit::RunResult run = l.run(chinese + L".txt caf\x00E9.txt \xD7" L"2");
    ASSERT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.boxes.empty());
    kit::JavaRecord got = l.received();
    EXPECT_EQ(got.raw, quoted_if_blank(java) + L" \"-Dname=" + chinese + L"\" -cp \"" + l.dir +
                           L"\\.\" Main \"\xFF0A.txt\" \"" + chinese + L".txt\" caf\x00E9.txt \xD7" L"2");
    Strings meant = {java, L"-Dname=" + chinese, L"-cp", l.dir + L"\\.", L"Main", L"\xFF0A.txt",
                     chinese + L".txt", L"caf\x00E9.txt", L"\xD7" L"2"};
    EXPECT_EQ(got.shell_args, meant);
    EXPECT_EQ(got.crt_args, meant);
}

// The Java launcher reads its own path up to the first blank or tab outside quotes, knowing no
// escapes there: a character that becomes a backslash changes nothing, one that becomes a
// blank needs quotes.
TEST_F(LauncherEndToEnd, ProgramNameIsQuotedWhereJavaWouldEndIt)
{
    for (const wchar_t* folder : {L"jre\xFF3C" L"1", L"jre\x3000" L"17"}) {
        Launcher l(folder[3] == 0x3000 ? L"e2e-code-page-program-blank" : L"e2e-code-page-program");
        std::wstring java = l.java(std::wstring(folder) + L"\\bin\\java.exe");
        l.write(std::wstring(folder) + L"\\bin\\java.exe -cp . Main");
        kit::RunResult run = l.run(L"x");
        ASSERT_EQ(run.exit_code, 0u);
        EXPECT_TRUE(run.boxes.empty());
        kit::JavaRecord got = l.received();
        std::wstring program = folder[3] == 0x3000 ? L"\"" + java + L"\"" : java;
        EXPECT_EQ(got.raw.substr(0, program.size() + 1), program + L" ");
        EXPECT_EQ(got.shell_args, (Strings{java, L"-cp", l.dir + L"\\.", L"Main", L"x"}));
    }
}

TEST_F(LauncherEndToEnd, JavaDeclaringUtf8ReceivesEveryCharacterUnquoted)
{
    Launcher l(L"e2e-code-page-utf8");
    std::wstring java = l.dir + L"\\jre\\bin\\java.exe";
    kit::create_folders(l.dir + L"\\jre\\bin");
    kit::copy_file(kit::bin_path(L"fake_java_utf8.exe"), java);
    l.write(L"jre\\bin\\java.exe -cp . Main");
    kit::RunResult run = l.run(L"a\xFF02" L"b \x4E2D\x6587.txt \xFF0A two\x3000words");
    ASSERT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.boxes.empty());
    kit::JavaRecord got = l.received();
    EXPECT_EQ(got.raw, quoted_if_blank(java) + L" -cp \"" + l.dir +
                           L"\\.\" Main a\xFF02" L"b \x4E2D\x6587.txt \xFF0A two\x3000words");
    EXPECT_EQ(got.shell_args, (Strings{java, L"-cp", l.dir + L"\\.", L"Main", L"a\xFF02" L"b",
                                       L"\x4E2D\x6587.txt", L"\xFF0A", L"two\x3000words"}));
}

// Moves the launcher one folder down, to app\app.exe (the folder above it, where jli.dll looks
// first, is the test's), with a runtime that can run in its process at app\jre: the stand-in
// jli.dll and jvm.dll, and app\lib\app.jar.
struct Hosted {
    std::wstring app;
    std::wstring home;
};

Hosted host_launcher(Launcher& l)
{
    std::wstring app = l.dir + L"\\app";
    std::wstring home = app + L"\\jre";
    for (const wchar_t* folder : {L"\\app\\lib", L"\\bin"})
        kit::create_folders(l.dir + folder);
    kit::copy_file(l.exe, app + L"\\app.exe");
    l.exe = app + L"\\app.exe";
    l.parameters = app + L"\\app.kelvo";
    l.log = app + L"\\app.kelvo_log";
    kit::install_hosted_runtime(home);
    kit::write_file_bytes(app + L"\\lib\\app.jar", "jar");
    return {app, home};
}

// inprocess: Java runs in the launcher's own process through the runtime's jli.dll, each
// argument whole in UTF-8, and the launcher ends as Java does. A runtime that does not allow it
// runs as a child process with the same elements, and the trace log says why; none of it is
// loaded (its jli.dll records nothing).
TEST_F(LauncherEndToEnd, JavaInTheLaunchersProcessWhereTheRuntimeAllowsIt)
{
    struct Case {
        const char* name;
        const wchar_t* program;
        const wchar_t* exit;        // what Java ends with; "!5": System.exit(5)
        const wchar_t* file;        // of the runtime, changed to content; null: none
        std::string content;        // "@delete", "@folder", "@damaged" (a cut jli.dll), "@no-entry" (another DLL)
        std::string child_because;  // empty: Java runs in the launcher's process; %H the runtime, %D the test's folder
    };
    const Case cases[] = {
        {"gui", L"kelvo.exe", L"0", nullptr, "", ""},
        {"console", L"kelvoc.exe", L"3", nullptr, "", ""},
        {"system-exit", L"kelvo.exe", L"!5", nullptr, "", ""},
        {"no-jli", L"kelvo.exe", L"0", L"bin\\jli.dll", "@delete", "cannot read '%H\\bin\\jli.dll'"},
        {"jli-damaged", L"kelvo.exe", L"0", L"bin\\jli.dll", "@damaged", "cannot load '%H\\bin\\jli.dll'"},
        {"jli-no-entry", L"kelvo.exe", L"0", L"bin\\jli.dll", "@no-entry", "'%H\\bin\\jli.dll' exports no " + std::string(jli_launch_name)},
        {"jvm-other-machine", L"kelvo.exe", L"0", L"bin\\server\\jvm.dll", kit::dll_headers(kit::other_machine),
         "'%H\\bin\\server\\jvm.dll' is no DLL for machine"},
        {"jvm-cfg-folder", L"kelvo.exe", L"0", L"lib\\jvm.cfg", "@folder", "cannot read '%H\\lib\\jvm.cfg'"},
        {"jvm-cfg-other-vm", L"kelvo.exe", L"0", L"lib\\jvm.cfg", "-client KNOWN\n", "cannot read '%H\\bin\\client\\jvm.dll'"},
        {"no-release", L"kelvo.exe", L"0", L"release", "@delete", "cannot read '%H\\release'"},
        {"release-garbage", L"kelvo.exe", L"0", L"release", "JAVA_VERSION=\"21.x\"", "'%H\\release' names no Java version"},
        {"java-17.0.4", L"kelvo.exe", L"0", L"release", "JAVA_VERSION=\"17.0.4\"",
         "Java 17.0.4 reads its arguments in the system's code page"},
        {"java-8", L"kelvo.exe", L"0", L"release", "JAVA_VERSION=\"1.8.0_392\"",
         "Java 1.8.0 reads its arguments in the system's code page"},
        {"runtime-beside-launcher", L"kelvo.exe", L"0", L"..\\..\\bin\\java.dll", "",
         "jli.dll would take the runtime of\n'%D\\bin\\java.dll'"},
    };
    for (const Case& c : cases) {
        Launcher l(kit::widen(std::string("e2e-inprocess-") + c.name).c_str(), c.program);
        Hosted hosted = host_launcher(l);
        std::wstring app = hosted.app;
        std::wstring home = hosted.home;
        std::string jli = kit::read_file_bytes(kit::bin_path(L"fake_jli.dll"));
        l.write(L"inprocess\njre\\bin\\javaw.exe -Dname=\x56FE\x7EB8 -cp lib\\app.jar com.example.Main \"\x56FE\x7EB8 \x03A9.emf\"");
        if (c.file != nullptr) {
            std::wstring path = home + L"\\" + c.file;
            wchar_t system[MAX_PATH];
            GetSystemDirectoryW(system, MAX_PATH);
            DeleteFileW(path.c_str());
            if (c.content == "@folder")
                kit::create_folders(path);
            else if (c.content == "@no-entry")
                kit::copy_file(std::wstring(system) + L"\\version.dll", path);
            else if (c.content != "@delete")
                kit::write_file_bytes(path, c.content == "@damaged" ? jli.substr(0, 1024) : c.content);
        }
        std::wstring jli_record = l.dir + L"\\jli-record";
        std::wstring output = l.dir + L"\\output.txt";
        std::wstring exit = c.exit[0] == L'!' ? c.exit + 1 : c.exit;
        for (auto [name, value] : {std::pair{L"KIT_JLI_RECORD", jli_record}, {L"VERBOSE_KELVO", L"1"},
                                   {kit::java_exit_variable, exit}, {kit::java_output_variable, L"written by Java"}})
            kit::set_variable(l.env, name, value);
        if (c.exit[0] == L'!')
            kit::set_variable(l.env, L"KIT_JLI_EXIT_PROCESS", L"1");

        kit::RunResult run = kit::run_program({l.exe, L"app.exe a \"b c\"", l.env, l.dir, 30000, output, output + L".err"});
        ASSERT_TRUE(run.finished) << c.name;
        EXPECT_TRUE(run.boxes.empty()) << c.name;
        std::string log = kit::read_file_bytes(app + L"\\app.kelvo_log");
        std::erase(log, '\r');
        Strings elements = {L"-Dname=\x56FE\x7EB8", L"-cp", app + L"\\lib\\app.jar", L"com.example.Main",
                            L"\x56FE\x7EB8 \x03A9.emf", L"a", L"b c"};
        if (!c.child_because.empty()) {
            std::string because = c.child_because;
            for (auto [mark, path] : {std::pair{"%H", home}, std::pair{"%D", l.dir}})
                if (size_t at = because.find(mark); at != std::string::npos)
                    because.replace(at, 2, kit::utf8(path));
            EXPECT_NE(log.find("Starting Java as a child process: " + because), std::string::npos) << c.name << "\n" << log;
            EXPECT_FALSE(kit::file_present(jli_record)) << c.name;
            EXPECT_EQ(run.exit_code, 0u) << c.name;
            Strings received = l.received().crt_args;
            EXPECT_EQ(Strings(received.begin() + 1, received.end()), elements) << c.name;
            continue;
        }
        EXPECT_EQ(run.exit_code, static_cast<DWORD>(std::stoi(exit))) << c.name;
        EXPECT_FALSE(l.java_started()) << c.name;
        EXPECT_NE(log.find("Running Java in the launcher's process through\n'" + kit::utf8(home) + "\\bin\\jli.dll'"),
                  std::string::npos) << c.name;
        EXPECT_EQ(kit::read_file_bytes(output), "written by Java\r\n") << c.name;
        std::vector<std::string> record = kit::record_fields(jli_record, '\0');
        std::vector<std::string> meant = {"65001", kit::utf8(l.exe), kit::utf8(home + L"\\bin"),
                                          c.program[5] == L'c' ? "0" : "1", kit::utf8(l.exe)};
        for (const std::wstring& element : elements)
            meant.push_back(kit::utf8(element));
        EXPECT_EQ(record, meant) << c.name << ": code page, program, DLL folder, javaw, then the arguments";
    }
}

// single:<class>.<method> after inprocess keeps one running instance: the first start serves it
// while Java runs in its process; a later start hands its arguments and working folder to the
// stand-in virtual machine's method, never loads a runtime itself (its jli.dll record stays
// absent) and ends with 0 when the method returned, 1 when not. The server drops bad messages
// and goes on serving.
TEST_F(LauncherEndToEnd, OneRunningInstanceTakesTheArgumentsOfLaterStarts)
{
    enum class Outcome { delivered, threw, no_class, no_method, refused };
    struct Step {
        std::wstring arguments;  // of a later start, or "@raw" (bytes sent by a client of its own),
                                 // "@silent" (a client that sends nothing while a start waits)
        Outcome outcome;
        Strings received = {};   // the arguments the method gets
        std::string bytes = {};  // of "@raw"
    };
    struct Case {
        const char* name;
        const wchar_t* program;
        const wchar_t* method;
        bool vm_later;           // the virtual machine is created only after the first step began
        std::vector<Step> steps;
    };
    auto message = [](uint32_t count, const std::wstring& texts) {
        std::string bytes("khv1", 4);
        bytes.append(reinterpret_cast<const char*>(&count), 4);
        return bytes.append(reinterpret_cast<const char*>(texts.data()), texts.size() * 2);
    };
    Strings many;
    std::wstring many_line;
    for (int i = 0; i < 300; ++i) {
        many.push_back(L"a" + std::to_wstring(i));
        many_line += L" " + many.back();
    }
    const std::wstring main_open = L"com.example.Main.open";
    const Case cases[] = {
        {"arguments", L"kelvo.exe", main_open.c_str(), false,
         {{L"\"\x56FE\x7EB8 \x03A9.emf\" \"\" \"say \\\"hi\\\"\" \xD83D\xDE00 --open", Outcome::delivered,
           {L"\x56FE\x7EB8 \x03A9.emf", L"", L"say \"hi\"", L"\xD83D\xDE00", L"--open"}},
          {L"first", Outcome::delivered, {L"first"}},
          {L"second", Outcome::delivered, {L"second"}},
          {L"third", Outcome::delivered, {L"third"}},
          {many_line.substr(1), Outcome::delivered, many},
          {L"", Outcome::delivered, {}}}},
        {"console", L"kelvoc.exe", main_open.c_str(), false, {{L"c.txt", Outcome::delivered, {L"c.txt"}}}},
        {"class-missing", L"kelvo.exe", L"com.example.Missing.open", false, {{L"a", Outcome::no_class}}},
        {"method-missing", L"kelvo.exe", L"com.example.Main.absent", false, {{L"a", Outcome::no_method}}},
        {"method-throws", L"kelvo.exe", main_open.c_str(), false,
         {{L"--throw", Outcome::threw, {L"--throw"}}, {L"next", Outcome::delivered, {L"next"}}}},
        {"before-the-vm", L"kelvo.exe", main_open.c_str(), true, {{L"early", Outcome::delivered, {L"early"}}}},
        {"bad-clients", L"kelvo.exe", main_open.c_str(), false,
         {{L"@raw", Outcome::refused, {}, "garbage!"},
          {L"@raw", Outcome::refused, {}, message(3, std::wstring(L"x\0y\0", 4))},
          {L"@raw", Outcome::refused, {}, message(1, L"unterminated")},
          {L"@raw", Outcome::refused, {}, message(1, std::wstring(L"x\0", 2)) + std::string(300 * 1024, 'x')},
          {L"@raw", Outcome::refused, {}, ""},
          {L"@silent", Outcome::delivered, {L"after"}}}},
    };
    const std::string signature = "([Ljava/lang/String;Ljava/lang/String;)V";
    std::wstring own_user;
    HANDLE token = nullptr;
    DWORD user[32], size = 0;
    wchar_t* text = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) {
        own_user = text;
        LocalFree(text);
    }
    CloseHandle(token);
    for (const Case& c : cases) {
        Launcher l(kit::widen(std::string("e2e-single-") + c.name).c_str(), c.program);
        Hosted hosted = host_launcher(l);
        l.write(std::wstring(L"inprocess\nsingle:") + c.method + L"\njre\\bin\\javaw.exe -cp lib\\app.jar com.example.Main");
        std::wstring docs = l.dir + L"\\docs \x56FE";
        kit::create_folders(docs);
        std::wstring hold = l.dir + L"\\hold", gate = l.dir + L"\\gate", jvm_record = l.dir + L"\\jvm-record";
        std::wstring first_record = l.dir + L"\\jli-first", later_record = l.dir + L"\\jli-later";
        for (auto [name, value] : {std::pair{L"KIT_JLI_RECORD", first_record}, {L"VERBOSE_KELVO", L"1"},
                                   {L"KIT_JVM_RECORD", jvm_record}, {L"KIT_JLI_HOLD", hold}})
            kit::set_variable(l.env, name, value);
        if (c.vm_later)
            kit::set_variable(l.env, L"KIT_JVM_GATE", gate);
        kit::RunResult first;
        std::thread first_start([&] { first = kit::run_program({l.exe, L"app.exe", l.env, l.dir, 90000}); });
        for (int waited = 0; !kit::file_present(first_record) && waited < 30000; waited += 20)
            Sleep(20);
        std::string log = kit::read_file_bytes(l.log);
        size_t named = log.find("Serving '");
        EXPECT_NE(named, std::string::npos) << c.name << "\n" << log;
        std::wstring pipe = named == std::string::npos ? L"" : kit::widen(log.substr(named + 9, log.find('\'', named + 9) - named - 9));
        kit::set_variable(l.env, L"KIT_JLI_RECORD", later_record);

        // A client of the test's own; Wine answers "busy" until the server waits for one.
        auto connect = [&pipe] {
            HANDLE client = INVALID_HANDLE_VALUE;
            for (int tries = 0; client == INVALID_HANDLE_VALUE && tries < 100; ++tries, Sleep(50))
                client = CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            return client;
        };
        std::vector<std::string> meant;
        for (const Step& step : c.steps) {
            HANDLE silent = INVALID_HANDLE_VALUE;
            if (step.arguments == L"@raw") {
                HANDLE client = connect();
                EXPECT_NE(client, INVALID_HANDLE_VALUE) << c.name;
                // The pipe as created, not only its descriptor as built: the user and the system alone.
                PSECURITY_DESCRIPTOR applied = nullptr;
                wchar_t* dacl = nullptr;
                EXPECT_EQ(GetSecurityInfo(client, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                          nullptr, nullptr, &applied), ERROR_SUCCESS);
                if (applied != nullptr && ConvertSecurityDescriptorToStringSecurityDescriptorW(
                                              applied, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &dacl, nullptr)) {
                    EXPECT_EQ(std::wstring(dacl), L"D:P(A;;FA;;;" + own_user + L")(A;;FA;;;SY)");
                    LocalFree(dacl);
                }
                LocalFree(applied);
                DWORD done = 0;
                char answer = 0;
                if (!step.bytes.empty())
                    WriteFile(client, step.bytes.data(), static_cast<DWORD>(step.bytes.size()), &done, nullptr);
                // Dropped: the server disconnects without an answer.
                EXPECT_FALSE(ReadFile(client, &answer, 1, &done, nullptr) && done == 1) << c.name;
                CloseHandle(client);
                continue;
            }
            if (step.arguments == L"@silent")
                silent = connect();
            std::wstring arguments = step.arguments == L"@silent" ? L"after" : step.arguments;
            kit::RunResult later;
            std::atomic<bool> ended = false;
            std::thread later_start([&] {
                later = kit::run_program({l.exe, L"app.exe" + (arguments.empty() ? L"" : L" " + arguments), l.env, docs});
                ended = true;
            });
            if (c.vm_later) {
                Sleep(1000);
                EXPECT_FALSE(ended) << c.name << ": the hand-over waits for the virtual machine";
                kit::write_file_bytes(gate, "");
            }
            later_start.join();
            if (silent != INVALID_HANDLE_VALUE)
                CloseHandle(silent);
            EXPECT_TRUE(later.finished && later.boxes.empty()) << c.name;
            EXPECT_EQ(later.exit_code, step.outcome == Outcome::delivered ? 0u : 1u) << c.name << " " << kit::utf8(arguments);
            const char* target = step.outcome == Outcome::no_class ? "com/example/Missing" : "com/example/Main";
            meant.insert(meant.end(), {"attach-daemon", std::string("find-class ") + target});
            if (step.outcome != Outcome::no_class)
                meant.push_back(std::string("method ") + (step.outcome == Outcome::no_method ? "absent " : "open ") +
                                signature);
            if (step.outcome == Outcome::delivered || step.outcome == Outcome::threw) {
                std::wstring call = L"call open\t" + docs;
                for (const std::wstring& argument : step.received)
                    call += L"\t" + argument;
                meant.insert(meant.end(), {"find-class java/lang/String", kit::utf8(call)});
            }
            if (step.outcome != Outcome::delivered)
                meant.push_back("describe");
            meant.push_back("detach 0");
        }
        kit::write_file_bytes(hold, "");
        first_start.join();
        EXPECT_TRUE(first.finished && first.boxes.empty()) << c.name;
        EXPECT_EQ(first.exit_code, 0u) << c.name;
        EXPECT_FALSE(kit::file_present(later_record)) << c.name << ": a later start loaded the runtime";
        EXPECT_EQ(kit::record_fields(jvm_record, '\n'), meant) << c.name;
    }
}

// Where no instance answers, a start serves its own: after the first ended, from another
// installation's path, and not at all where Java runs as a child process.
TEST_F(LauncherEndToEnd, StartsWithoutARunningInstanceRunTheirOwnJava)
{
    struct Case {
        const char* name;
        const char* release;  // of the runtime
        bool other_path;      // the second start is a copy of the launcher in another folder
        bool first_running;   // the second start comes while the first runs
        std::string served;   // what the second start's log says of the instance
    };
    const Case cases[] = {
        {"first-gone", "21.0.1", false, false, "Serving '\\\\.\\pipe\\kelvo-"},
        {"other-installation", "21.0.1", true, true, "Serving '\\\\.\\pipe\\kelvo-"},
        {"child-process", "17.0.4", false, true, "Starting Java as a child process"},
    };
    for (const Case& c : cases) {
        std::vector<Launcher> launchers;
        launchers.emplace_back(kit::widen(std::string("e2e-single-own-") + c.name).c_str());
        if (c.other_path)
            launchers.emplace_back(kit::widen(std::string("e2e-single-own-") + c.name + "-copy").c_str());
        for (Launcher& l : launchers) {
            Hosted hosted = host_launcher(l);
            kit::write_file_bytes(hosted.home + L"\\release", std::string("JAVA_VERSION=\"") + c.release + "\"\n");
            l.write(L"inprocess single:com.example.Main.open jre\\bin\\javaw.exe -cp lib\\app.jar com.example.Main");
            for (auto [name, value] : {std::pair{L"KIT_JLI_RECORD", l.dir + L"\\jli-record"}, {L"VERBOSE_KELVO", L"1"},
                                       {L"KIT_JVM_RECORD", l.dir + L"\\jvm-record"}, {L"KIT_JLI_HOLD", l.dir + L"\\hold"},
                                       {kit::java_sleep_variable, L"1500"}})
                kit::set_variable(l.env, name, value);
        }
        Launcher& first = launchers.front();
        Launcher& second = launchers.back();
        kit::RunResult first_run;
        std::thread first_start([&] { first_run = kit::run_program({first.exe, L"app.exe", first.env, first.dir, 60000}); });
        std::wstring started = c.release[0] == '1' ? first.record : first.dir + L"\\jli-record";
        for (int waited = 0; !kit::file_present(started) && waited < 30000; waited += 20)
            Sleep(20);
        std::string first_log = kit::read_file_bytes(first.log);
        if (!c.first_running) {
            kit::write_file_bytes(first.dir + L"\\hold", "");
            first_start.join();
        }
        // The second start's own marks: the stand-in java.exe's record and jli.dll's record.
        kit::set_variable(second.env, kit::java_record_variable, second.dir + L"\\record-second");
        kit::set_variable(second.env, L"KIT_JLI_RECORD", second.dir + L"\\jli-second");
        kit::write_file_bytes(second.dir + L"\\hold", "");
        kit::RunResult run = kit::run_program({second.exe, L"app.exe x", second.env, second.dir});
        EXPECT_TRUE(run.finished && run.boxes.empty() && run.exit_code == 0) << c.name;
        std::string log = kit::read_file_bytes(second.log);
        EXPECT_NE(log.find(c.served), std::string::npos) << c.name << "\n" << log;
        EXPECT_EQ(first_log.find("Serving") != std::string::npos, c.release[0] == '2') << c.name << "\n" << first_log;
        EXPECT_TRUE(kit::file_present(second.dir + (c.release[0] == '1' ? L"\\record-second" : L"\\jli-second"))) << c.name;
        if (c.first_running) {
            kit::write_file_bytes(first.dir + L"\\hold", "");
            first_start.join();
        }
        EXPECT_TRUE(first_run.finished && first_run.exit_code == 0) << c.name;
    }
}

}  // namespace
