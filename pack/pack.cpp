#include "pack.h"

#include "failure.h"
#include "folder.h"
#include "installer/installer.h"
#include "jar_manifest.h"
#include "options.h"
#include "parameter_text.h"
#include "runtime_bits.h"
#include "signing.h"
#include "tool.h"

#include <cstdlib>
#include <new>
#include <optional>
#include <set>

namespace pack {
namespace {

struct Runtime {
    bool given = false;
    Machine machine = Machine::x86;  // without a runtime: the 32-bit launcher
};

Runtime inspect_runtime(const Options& options)
{
    if (options.runtime_image.empty())
        return {};
    const fs::path& image = options.runtime_image;
    std::string given = "--runtime-image " + text_of(image);
    if (!fs::is_directory(image / "bin"))
        throw Failure(given + ": no Java runtime image (it has no bin folder)");
    std::string library = jvm_library(read_bytes(image / "lib" / "jvm.cfg", 64 * 1024));
    std::optional<std::string> head = read_bytes(image / path_of(library), 64 * 1024);
    if (!head)
        throw Failure(given + ": cannot read " + library);
    try {
        return {true, library_machine(*head)};
    } catch (const Failure& failure) {
        throw Failure(given + ": " + failure.what());
    }
}

std::string main_class(const Options& options)
{
    if (!options.main_class.empty())
        return options.main_class;
    std::string given = "--main-jar " + text_of(options.main_jar);
    std::optional<std::string> jar = read_bytes(options.input / options.main_jar);
    if (!jar)
        throw Failure(given + ": cannot read it");
    std::optional<std::string> manifest;
    try {
        manifest = jar_manifest(*jar);
    } catch (const Failure& failure) {
        throw Failure(given + ": " + failure.what());
    }
    std::optional<std::string> name = manifest ? manifest_main_class(*manifest) : std::nullopt;
    if (!name)
        throw Failure(given + ": its manifest names no Main-Class; give --main-class");
    return *name;
}

// The launcher of the kelvo distribution: beside this program in the unpacked archive, or one
// folder up from linux/.
fs::path launcher_file(const Options& options, const Runtime& runtime)
{
    fs::path folder = options.launcher_dir;
    if (folder.empty()) {
        folder = own_folder();
        if (!fs::exists(folder / "kelvo.exe"))
            folder = folder.parent_path();
    }
    fs::path launcher = folder / launcher_folder(runtime.machine) / (options.console ? "kelvoc.exe" : "kelvo.exe");
    if (!fs::is_regular_file(launcher))
        throw Failure(text_of(launcher) + ": no such launcher; give the kelvo distribution's folder with --launcher-dir");
    return launcher;
}

std::string lower_case(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

bool is_jar(const std::string& file)
{
    return file.size() >= 4 && lower_case(file.substr(file.size() - 4)) == ".jar";
}

// The files of the input folder, checked: names that Windows allows, the main jar among them,
// and the class path's entries.
std::vector<std::string> input_files(const Options& options, std::vector<std::string>& class_path)
{
    std::string given = "--input " + text_of(options.input);
    if (!fs::is_directory(options.input))
        throw Failure(given + ": no such folder");
    std::vector<std::string> files = files_below(options.input);
    std::set<std::string> names;
    bool main_found = false;
    for (const std::string& file : files) {
        for (const fs::path& part : path_of(file))
            if (!windows_file_name(text_of(part)))
                throw Failure(given + ": Windows allows no file named " + file);
        // Windows file names are the same in either case: one of the two would be lost.
        if (!names.insert(lower_case(file)).second)
            throw Failure(given + ": " + file + " and another file differ in case alone");
        main_found = main_found || path_of(file) == options.main_jar.lexically_normal();
        if (!is_jar(file))
            continue;
        if (file.find(';') != std::string::npos)
            throw Failure(given + ": " + file + ": a \";\" would split the class path");
        std::string entry = "app\\" + file;
        for (char& c : entry)
            c = c == '/' ? '\\' : c;
        class_path.push_back(entry);
    }
    if (!main_found)
        throw Failure("--main-jar " + text_of(options.main_jar) + ": no such file in the input folder");
    return files;
}

void brand_copy(const Options& options, const fs::path& launcher, const fs::path& output)
{
    std::string input_text = text_of(launcher);
    std::string output_text = text_of(output);
    std::string icon = text_of(options.icon);
    brand::Options branding = options.version;
    branding.input = input_text.c_str();
    branding.output = output_text.c_str();
    branding.icon = icon.empty() ? nullptr : icon.c_str();
    // The launcher's own texts name kelvo; an application states its own or none.
    branding.product = options.name.c_str();
    branding.description = options.description ? options.description->c_str() : options.name.c_str();
    branding.company = options.vendor ? options.vendor->c_str() : "";
    branding.copyright = options.copyright ? options.copyright->c_str() : "";
    brand::Error error;
    const char* failed_file = nullptr;
    if (!brand::brand_launcher(branding, failed_file, error)) {
        if (failed_file == nullptr)
            throw Failure(error.text);
        std::string file = failed_file == branding.icon ? "--icon " + icon : failed_file;
        throw Failure(file + ": " + error.text);
    }
}

// SOURCE_DATE_EPOCH, when set: the time every file and folder written gets.
std::optional<long long> source_date_epoch()
{
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr || *epoch == '\0')
        return std::nullopt;
    char* end = nullptr;
    long long seconds = std::strtoll(epoch, &end, 10);
    if (*end != '\0' || seconds < 0)
        throw Failure(std::string("SOURCE_DATE_EPOCH=") + epoch + ": no number of seconds");
    return seconds;
}

void pack_folder(const Options& options)
{
    std::optional<long long> epoch = source_date_epoch();
    std::optional<Signer> signer = signer_of(options.signing, epoch);
    bool msi = options.type == PackageType::msi;
    InstallerTools tools;
    std::vector<Association> types;
    if (msi) {
        tools = installer_tools(epoch);
        types = read_associations(options);
    }
    Runtime runtime = inspect_runtime(options);
    if (msi && runtime.machine == Machine::arm64)
        throw Failure("--type msi: wixl makes packages for x86 and x64 only, not for an ARM64 runtime; give --type app-image");
    fs::path launcher = launcher_file(options, runtime);
    Launch launch;
    std::vector<std::string> files = input_files(options, launch.class_path);
    launch.main_class = main_class(options);
    launch.name = options.name;
    launch.console = options.console;
    launch.runtime = runtime.given;
    launch.runtime_machine = machine_name(runtime.machine);
    launch.java_version = options.java_version;
    launch.single_instance = options.single_instance;
    launch.java_options = options.java_options;
    launch.arguments = options.arguments;

    const fs::path& dest = options.dest;
    fs::path target = dest / path_of(options.name);
    fs::path package = dest / path_of(package_name(options));
    if (fs::exists(target) && !(fs::is_directory(target) && fs::is_empty(target)))
        throw Failure(text_of(target) + ": already there; give an empty or new folder");
    if (msi && fs::exists(package))
        throw Failure(text_of(package) + ": already there");
    std::error_code error;
    fs::create_directories(dest, error);
    if (error)
        throw Failure("--dest " + text_of(dest) + ": cannot make the folder: " + error.message());
    TemporaryFolder folder(dest / path_of(options.name + ".kelvo-pack-tmp"));
    TemporaryFolder work(dest / path_of(options.name + ".kelvo-pack-work"));
    copy_files(options.input, folder.path() / "app", files);
    if (runtime.given)
        copy_files(options.runtime_image, folder.path() / "runtime", files_below(options.runtime_image));
    fs::path program = folder.path() / path_of(options.name + ".exe");
    brand_copy(options, launcher, program);
    if (signer)
        sign_file(*signer, program, work.path());
    write_bytes(folder.path() / path_of(options.name + ".kelvo"), parameter_text(launch));
    if (epoch)
        set_times(folder.path(), *epoch);
    fs::path built = work.path() / "application.msi";
    if (msi)
        write_installer(options, types, tools, signer, epoch, runtime.machine == Machine::x64, folder.path(), work.path(), built);
    folder.move_to(target);
    if (msi)
        fs::rename(built, package);
}

}  // namespace

int run_pack(const std::vector<std::string>& arguments, FILE* out, FILE* err)
{
    try {
        Options options = parse_options(arguments);
        if (options.help) {
            std::fputs(usage, out);
            return 0;
        }
        pack_folder(options);
        return 0;
    } catch (const Failure& failure) {
        std::fprintf(err, "kelvo-pack: %s\n", failure.what());
    } catch (const fs::filesystem_error& failure) {
        std::fprintf(err, "kelvo-pack: %s: %s\n", text_of(failure.path1()).c_str(), failure.code().message().c_str());
    } catch (const std::bad_alloc&) {
        std::fprintf(err, "kelvo-pack: out of memory\n");
    }
    return exit_failure;
}

}  // namespace pack
