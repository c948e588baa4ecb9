// The parameter file that kelvo-pack writes beside the launcher: commented, so that it can be
// changed by hand, and with every path relative to the launcher, so that the folder can move.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pack {

struct Launch {
    std::string name;         // the application's program, NAME.exe
    bool console = false;     // kelvoc.exe and java.exe instead of kelvo.exe and javaw.exe
    bool runtime = false;     // the runtime shipped in runtime\; else an installed Java
    std::string runtime_machine;  // that runtime's machine: "32-bit", "64-bit", "ARM64"
    std::string java_version;  // for an installed Java: a range in the launcher's form, or empty
    std::string single_instance;  // class.method of the one running instance, or empty
    std::vector<std::string> java_options;  // as given, $APPDIR and the others not yet replaced
    std::vector<std::string> class_path;    // relative to the launcher: app\lib\x.jar
    std::string main_class;
    std::vector<std::string> arguments;     // as given
};

// A token as the parameter file's tokenizer reads it back: in double quotes when it is empty,
// holds a blank, tab, line end or quote, or begins with "#"; inside, backslashes before a quote
// doubled and the quote escaped, as Windows splits a command line.
std::string quoted_token(std::string_view text);

// A Java option or argument with $APPDIR, $ROOTDIR and $BINDIR in the launcher's own form: a
// path relative to the launcher. The launcher expands %...% in options and arguments, so a
// literal % is doubled; a -Djava.library.path= list is a list of paths, which it takes
// relative to itself as they stand.
std::string launcher_relative(std::string_view text);

// The whole file, UTF-8 with Windows line ends.
std::string parameter_text(const Launch& launch);

}  // namespace pack
