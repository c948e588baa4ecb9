#include "installer.h"

#include "failure.h"
#include "ico_file.h"
#include "product_codes.h"
#include "tools.h"
#include "wix_source.h"

#include <chrono>
#include <ctime>

namespace pack {
namespace {

fs::path tool(const char* program, [[maybe_unused]] const char* package)
{
    fs::path file = find_on_path(program);
    if (file.empty())
#ifdef _WIN32
        throw Failure(std::string("--type msi: ") + program + ".exe is not on PATH (it comes with msitools for Windows)");
#else
        throw Failure(std::string("--type msi: ") + program + " is not on PATH (Debian: apt install " + package + ")");
#endif
    return file;
}

void check_text(const std::string& what, const std::string& text)
{
    if (!fits_code_page_1252(text))
        throw Failure(what + ": the installer carries Western (code page 1252) characters only, and this would be changed");
}

std::vector<std::string> folders_of(const std::string& install_dir)
{
    std::vector<std::string> folders;
    std::string folder;
    for (char c : install_dir + "\\") {
        if (c != '\\' && c != '/') {
            folder += c;
            continue;
        }
        if (folder.empty())
            continue;
        if (!windows_file_name(folder))
            throw Failure("--install-dir " + install_dir + ": Windows allows no folder named " + folder);
        folders.push_back(folder);
        folder.clear();
    }
    if (folders.empty())
        throw Failure("--install-dir " + install_dir + ": give a folder below Program Files, such as \"Example\\My App\"");
    return folders;
}

std::string hex(const Digest& digest)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t byte : digest)
        out += {digits[byte >> 4], digits[byte & 15]};
    return out;
}

// Everything that goes into the package, the source with its codes left out and every file's
// name and bytes: the same inputs give the same codes, any change a new product.
Digest content_digest(const std::string& source, const fs::path& folder, const std::vector<std::string>& files)
{
    Sha1 sha1;
    sha1.add(source);
    for (const std::string& file : files) {
        std::optional<std::string> bytes = read_bytes(folder / path_of(file));
        if (!bytes)
            throw Failure(text_of(folder / path_of(file)) + ": cannot read it");
        sha1.add(file + '\0' + std::to_string(bytes->size()) + '\0');
        sha1.add(*bytes);
    }
    return sha1.finish();
}

// faketime's frozen clock, in UTC.
std::string clock_text(long long epoch)
{
    std::time_t time = static_cast<std::time_t>(epoch);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &time);
#else
    gmtime_r(&time, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

void run(const InstallerTools& tools, const fs::path& program, const std::vector<std::string>& arguments,
         const fs::path& folder, const fs::path& log, std::optional<long long> epoch = std::nullopt)
{
    std::string name = text_of(program.stem());
    ToolRun answer;
    if (epoch) {
        // wixl stamps the package with the time it is made.
        std::vector<std::string> wrapped = {"-f", clock_text(*epoch), text_of(program)};
        wrapped.insert(wrapped.end(), arguments.begin(), arguments.end());
        answer = run_tool(tools.faketime, wrapped, folder, log, {{"TZ", "UTC"}});
    } else {
        answer = run_tool(program, arguments, folder, log);
    }
    if (answer.exit_code == -1)
        throw Failure("--type msi: cannot start " + text_of(program));
    if (answer.exit_code != 0)
        throw Failure("--type msi: " + name + " failed (exit code " + std::to_string(answer.exit_code) +
                      "): " + telling_line(answer.output));
}

}  // namespace

InstallerTools installer_tools(std::optional<long long> epoch)
{
    InstallerTools tools{tool("wixl", "wixl"), tool("msibuild", "msitools"), {}};
    if (epoch)
        tools.faketime = tool("faketime", "faketime");
    return tools;
}

std::vector<Association> read_associations(const Options& options)
{
    std::vector<Association> types;
    for (const fs::path& file : options.installer.file_associations) {
        std::optional<std::string> text = read_bytes(file, 64 * 1024);
        if (!text)
            throw Failure("--file-associations " + text_of(file) + ": cannot read it");
        Association type = parse_association(text_of(file), *text);
        for (const Association& other : types)
            if (other.extension == type.extension)
                throw Failure("--file-associations " + text_of(file) + ": ." + type.extension + " is associated twice");
        if (!type.icon.empty()) {
            std::optional<std::string> icon = read_bytes(type.icon);
            brand::List<brand::IconImage> images;
            brand::Error error;
            if (!icon || !brand::read_ico({reinterpret_cast<const uint8_t*>(icon->data()), icon->size()}, images, error))
                throw Failure("--file-associations " + text_of(file) + ": icon " + text_of(type.icon) + ": " +
                              (icon ? error.text : "cannot read it"));
        }
        types.push_back(type);
    }
    return types;
}

std::string package_name(const Options& options)
{
    return options.name + "-" + options.version.version_text + ".msi";
}

void write_installer(const Options& options, const std::vector<Association>& types, const InstallerTools& tools,
                     const std::optional<Signer>& signer, std::optional<long long> epoch, bool x64,
                     const fs::path& folder, const fs::path& work, const fs::path& msi)
{
    const InstallerOptions& installer = options.installer;
    PackageSource package;
    package.name = options.name;
    package.vendor = options.vendor.value_or(options.name);
    package.description = options.description.value_or(options.name);
    const uint16_t* numbers = options.version.version;
    package.version = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]);
    package.x64 = x64;
    package.per_user = installer.per_user;
    package.install_dir = folders_of(installer.install_dir.empty() ? options.name : installer.install_dir);
    package.program = options.name + ".exe";
    package.menu = installer.menu;
    package.menu_folder = installer.menu_group.empty() ? options.vendor.value_or("") : installer.menu_group;
    package.desktop = installer.desktop;
    package.about_url = installer.about_url;
    package.help_url = installer.help_url;
    package.update_url = installer.update_url;
    if (!package.menu_folder.empty() && !windows_file_name(package.menu_folder))
        throw Failure("--win-menu-group " + package.menu_folder + ": Windows allows no folder of that name");
    for (const Association& type : types) {
        DocumentType document{type.extension, type.mime_type, type.description, ""};
        if (!type.icon.empty()) {
            document.icon_file = type.extension + ".ico";
            std::error_code error;
            fs::copy_file(type.icon, folder / path_of(document.icon_file), error);
            if (error)
                throw Failure("--file-associations: icon " + text_of(type.icon) + ": cannot copy it: " + error.message());
        }
        package.types.push_back(document);
    }
    if (epoch)
        set_times(folder, *epoch);
    package.files = files_below(folder);

    const std::pair<std::string, const std::string*> texts[] = {
        {"--name " + package.name, &package.name},
        {"--vendor " + package.vendor, &package.vendor},
        {"--description " + package.description, &package.description},
        {"--win-menu-group " + package.menu_folder, &package.menu_folder},
        {"--install-dir " + installer.install_dir, &installer.install_dir},
        {"--about-url", &package.about_url},
        {"--win-help-url", &package.help_url},
        {"--win-update-url", &package.update_url}};
    for (const auto& [what, text] : texts)
        check_text(what, *text);
    for (const std::string& file : package.files)
        check_text("--input or --runtime-image: the file " + file, file);
    for (const DocumentType& type : package.types)
        check_text("--file-associations: " + type.extension, type.extension + type.mime_type + type.description);

    package.upgrade_code = installer.upgrade_uuid.empty() ? name_uuid("upgrade\n" + package.vendor + "\n" + package.name)
                                                          : installer_uuid(installer.upgrade_uuid);
    std::string digest = hex(content_digest(wix_source(package), folder, package.files));
    package.product_code = name_uuid("product\n" + digest);
    std::string package_code = name_uuid("package\n" + digest);

    fs::path source = work / "package.wxs";
    fs::path built = work / "package.msi";
    fs::path log = work / "tool.log";
    write_bytes(source, wix_source(package));
    run(tools, tools.wixl, {"-a", x64 ? "x64" : "x86", "-o", text_of(fs::absolute(built)), text_of(fs::absolute(source))},
        folder, log, epoch);
    // wixl leaves the package code random, and a rebuild of the same version would install
    // beside the old one: the code is set, and the upgrade takes that version too (513:
    // migrate features, the maximum version included).
    std::string upgrade = "'" + package.upgrade_code + "'";
    run(tools, tools.msibuild,
        {text_of(fs::absolute(built)), "-q", "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'", "-q",
         "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES (" + upgrade +
             ", '" + package.version + "', 513, 'WIX_UPGRADE_DETECTED')",
         // Last: it takes every argument after it.
         "-s", package.name, package.vendor, std::string(x64 ? "x64" : "Intel") + ";1033", package_code},
        work, log);
    if (signer)
        sign_file(*signer, built, work);
    if (epoch)
        fs::last_write_time(built, std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(*epoch))));
    fs::rename(built, msi);
}

}  // namespace pack
