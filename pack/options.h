// kelvo-pack's command line, named as the JDK's packager names its options for an application
// image and a Windows installer. Paths become paths here, once.
#pragma once

#include "command_line.h"
#include "folder.h"

#include <optional>
#include <string>
#include <vector>

namespace pack {

extern const char usage[];

enum class PackageType { app_image, msi };

// What only an installer uses.
struct InstallerOptions {
    bool menu = false;         // a shortcut in the Start menu
    std::string menu_group;    // its folder there; empty: the vendor's name, else none
    bool desktop = false;      // a shortcut on the desktop
    bool per_user = false;     // under the user's LocalAppData\Programs, registry under HKCU
    std::string install_dir;   // below Program Files, "\" or "/" between folders; empty: the name
    std::string upgrade_uuid;  // empty: derived from vendor and name
    std::vector<fs::path> file_associations;
    std::string about_url, help_url, update_url;
};

// Signing with osslsigncode; no pkcs12: no signing.
struct SigningOptions {
    fs::path pkcs12;
    fs::path password_file;
    std::string timestamp_url;
};

struct Options {
    bool help = false;
    PackageType type = PackageType::app_image;
    std::string name;
    fs::path dest = ".";
    fs::path input;
    fs::path main_jar;       // relative to input
    std::string main_class;  // empty: the main jar's Main-Class
    std::vector<std::string> java_options;
    std::vector<std::string> arguments;
    fs::path runtime_image;    // empty: an installed Java
    std::string java_version;  // a range in the launcher's form, "17.0.0+"; empty: any
    std::string single_instance;  // class.method that takes a later start's arguments; empty: none
    fs::path icon;
    brand::Options version;  // --app-version's numbers (default 1.0); no other field is set
    std::optional<std::string> vendor;
    std::optional<std::string> copyright;
    std::optional<std::string> description;
    bool console = false;
    fs::path launcher_dir;  // empty: the distribution the tool belongs to
    InstallerOptions installer;
    SigningOptions signing;
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
