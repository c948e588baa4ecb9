#include "parameter_text.h"

namespace pack {
namespace {

constexpr std::string_view library_path_option = "-Djava.library.path=";

struct Directory {
    std::string_view token;
    std::string_view path;      // in a path list
    std::string_view variable;  // elsewhere: an environment variable, else the path
};

// Each variable may be set to put the folder elsewhere; unset, the launcher takes the path
// relative to its own folder.
constexpr Directory directories[] = {
    {"$APPDIR", "app", "%KELVO_APPDIR|@app%"},
    {"$ROOTDIR", ".", "%KELVO_ROOTDIR|@.%"},
    {"$BINDIR", ".", "%KELVO_ROOTDIR|@.%"},
};

void line(std::string& out, std::string_view text)
{
    out.append(text);
    out.append("\r\n");
}

void comment(std::string& out, std::string_view text)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        line(out, "# " + std::string(text.substr(start, end - start)));
        start = end + 1;
    }
}

}  // namespace

std::string quoted_token(std::string_view text)
{
    bool quote = text.empty() || text[0] == '#' || text.find_first_of(" \t\r\n\"") != std::string_view::npos;
    if (!quote)
        return std::string(text);
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled and the quote escaped; elsewhere they stand
        // as they are.
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    // And before the closing quote they are doubled, so that it still closes.
    out.append(2 * backslashes, '\\');
    out += '"';
    return out;
}

std::string launcher_relative(std::string_view text)
{
    bool path_list = text.starts_with(library_path_option);
    std::string out;
    size_t at = 0;
    if (path_list) {
        out = library_path_option;
        at = library_path_option.size();
    }
    while (at < text.size()) {
        bool replaced = false;
        for (const Directory& directory : directories) {
            if (text.substr(at).starts_with(directory.token)) {
                out.append(path_list ? directory.path : directory.variable);
                at += directory.token.size();
                replaced = true;
                break;
            }
        }
        if (replaced)
            continue;
        if (text[at] == '%' && !path_list)
            out += '%';
        out += text[at++];
    }
    return out;
}

std::string parameter_text(const Launch& launch)
{
    std::string out;
    std::string program = launch.name + ".exe";
    comment(out, launch.name + ".kelvo: how " + program + " starts its Java application. Written by kelvo-pack;\n"
                 "change it as you need. Tokens are separated by blanks and line ends; one that holds\n"
                 "blanks or quotes is in double quotes (\\\" for a quote inside); \"#\" starts a comment.\n"
                 "Relative paths are taken from this folder, so the folder may move as a whole.\n"
                 "In options and arguments %NAME% is an environment variable and %% a %;\n"
                 "%KELVO_APPDIR|@app% is the folder app beside this file (unless KELVO_APPDIR is set),\n"
                 "%KELVO_ROOTDIR|@.% this folder.");
    line(out, "");
    comment(out, "Java runs inside " + program + "'s own process, so that Windows shows the application,\n"
                 "not Java; a runtime that cannot run there starts as a child process.");
    line(out, "inprocess");
    if (!launch.single_instance.empty()) {
        comment(out, "One running instance: a later start hands its arguments to this static method of the\n"
                     "first start's Java (it takes String[] arguments, String workingDirectory).");
        line(out, "single:" + launch.single_instance);
    }
    line(out, "");
    std::string java = launch.console ? "java" : "javaw";
    if (launch.runtime) {
        comment(out, "The Java runtime shipped in runtime\\ (" + launch.runtime_machine + ", as " + program + " is).");
        line(out, "runtime\\bin\\" + java + ".exe");
    } else if (launch.java_version.empty()) {
        comment(out, "An installed Java runtime, of any version from 11 on: registered, then JAVA_HOME and PATH.");
        line(out, java);
    } else {
        comment(out, "An installed Java runtime within the version range in brackets.");
        line(out, java + "[" + launch.java_version + "]");
    }
    line(out, "");
    if (!launch.java_options.empty()) {
        comment(out, "Java options.");
        for (const std::string& option : launch.java_options)
            line(out, quoted_token(launcher_relative(option)));
        line(out, "");
    }
    comment(out, "The class path: the jars of app\\, separated by \";\".");
    std::string class_path;
    for (const std::string& entry : launch.class_path)
        class_path += (class_path.empty() ? "" : ";") + entry;
    line(out, "-cp " + quoted_token(class_path));
    line(out, "");
    comment(out, "The main class.");
    line(out, quoted_token(launch.main_class));
    if (!launch.arguments.empty()) {
        line(out, "");
        comment(out, "The application's arguments; those " + program + " is started with follow them.");
        for (const std::string& argument : launch.arguments)
            line(out, quoted_token(launcher_relative(argument)));
    }
    return out;
}

}  // namespace pack
