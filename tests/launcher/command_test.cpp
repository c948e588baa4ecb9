#include "command/command.h"

#include "command/quoting.h"

#include "kit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using kit::shell_split;

std::wstring text_of(WideBuffer* b)
{
    std::wstring text = b->data == nullptr ? L"" : std::wstring(b->data, static_cast<size_t>(b->length));
    wide_buffer_release(b);
    return text;
}

// A launcher folder with a few class-path entries: the folders lib and classes, lib\demo.jar
// and shared\util.jar (named by its absolute path), beside a Java executable whose folder
// holds a blank.
struct Fixture {
    std::wstring dir;
    std::wstring launcher;
    std::wstring java;

    explicit Fixture(const wchar_t* name)
        : dir(kit::scratch_dir(name)), launcher(dir + L"\\app.exe"), java(dir + L"\\Program Files\\javaw.exe")
    {
        kit::create_folders(dir + L"\\lib");
        kit::create_folders(dir + L"\\classes");
        kit::create_folders(dir + L"\\shared");
        kit::create_folders(dir + L"\\Program Files");
        kit::write_file_bytes(dir + L"\\lib\\demo.jar", "jar");
        kit::write_file_bytes(dir + L"\\shared\\util.jar", "jar");
        kit::write_file_bytes(java, "");
    }

    std::wstring path_list(const std::wstring& list) const
    {
        WideBuffer b;
        wide_buffer_init(&b);
        append_path_list(&b, list.c_str(), launcher.c_str());
        return text_of(&b);
    }

    std::wstring expanded(const std::wstring& text) const
    {
        WideBuffer b;
        wide_buffer_init(&b);
        append_expanded_argument(&b, text.c_str(), launcher.c_str());
        return text_of(&b);
    }

    struct Built {
        std::wstring command;
        bool wait;
    };

    // Builds from a parameter text whose "JAVA" stands for the Java executable's path.
    Built build(std::wstring text, const std::vector<std::wstring>& own_arguments = {}) const
    {
        for (size_t at; (at = text.find(L"JAVA")) != std::wstring::npos;)
            text.replace(at, 4, L"\"" + java + L"\"");
        TokenList parameters = tokenize_text(text.c_str());
        std::vector<wchar_t*> argument_pointers = {const_cast<wchar_t*>(launcher.c_str())};
        std::vector<std::wstring> own = own_arguments;
        for (std::wstring& argument : own)
            argument_pointers.push_back(argument.data());
        argument_pointers.push_back(nullptr);
        TokenList arguments = {static_cast<int>(own.size() + 1), argument_pointers.data()};
        JavaCommand command{};
        build_java_command(L"C:\\app.kelvo", &parameters, &arguments, L"app.exe", &command);
        free(parameters.tokens);
        Built built{command.text, command.mode != StartMode::start};
        free(command.text);
        return built;
    }
};

void set_variable(const wchar_t* name, const wchar_t* value)
{
    // The C runtime's copy of the environment is what the expansion reads.
    ASSERT_EQ(_wputenv_s(name, value), 0);
}

TEST(ExpectedText, OneTextPerState)
{
    EXPECT_STREQ(expected_text(GrammarState::EXPECT_START_OR_JAVA), L"start or java or javaw");
    EXPECT_STREQ(expected_text(GrammarState::EXPECT_JAVA), L"java or javaw");
    EXPECT_STREQ(expected_text(GrammarState::EXPECT_SINGLE_OR_JAVA), L"single:<class>.<method> or java or javaw");
    EXPECT_STREQ(expected_text(GrammarState::EXPECT_OPTION_OR_CP), L"-cp or -classpath or a Java option");
    EXPECT_STREQ(expected_text(GrammarState::EXPECT_CLASSPATH), L"-cp or -classpath");
    EXPECT_STREQ(expected_text(GrammarState::EXPECT_CLASS_NAME), L"a Java class name");
    EXPECT_STREQ(expected_text(GrammarState::EXPECT_ARGUMENT), L"an argument");
}

TEST(AppendPathList, ExistingEntriesOnlyResolvedAgainstTheLauncher)
{
    Fixture f(L"command-path-list");
    set_variable(L"KELVO_CP_VAR", L"lib");
    const std::wstring& d = f.dir;
    struct Case {
        std::wstring list;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"lib\\demo.jar;lib\\missing.jar;" + d + L"\\shared\\util.jar",
         L"\"" + d + L"\\lib\\demo.jar;" + d + L"\\shared\\util.jar\""},
        {L"", L"\"\""},
        {L";;lib\\demo.jar;", L"\"" + d + L"\\lib\\demo.jar\""},
        {L"missing;" + d + L"\\missing.jar", L"\"\""},
        {L"missing;lib", L"\"" + d + L"\\lib\""},           // no separator before the first kept entry
        {L".", L"\"" + d + L"\\.\""},
        {L"lib\\*", L"\"\""},
        {L"%KELVO_CP_VAR%", L"\"\""},                        // never expanded
        {L" lib", L"\"\""},                                   // never trimmed
        {L"classes\\;lib", L"\"" + d + L"\\classes\\;" + d + L"\\lib\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(f.path_list(c.list), c.expected) << kit::utf8(c.list);
}

// A folder written with its backslash as the last kept entry: the run is doubled so that the
// closing quote still closes, and the Java runtime reads the folder with one backslash.
TEST(AppendPathList, TrailingBackslashRunKeepsTheListClosed)
{
    Fixture f(L"command-path-backslash");
    const std::wstring& d = f.dir;
    struct Case {
        std::wstring list;
        std::wstring expected;
        std::wstring read_back;
    };
    const Case cases[] = {
        {L"classes\\", L"\"" + d + L"\\classes\\\\\"", d + L"\\classes\\"},
        {L"lib;classes\\;missing\\", L"\"" + d + L"\\lib;" + d + L"\\classes\\\\\"", d + L"\\lib;" + d + L"\\classes\\"},
        {d + L"\\lib\\", L"\"" + d + L"\\lib\\\\\"", d + L"\\lib\\"},
    };
    for (const Case& c : cases) {
        std::wstring list = f.path_list(c.list);
        EXPECT_EQ(list, c.expected) << kit::utf8(c.list);
        EXPECT_EQ(shell_split(L"java -cp " + list + L" Main"),
                  (std::vector<std::wstring>{L"java", L"-cp", c.read_back, L"Main"}));
    }
}

TEST(AppendExistingPath, SeparatorUnlessFirst)
{
    Fixture f(L"command-existing");
    WideBuffer b;
    wide_buffer_init(&b);
    EXPECT_TRUE(append_existing_path(&b, L"lib", true, f.launcher.c_str()));
    EXPECT_FALSE(append_existing_path(&b, L"nothing", false, f.launcher.c_str()));
    std::wstring util = f.dir + L"\\shared\\util.jar";
    EXPECT_TRUE(append_existing_path(&b, util.c_str(), false, f.launcher.c_str()));
    EXPECT_EQ(text_of(&b), f.dir + L"\\lib;" + util);
}

TEST(AppendExpandedArgument, References)
{
    Fixture f(L"command-expand");
    set_variable(L"KELVO_TA", L"alpha");
    set_variable(L"KELVO_TB", L"beta");
    set_variable(L"KELVO_TSP", L"C:\\Program Files\\Demo");
    set_variable(L"KELVO_TREF", L"%KELVO_TA%");
    set_variable(L"KELVO_TQ", L"say \"hi\"");
    set_variable(L"KELVO_UNSET", L"");  // removes it
    struct Case {
        const wchar_t* text;
        std::wstring appended;
    };
    const Case cases[] = {
        {L"plain", L"plain"},
        {L"100%", L"100%"},
        {L"a%%b", L"a%b"},
        {L"%%%", L"%%"},
        {L"p%KELVO_TA%q%", L"palphaq%"},
        {L"%KELVO_TA%%KELVO_TB%", L"alphabeta"},
        {L"%kelvo_ta%", L"alpha"},                       // names match without regard to case
        {L"%KELVO_TREF%", L"%KELVO_TA%"},                // values are not scanned again
        {L"x%KELVO_UNSET%y", L"xy"},
        {L"%KELVO_UNSET%", L"\"\""},
        {L"-Dx=%KELVO_UNSET|=def%", L"-Dx=def"},
        {L"%KELVO_UNSET|=%", L"\"\""},
        {L"%KELVO_UNSET|=a b%", L"\"a b\""},
        {L"%KELVO_UNSET|@lib%", f.dir + L"\\lib"},
        {L"%KELVO_UNSET|@C:\\abs%", L"C:\\abs"},
        {L"%KELVO_TA|@lib%", L"alpha"},
        {L"%KELVO_UNSET|@y|=z%", L"z"},                  // "|=" is found first
        {L"-Dhome=%KELVO_TSP%", L"\"-Dhome=C:\\Program Files\\Demo\""},
        {L"%KELVO_TQ%", L"\"say \\\"hi\\\"\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(f.expanded(c.text), c.appended) << kit::utf8(c.text);
}

TEST(BuildJavaCommand, WorkedExample)
{
    Fixture f(L"command-example");
    set_variable(L"DEMO_HOME", L"");
    const std::wstring& d = f.dir;
    const wchar_t* text = L"# Demo viewer\r\n"
                          L"JAVA\r\n"
                          L"-Xmx512m\r\n"
                          L"-Djava.library.path=lib;native\r\n"
                          L"-Ddemo.home=%DEMO_HOME|@.%\r\n"
                          L"-cp lib\\demo.jar;lib\\missing.jar;SHARED\\util.jar\r\n"
                          L"demo.Main\r\n"
                          L"-title \"Demo Viewer\"\r\n";
    std::wstring parameters = text;
    parameters.replace(parameters.find(L"SHARED"), 6, d + L"\\shared");
    Fixture::Built built = f.build(parameters, {L"report.txt", L"My File.txt"});
    EXPECT_EQ(built.command, L"\"" + f.java + L"\" -Xmx512m -Djava.library.path=\"" + d + L"\\lib\" -Ddemo.home=" + d +
                                 L"\\. -cp \"" + d + L"\\lib\\demo.jar;" + d + L"\\shared\\util.jar\" demo.Main -title" +
                                 L" \"Demo Viewer\" report.txt \"My File.txt\"");
    EXPECT_TRUE(built.wait);

    Fixture::Built started = f.build(L"start " + parameters, {L"report.txt", L"My File.txt"});
    EXPECT_EQ(started.command, built.command);
    EXPECT_FALSE(started.wait);
}

// What the Java runtime reads back from the command, element by element.
TEST(BuildJavaCommand, RuntimeReadsTheMeantElements)
{
    Fixture f(L"command-elements");
    set_variable(L"KELVO_TSP", L"C:\\Program Files\\Demo");
    const std::wstring& d = f.dir;
    struct Case {
        std::wstring text;
        std::vector<std::wstring> own;
        std::vector<std::wstring> elements;  // after the Java executable
    };
    const Case cases[] = {
        {L"JAVA -cp lib Main", {}, {L"-cp", d + L"\\lib", L"Main"}},
        {L"JAVA -classpath lib Main", {}, {L"-cp", d + L"\\lib", L"Main"}},
        {L"JAVA -jar app.jar -cp=lib -cp lib Main", {}, {L"-jar", L"app.jar", L"-cp=lib", L"-cp", d + L"\\lib", L"Main"}},
        {L"JAVA -cp nothing Main", {}, {L"-cp", L"", L"Main"}},
        {L"JAVA -Djava.library.path= -cp classes\\ Main x", {},
         {L"-Djava.library.path=", L"-cp", d + L"\\classes\\", L"Main", L"x"}},
        {L"JAVA -cp lib Main -Djava.library.path=lib;none;classes\\ y", {},
         {L"-cp", d + L"\\lib", L"Main", L"-Djava.library.path=" + d + L"\\lib;" + d + L"\\classes\\", L"y"}},
        {L"JAVA \"-Dhome=%KELVO_TSP%\" -cp lib \"My Main\" %KELVO_TSP%\\ \"\"", {},
         {L"-Dhome=C:\\Program Files\\Demo", L"-cp", d + L"\\lib", L"My Main", L"C:\\Program Files\\Demo\\", L""}},
        {L"JAVA -cp lib Main a", {L"", L"C:\\My Dir\\", L"a\\", L"a\\b", L"%KELVO_TSP%", L"say \"hi\"", L"a\tb"},
         {L"-cp", d + L"\\lib", L"Main", L"a", L"", L"C:\\My Dir\\", L"a\\", L"a\\b", L"%KELVO_TSP%", L"say \"hi\"",
          L"a\tb"}},
    };
    for (const Case& c : cases) {
        Fixture::Built built = f.build(c.text, c.own);
        std::vector<std::wstring> expected = {f.java};
        expected.insert(expected.end(), c.elements.begin(), c.elements.end());
        EXPECT_EQ(shell_split(built.command), expected) << kit::utf8(built.command);
    }
}

// Random options and arguments, quoted in the parameter file as a user would, reach the
// Java runtime unchanged.
TEST(BuildJavaCommand, RandomElementsSurviveTheWholeWay)
{
    Fixture f(L"command-random");
    const std::vector<std::wstring> pieces = {L"a",  L"Z",    L" ",    L"\t",         L"\"",     L"\\", L"\\\\",
                                              L"\r\n", L"\xE9", L"\x4E2D", L"\xD83D\xDE00", L";",  L"#",  L"\\\"",
                                              L"x y", L"C:\\d\\", L"-D"};
    std::mt19937 random(11);
    std::uniform_int_distribution<size_t> length(0, 6);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    auto element = [&] {
        std::wstring e;
        for (size_t n = length(random); n > 0; --n)
            e += pieces[pick(random)];
        return e;
    };
    for (int line = 0; line < 200; ++line) {
        std::vector<std::wstring> options;
        std::vector<std::wstring> arguments;
        std::vector<std::wstring> own;
        for (int i = 0; i < 3; ++i) {
            options.push_back(L"-X" + element());
            arguments.push_back(element());
            own.push_back(element());
        }
        WideBuffer file;
        wide_buffer_init(&file);
        wide_buffer_append(&file, 4, L"JAVA");
        // Quoted always, so that line ends and a leading "#" stay inside the element.
        auto put = [&](const std::wstring& e) {
            wide_buffer_append(&file, 2, L"\n\"");
            for (size_t i = 0; i < e.size(); ++i) {
                size_t run = 0;
                while (i + run < e.size() && e[i + run] == L'\\')
                    ++run;
                if (run > 0) {
                    bool before_quote = i + run == e.size() || e[i + run] == L'"';
                    for (size_t k = 0; k < (before_quote ? 2 * run : run); ++k)
                        wide_buffer_append_char(&file, L'\\');
                    i += run - 1;
                } else if (e[i] == L'"') {
                    wide_buffer_append(&file, 2, L"\\\"");
                } else {
                    wide_buffer_append_char(&file, e[i]);
                }
            }
            wide_buffer_append_char(&file, L'"');
        };
        for (const std::wstring& o : options)
            put(o);
        put(L"-cp");
        put(L"lib;classes\\");
        put(L"Main");
        for (const std::wstring& a : arguments)
            put(a);
        std::wstring text = text_of(&file);

        std::vector<std::wstring> expected = {f.java};
        expected.insert(expected.end(), options.begin(), options.end());
        expected.insert(expected.end(), {L"-cp", f.dir + L"\\lib;" + f.dir + L"\\classes\\", L"Main"});
        expected.insert(expected.end(), arguments.begin(), arguments.end());
        expected.insert(expected.end(), own.begin(), own.end());
        Fixture::Built built = f.build(text, own);
        ASSERT_EQ(shell_split(built.command), expected) << kit::utf8(text);
    }
}

// Syntax errors and the other fatal paths, through the probe that builds like the launcher.
TEST(BuildJavaCommand, SyntaxErrorsAreFatal)
{
    std::wstring dir = kit::scratch_dir(L"command-syntax");
    std::wstring java = dir + L"\\java.exe";
    kit::write_file_bytes(java, "");
    kit::create_folders(dir + L"\\lib");
    std::wstring file = dir + L"\\app.kelvo";
    std::wstring probe = dir + L"\\app.exe";  // relative paths are resolved beside it
    kit::copy_file(kit::bin_path(L"parameter_probe.exe"), probe);
    struct Case {
        std::string parameters;
        std::wstring expected;  // empty: accepted
    };
    std::string j = "\"";
    j += kit::utf8(java);
    j += "\"";
    const Case cases[] = {
        {"# only a comment\n", L"start or java or javaw"},
        {"start", L"java or javaw"},
        {"start start " + j + " -cp lib Main", L"java or javaw"},
        {"Java -cp lib Main", L"start or java or javaw"},
        {"JAVAW -cp lib Main", L"start or java or javaw"},
        {j, L"-cp or -classpath or a Java option"},
        {j + " -jar app.jar", L"-cp or -classpath or a Java option"},
        {j + " -cp", L"-cp or -classpath"},
        {j + " -cp lib", L"a Java class name"},
        {j + " -cp lib Main", L""},
        {"start " + j + " -cp lib Main", L""},
        // single:<class>.<method>, only right after inprocess: a binary name with dots (nested
        // classes with $), a dot, an identifier.
        {"inprocess " + j + " -cp lib Main", L""},
        {"inprocess single:com.example.Main.open " + j + " -cp lib Main", L""},
        {"inprocess single:a.Viewer$Inner._open2 " + j + " -cp lib Main", L""},
        {"inprocess single:\xC3\xA9t\xC3\xA9.ouvrir " + j + " -cp lib Main", L""},
        {"inprocess Main", L"single:<class>.<method> or java or javaw"},
        {"inprocess single:open " + j + " -cp lib Main", L"single:<class>.<method> or java or javaw"},
        {"inprocess single:a..open " + j + " -cp lib Main", L"single:<class>.<method> or java or javaw"},
        {"inprocess single:.a.open " + j + " -cp lib Main", L"single:<class>.<method> or java or javaw"},
        {"inprocess single:a.open. " + j + " -cp lib Main", L"single:<class>.<method> or java or javaw"},
        {"inprocess single:1a.open " + j + " -cp lib Main", L"single:<class>.<method> or java or javaw"},
        {"inprocess single:a.open-x " + j + " -cp lib Main", L"single:<class>.<method> or java or javaw"},
        {"inprocess single: " + j + " -cp lib Main", L"single:<class>.<method> or java or javaw"},
        {"inprocess single:a.b single:a.b " + j + " -cp lib Main", L"java or javaw"},
        {"start single:a.b " + j + " -cp lib Main", L"java or javaw"},
        {"single:a.b " + j + " -cp lib Main", L"start or java or javaw"},
    };
    for (const Case& c : cases) {
        kit::write_file_bytes(file, c.parameters);
        kit::RunResult run = kit::run_program(
            {probe, L"probe build \"" + file + L"\" own", std::nullopt, dir, 30000});
        ASSERT_TRUE(run.finished);
        if (c.expected.empty()) {
            EXPECT_TRUE(run.boxes.empty()) << c.parameters;
            EXPECT_EQ(run.exit_code, c.parameters.rfind("start", 0) == 0 ? 0u : 1u) << c.parameters;
            std::string command = kit::read_file_bytes(file + L".command");
            std::wstring wide(reinterpret_cast<const wchar_t*>(command.data()), command.size() / 2);
            EXPECT_EQ(shell_split(wide), (std::vector<std::wstring>{java, L"-cp", dir + L"\\lib", L"Main", L"own"}));
            continue;
        }
        EXPECT_EQ(run.exit_code, 2u) << c.parameters;
        ASSERT_EQ(run.boxes.size(), 1u) << c.parameters;
        EXPECT_EQ(run.boxes[0], L"Syntax error in parameter file\n'" + file + L"':\nexpected " + c.expected);
    }
}

// With tracing on, the log beside the launcher shows the loading, every parameter, every
// launcher argument and the built command.
TEST(BuildJavaCommand, TracesEachStep)
{
    std::wstring dir = kit::scratch_dir(L"command-trace");
    std::wstring java = dir + L"\\java.exe";
    kit::write_file_bytes(java, "");
    std::wstring probe = dir + L"\\app.exe";
    kit::copy_file(kit::bin_path(L"parameter_probe.exe"), probe);
    std::wstring file = dir + L"\\app.kelvo";
    kit::write_file_bytes(file, kit::utf8(L"\"" + java + L"\" -cp none Main"));
    auto env = kit::current_environment();
    kit::set_variable(env, L"VERBOSE_KELVO", L"1");
    std::wstring command_line = L"probe build \"" + file + L"\" own";
    kit::RunResult run = kit::run_program({probe, command_line, env, dir, 30000});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 1u);
    std::string log = kit::read_file_bytes(dir + L"\\app.kelvo_log");
    for (size_t at; (at = log.find("\r\n")) != std::string::npos;)
        log.erase(at, 1);
    std::string f = kit::utf8(file);
    std::string j = kit::utf8(java);
    std::string expected = "Tandrel kelvo version 2.2.0\n"
                           "Loading parameter file\n'" + f + "'\n\n"
                           "Parameter file\n'" + f + "'\nloaded\n\n"
                           "Building command using parameter file\n'" + f + "'\nand command line\n'" +
                           kit::utf8(command_line) + "'\n\n"
                           "Processing parameter\n'" + j + "'\nand appending it to command\n\n"
                           "Processing parameter\n'-cp'\nand appending it to command\n\n"
                           "Processing parameter\n'none'\nand appending it to command\n\n"
                           "Processing parameter\n'Main'\nand appending it to command\n\n"
                           "Appending argument\n'own'\nto command\n\n"
                           "Built command is\n'" + j + " -cp \"\" Main own'\n\n";
    EXPECT_EQ(log, expected);
}

// Paths in the error box are cut at 1000 characters.
TEST(BuildJavaCommand, SyntaxErrorCutsALongPath)
{
    std::wstring dir = kit::scratch_dir(L"command-long");
    for (int i = 0; i < 6; ++i)
        dir += L"\\" + std::wstring(200, static_cast<wchar_t>(L'a' + i));
    kit::create_folders(dir);
    std::wstring file = dir + L"\\app.kelvo";
    kit::write_file_bytes(file, "# nothing but a comment");
    kit::RunResult run = kit::run_program(
        {kit::bin_path(L"parameter_probe.exe"), L"probe build \"" + file + L"\"", std::nullopt, L"", 30000});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 2u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0],
              L"Syntax error in parameter file\n'" + file.substr(0, 1000) + L"':\nexpected start or java or javaw");
}

}  // namespace
