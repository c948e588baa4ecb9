#include "options.h"

#include "command_line.h"
#include "failure.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <type_traits>
#include <variant>

namespace pack {

const char usage[] =
    "usage: kelvo-pack --name NAME --input FOLDER --main-jar JAR [options]\n"
    "Writes the Windows application folder DEST/NAME: NAME.exe (the kelvo launcher with the\n"
    "application's icon and version), its parameter file NAME.kelvo, app\\ (every file of the\n"
    "input folder) and runtime\\ (the runtime image); with --type msi also DEST/NAME-VERSION.msi,\n"
    "a Windows Installer package of that folder (made with wixl and msibuild of msitools).\n"
    "  --type app-image|msi     default app-image\n"
    "  --name NAME              the application's name, that of its folder and program\n"
    "  --dest FOLDER            where its folder is written (default: the current folder)\n"
    "  --input FOLDER           copied to app\\; its jars form the class path, in name order\n"
    "  --main-jar JAR           the jar of the main class, relative to the input folder\n"
    "  --main-class CLASS       default: the main jar's Main-Class\n"
    "  --java-options OPTION    a Java option (repeatable)\n"
    "  --arguments ARGUMENT     an argument of the application (repeatable)\n"
    "                           $APPDIR stands for app\\, $ROOTDIR and $BINDIR for the folder\n"
    "  --runtime-image FOLDER   a Windows Java runtime, copied to runtime\\; its machine chooses\n"
    "                           the 32-bit, x64 or ARM64 launcher. Without it: an installed Java\n"
    "  --java-version RANGE     which installed Java: 17+, 11-21, 17.0.5 (no runtime image)\n"
    "  --single-instance CLASS.METHOD  one running instance: a later start hands its arguments\n"
    "                           to that static method of the first one's Java\n"
    "  --icon FILE.ico          the program's icon\n"
    "  --app-version A[.B[.C[.D]]]  default 1.0\n"
    "  --vendor TEXT  --copyright TEXT  --description TEXT\n"
    "  --win-console            a console program (kelvoc.exe) instead of a desktop one\n"
    "  --launcher-dir FOLDER    the kelvo distribution to take the launcher from (default: the\n"
    "                           one this program belongs to)\n"
    "  --sign-pkcs12 FILE  --sign-password-file FILE  [--sign-timestamp URL]\n"
    "                           sign the program (and the package) with osslsigncode\n"
    "The installer (--type msi):\n"
    "  --win-menu  --win-menu-group FOLDER   a Start menu shortcut (in the vendor's folder)\n"
    "  --win-shortcut           a desktop shortcut\n"
    "  --win-per-user-install   for the user alone, under LocalAppData\\Programs\n"
    "  --install-dir FOLDER     below Program Files (default: NAME)\n"
    "  --win-upgrade-uuid UUID  default: derived from vendor and name\n"
    "  --file-associations FILE  extension=, mime-type=, description=, icon= (repeatable)\n"
    "  --about-url URL  --win-help-url URL  --win-update-url URL\n";

namespace {

bool device_name(std::string stem)
{
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL"})
        if (stem == device)
            return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
           stem[3] <= '9';
}

// One to three numbers joined by dots, padded to three: "17" is "17.0.0".
std::string full_version(std::string_view text, const std::string& range)
{
    std::string out;
    int numbers = 0;
    size_t at = 0;
    while (true) {
        size_t digits = 0;
        while (at + digits < text.size() && std::isdigit(static_cast<unsigned char>(text[at + digits])))
            ++digits;
        if (digits == 0 || digits > 9 || ++numbers > 3)
            throw Failure("--java-version " + range + ": give a version such as 17, 17.0.5, or a range 17+ or 11-21");
        out.append(text.substr(at, digits));
        at += digits;
        if (at == text.size())
            break;
        if (text[at++] != '.')
            throw Failure("--java-version " + range + ": give a version such as 17, 17.0.5, or a range 17+ or 11-21");
        out += '.';
    }
    for (; numbers < 3; ++numbers)
        out += ".0";
    return out;
}

std::array<long, 3> numbers_of(const std::string& version)
{
    std::array<long, 3> numbers{};
    size_t at = 0;
    for (long& number : numbers) {
        size_t used = 0;
        number = std::stol(version.substr(at), &used);
        at += used + 1;
    }
    return numbers;
}

bool is_uuid(const std::string& text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i == 8 || i == 13 || i == 18 || i == 23 ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

// CLASS.METHOD as the launcher's single: word takes it: a binary class name and a method name.
bool is_class_method(const std::string& text)
{
    size_t dot = text.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size())
        return false;
    return std::none_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' ' || c == '"' || c == '/'; });
}

// Windows Installer compares major.minor.build (at most 255.255.65535) and ignores a fourth
// number: a version it would misread is refused, not truncated.
void check_installer_version(const std::string& text, const brand::Options& version)
{
    if (version.version[0] > 255 || version.version[1] > 255)
        throw Failure("--app-version " + text + ": Windows Installer takes at most 255 for the first two numbers");
    if (version.version[3] != 0)
        throw Failure("--app-version " + text + ": Windows Installer compares three numbers; the fourth would be lost");
}

}  // namespace

bool windows_file_name(const std::string& text)
{
    if (text.empty() || text == "." || text == ".." || text.back() == '.' || text.back() == ' ')
        return false;
    for (unsigned char c : text)
        if (c < 32 || std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
    return !device_name(text.substr(0, text.find('.')));
}

std::string java_version_range(const std::string& text)
{
    if (!text.empty() && text.back() == '+')
        return full_version(std::string_view(text).substr(0, text.size() - 1), text) + "+";
    size_t dash = text.find('-');
    if (dash == std::string::npos)
        return full_version(text, text);
    std::string low = full_version(std::string_view(text).substr(0, dash), text);
    std::string high = full_version(std::string_view(text).substr(dash + 1), text);
    if (numbers_of(low) > numbers_of(high))
        throw Failure("--java-version " + text + ": the range's low end is above its high end");
    return low + "-" + high;
}

Options parse_options(const std::vector<std::string>& arguments)
{
    Options options;
    std::string type = "app-image";
    std::string java_version;
    std::string app_version = "1.0";
    using Target = std::variant<bool*, std::string*, fs::path*, std::optional<std::string>*, std::vector<std::string>*,
                                std::vector<fs::path>*>;
    struct Option {
        const char* name;
        Target target;
        bool installer = false;  // only for --type msi
    };
    InstallerOptions& installer = options.installer;
    const Option table[] = {
        {"--type", &type},
        {"--name", &options.name},
        {"--dest", &options.dest},
        {"--input", &options.input},
        {"--main-jar", &options.main_jar},
        {"--main-class", &options.main_class},
        {"--java-options", &options.java_options},
        {"--arguments", &options.arguments},
        {"--runtime-image", &options.runtime_image},
        {"--java-version", &java_version},
        {"--single-instance", &options.single_instance},
        {"--icon", &options.icon},
        {"--app-version", &app_version},
        {"--vendor", &options.vendor},
        {"--copyright", &options.copyright},
        {"--description", &options.description},
        {"--win-console", &options.console},
        {"--launcher-dir", &options.launcher_dir},
        {"--sign-pkcs12", &options.signing.pkcs12},
        {"--sign-password-file", &options.signing.password_file},
        {"--sign-timestamp", &options.signing.timestamp_url},
        {"--win-menu", &installer.menu, true},
        {"--win-menu-group", &installer.menu_group, true},
        {"--win-shortcut", &installer.desktop, true},
        {"--win-per-user-install", &installer.per_user, true},
        {"--install-dir", &installer.install_dir, true},
        {"--win-upgrade-uuid", &installer.upgrade_uuid, true},
        {"--file-associations", &installer.file_associations, true},
        {"--about-url", &installer.about_url, true},
        {"--win-help-url", &installer.help_url, true},
        {"--win-update-url", &installer.update_url, true},
    };
    std::vector<std::string> given;
    std::vector<std::string> installer_given;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            return options;
        }
        for (const char* dialog : {"--win-dir-chooser", "--win-shortcut-prompt", "--license-file"})
            if (name == dialog)
                throw Failure(name + " needs an installer dialog, and kelvo-pack's installers have none (wixl makes none)");
        const Option* option = std::find_if(std::begin(table), std::end(table), [&](const Option& o) { return name == o.name; });
        if (option == std::end(table))
            throw Failure("unknown option " + name + " (kelvo-pack --help)");
        bool repeatable = std::holds_alternative<std::vector<std::string>*>(option->target) ||
                          std::holds_alternative<std::vector<fs::path>*>(option->target);
        if (!repeatable && std::find(given.begin(), given.end(), name) != given.end())
            throw Failure(name + " is given twice");
        given.push_back(name);
        if (option->installer)
            installer_given.push_back(name);
        if (bool* const* flag = std::get_if<bool*>(&option->target)) {
            **flag = true;
            continue;
        }
        // Every other option takes the next argument as it stands, also one that begins
        // with "-": --java-options -Xmx1g, --arguments --mode=full.
        if (i + 1 == arguments.size())
            throw Failure(name + " needs a value");
        const std::string& value = arguments[++i];
        std::visit(
            [&](auto* target) {
                using T = std::remove_pointer_t<decltype(target)>;
                if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::optional<std::string>>)
                    *target = value;
                else if constexpr (std::is_same_v<T, fs::path>)
                    *target = path_of(value);
                else if constexpr (std::is_same_v<T, std::vector<std::string>>)
                    target->push_back(value);
                else if constexpr (std::is_same_v<T, std::vector<fs::path>>)
                    target->push_back(path_of(value));
            },
            option->target);
    }
    if (options.input.empty() || options.main_jar.empty() || options.name.empty())
        throw Failure("--name, --input and --main-jar are needed (kelvo-pack --help)");
    if (!windows_file_name(options.name))
        throw Failure("--name " + options.name + ": Windows allows no such file name");
    if (type == "msi")
        options.type = PackageType::msi;
    else if (type != "app-image")
        throw Failure("--type " + type + ": kelvo-pack writes app-image or msi");
    if (options.type != PackageType::msi && !installer_given.empty())
        throw Failure(installer_given[0] + " is for an installer: give --type msi");
    if (!java_version.empty()) {
        if (!options.runtime_image.empty())
            throw Failure("--java-version chooses an installed Java; a runtime image is given");
        options.java_version = java_version_range(java_version);
    }
    if (!options.single_instance.empty() && !is_class_method(options.single_instance))
        throw Failure("--single-instance " + options.single_instance + ": give a class and a static method, com.example.Main.open");
    brand::Error error;
    if (!brand::parse_version("--app-version", app_version.c_str(), options.version, error))
        throw Failure(error.text);
    if (options.type == PackageType::msi)
        check_installer_version(app_version, options.version);
    for (const std::string& option : options.java_options)
        if (option == "-cp" || option == "-classpath")
            throw Failure("--java-options " + option + ": the class path is made of the input folder's jars");
    if (!installer.upgrade_uuid.empty() && !is_uuid(installer.upgrade_uuid))
        throw Failure("--win-upgrade-uuid " + installer.upgrade_uuid + ": give a UUID, 01234567-89ab-cdef-0123-456789abcdef");
    const SigningOptions& signing = options.signing;
    if (signing.pkcs12.empty() && (!signing.password_file.empty() || !signing.timestamp_url.empty()))
        throw Failure("--sign-password-file and --sign-timestamp sign with --sign-pkcs12: give it");
    return options;
}

}  // namespace pack
