#include "options.h"

#include "command_line.h"
#include "failure.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace pack {

const char usage[] =
    "usage: kelvo-pack --name NAME --input FOLDER --main-jar JAR [options]\n"
    "Writes the Windows application folder DEST/NAME: NAME.exe (the kelvo launcher with the\n"
    "application's icon and version), its parameter file NAME.kelvo, app\\ (every file of the\n"
    "input folder) and runtime\\ (the runtime image).\n"
    "  --name NAME              the application's name, that of its folder and program\n"
    "  --dest FOLDER            where its folder is written (default: the current folder)\n"
    "  --input FOLDER           copied to app\\; its jars form the class path, in name order\n"
    "  --main-jar JAR           the jar of the main class, relative to the input folder\n"
    "  --main-class CLASS       default: the main jar's Main-Class\n"
    "  --java-options OPTION    a Java option (repeatable)\n"
    "  --arguments ARGUMENT     an argument of the application (repeatable)\n"
    "                           $APPDIR stands for app\\, $ROOTDIR and $BINDIR for the folder\n"
    "  --runtime-image FOLDER   a Windows Java runtime, copied to runtime\\; its machine chooses\n"
    "                           the 32-bit or the x64 launcher. Without it: an installed Java\n"
    "  --java-version RANGE     which installed Java: 17+, 11-21, 17.0.5 (no runtime image)\n"
    "  --icon FILE.ico          the program's icon\n"
    "  --app-version A[.B[.C[.D]]]  default 1.0\n"
    "  --vendor TEXT  --copyright TEXT  --description TEXT\n"
    "  --win-console            a console program (kelvoc.exe) instead of a desktop one\n"
    "  --launcher-dir FOLDER    the kelvo distribution to take the launcher from (default: the\n"
    "                           one this program belongs to)\n";

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
    bool console_given = false;
    std::vector<std::string> given;
    struct Text {
        const char* name;
        std::string* value;
    };
    std::string java_version;
    std::string app_version = "1.0";
    const Text texts[] = {
        {"--name", &options.name},
        {"--dest", &options.dest},
        {"--input", &options.input},
        {"--main-jar", &options.main_jar},
        {"--main-class", &options.main_class},
        {"--runtime-image", &options.runtime_image},
        {"--java-version", &java_version},
        {"--icon", &options.icon},
        {"--app-version", &app_version},
        {"--launcher-dir", &options.launcher_dir},
    };
    struct Optional {
        const char* name;
        std::optional<std::string>* value;
    };
    const Optional optionals[] = {
        {"--vendor", &options.vendor},
        {"--copyright", &options.copyright},
        {"--description", &options.description},
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            options.help = true;
            return options;
        }
        if (option == "--win-console") {
            if (console_given)
                throw Failure("--win-console is given twice");
            options.console = console_given = true;
            continue;
        }
        // Every other option takes the next argument as it stands, also one that begins
        // with "-": --java-options -Xmx1g, --arguments --mode=full.
        std::vector<std::string>* list = option == "--java-options" ? &options.java_options
                                         : option == "--arguments"  ? &options.arguments
                                                                    : nullptr;
        std::string* text = nullptr;
        std::optional<std::string>* optional = nullptr;
        for (const Text& t : texts)
            if (option == t.name)
                text = t.value;
        for (const Optional& o : optionals)
            if (option == o.name)
                optional = o.value;
        if (list == nullptr && text == nullptr && optional == nullptr)
            throw Failure("unknown option " + option + " (kelvo-pack --help)");
        if (i + 1 == arguments.size())
            throw Failure(option + " needs a value");
        const std::string& value = arguments[++i];
        if (list != nullptr) {
            list->push_back(value);
            continue;
        }
        if (std::find(given.begin(), given.end(), option) != given.end())
            throw Failure(option + " is given twice");
        given.push_back(option);
        if (text != nullptr)
            *text = value;
        else
            *optional = value;
    }
    if (options.input.empty() || options.main_jar.empty() || options.name.empty())
        throw Failure("--name, --input and --main-jar are needed (kelvo-pack --help)");
    if (!windows_file_name(options.name))
        throw Failure("--name " + options.name + ": Windows allows no such file name");
    if (!java_version.empty()) {
        if (!options.runtime_image.empty())
            throw Failure("--java-version chooses an installed Java; a runtime image is given");
        options.java_version = java_version_range(java_version);
    }
    brand::Error error;
    if (!brand::parse_version("--app-version", app_version.c_str(), options.version, error))
        throw Failure(error.text);
    for (const std::string& option : options.java_options)
        if (option == "-cp" || option == "-classpath")
            throw Failure("--java-options " + option + ": the class path is made of the input folder's jars");
    return options;
}

}  // namespace pack
