// kelvo-pack's command line, named as the JDK's packager names its options for an application
// image.
#pragma once

#include "command_line.h"

#include <optional>
#include <string>
#include <vector>

namespace pack {

extern const char usage[];

struct Options {
    bool help = false;
    std::string name;
    std::string dest = ".";
    std::string input;
    std::string main_jar;     // relative to input
    std::string main_class;   // empty: the main jar's Main-Class
    std::vector<std::string> java_options;
    std::vector<std::string> arguments;
    std::string runtime_image;  // empty: an installed Java
    std::string java_version;   // a range in the launcher's form, "17.0.0+"; empty: any
    std::string icon;
    brand::Options version;  // --app-version's numbers (default 1.0); no other field is set
    std::optional<std::string> vendor;
    std::optional<std::string> copyright;
    std::optional<std::string> description;
    bool console = false;
    std::string launcher_dir;  // empty: the distribution the tool belongs to
};

// Reads the arguments after the program name (UTF-8). Throws Failure for a bad command line.
Options parse_options(const std::vector<std::string>& arguments);

// Whether Windows allows text as a file name: no reserved character or device name, no
// trailing dot or blank.
bool windows_file_name(const std::string& text);

// A version range as the launcher's word takes it, from a shorter form: "17+" is
// "17.0.0+", "11-21.0.2" is "11.0.0-21.0.2", "17.0.5" alone is that version. Throws Failure.
std::string java_version_range(const std::string& text);

}  // namespace pack
