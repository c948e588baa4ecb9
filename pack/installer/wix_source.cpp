#include "wix_source.h"

#include <map>
#include <memory>

namespace pack {
namespace {

// Attribute text.
std::string xml(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Windows Installer reads [...] and {...} in formatted columns (registry keys and values) as
// properties: a name's own brackets are escaped.
std::string formatted(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '[' || c == ']' || c == '{' || c == '}')
            out += std::string("[\\") + c + "]";
        else
            out += c;
    }
    return out;
}

struct Folder {
    std::map<std::string, std::unique_ptr<Folder>> folders;
    std::vector<size_t> files;  // indexes into the package's files
};

class Writer {
public:
    explicit Writer(const PackageSource& package) : package_(package) {}
    std::string write();

private:
    void line(int depth, const std::string& text) { out_ += std::string(2 * static_cast<size_t>(depth), ' ') + text + "\n"; }
    std::string component_start(const std::string& id)
    {
        components_.push_back(id);
        return "<Component Id=\"" + id + "\" Guid=\"*\"" + (package_.x64 ? " Win64=\"yes\"" : "") + ">";
    }
    // A component's key: a value of the product's own registry key, which goes with it.
    std::string registry_key_path(const std::string& id) const
    {
        return "<RegistryValue Root=\"" + std::string(package_.per_user ? "HKCU" : "HKLM") + "\" Key=\"" +
               xml(formatted("Software\\" + package_.vendor + "\\" + package_.name)) + "\" Name=\"" + id +
               "\" Type=\"integer\" Value=\"1\" KeyPath=\"yes\"/>";
    }
    // Folders holding no file are removed by a component of their own when the product goes.
    void folder_component(int depth, const std::string& id)
    {
        line(depth, component_start("remove_" + id));
        line(depth + 1, "<RemoveFolder Id=\"remove_" + id + "\" On=\"uninstall\"/>");
        line(depth + 1, registry_key_path("remove_" + id));
        line(depth, "</Component>");
    }
    std::string folder_id() { return std::string("d").append(std::to_string(++next_folder_)); }
    void files(int depth, const std::string& id, const Folder& folder);
    void associations(int depth);
    void shortcut(int depth, const char* id, bool remove_folder);

    const PackageSource& package_;
    std::string out_;
    std::vector<std::string> components_;
    std::vector<std::string> file_ids_;
    int next_folder_ = 0;
};

void Writer::files(int depth, const std::string& id, const Folder& folder)
{
    if (folder.files.empty())
        folder_component(depth, id);
    for (size_t index : folder.files) {
        const std::string& file = package_.files[index];
        line(depth, component_start("c_" + file_ids_[index]));
        line(depth + 1, "<File Id=\"" + file_ids_[index] + "\" Source=\"" + xml(file) + "\" KeyPath=\"yes\"/>");
        line(depth, "</Component>");
        if (file == package_.program)
            associations(depth);
    }
    for (const auto& [name, child] : folder.folders) {
        std::string child_id = folder_id();
        line(depth, "<Directory Id=\"" + child_id + "\" Name=\"" + xml(name) + "\">");
        files(depth + 1, child_id, *child);
        line(depth, "</Directory>");
    }
}

void Writer::associations(int depth)
{
    if (package_.types.empty())
        return;
    std::string prog_prefix;
    for (char c : package_.name)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            prog_prefix += c;
    line(depth, component_start("associations"));
    for (const DocumentType& type : package_.types) {
        std::string prog_id = (prog_prefix.empty() ? "Application" : prog_prefix) + "." + type.extension;
        line(depth + 1, "<ProgId Id=\"" + xml(prog_id) + "\" Description=\"" + xml(type.description) + "\">");
        line(depth + 2, "<Extension Id=\"" + xml(type.extension) + "\"" +
                            (type.mime_type.empty() ? "" : " ContentType=\"" + xml(type.mime_type) + "\"") + ">");
        line(depth + 3, "<Verb Id=\"open\" Command=\"Open\" TargetFile=\"program\" Argument=\"&quot;%1&quot;\"/>");
        line(depth + 2, "</Extension>");
        line(depth + 1, "</ProgId>");
        std::string icon = "[#program],0";
        for (size_t i = 0; i < package_.files.size(); ++i)
            if (!type.icon_file.empty() && package_.files[i] == type.icon_file)
                icon = "[#" + file_ids_[i] + "],0";
        line(depth + 1, "<RegistryValue Root=\"HKCR\" Key=\"" + xml(formatted(prog_id)) +
                            "\\DefaultIcon\" Type=\"string\" Value=\"" + icon + "\"/>");
    }
    line(depth + 1, registry_key_path("associations"));
    line(depth, "</Component>");
}

void Writer::shortcut(int depth, const char* id, bool remove_folder)
{
    line(depth, component_start(id));
    line(depth + 1, "<Shortcut Id=\"" + std::string(id) + "_shortcut\" Name=\"" + xml(package_.name) + "\" Description=\"" +
                        xml(package_.description) + "\" Target=\"[#program]\" WorkingDirectory=\"INSTALLDIR\"/>");
    if (remove_folder)
        line(depth + 1, "<RemoveFolder Id=\"" + std::string(id) + "_folder\" On=\"uninstall\"/>");
    line(depth + 1, registry_key_path(id));
    line(depth, "</Component>");
}

std::string Writer::write()
{
    const PackageSource& p = package_;
    Folder root;
    for (size_t i = 0; i < p.files.size(); ++i) {
        Folder* folder = &root;
        std::string_view rest = p.files[i];
        for (size_t slash; (slash = rest.find('/')) != std::string_view::npos; rest.remove_prefix(slash + 1)) {
            std::unique_ptr<Folder>& child = folder->folders[std::string(rest.substr(0, slash))];
            if (!child)
                child = std::make_unique<Folder>();
            folder = child.get();
        }
        folder->files.push_back(i);
        file_ids_.push_back(p.files[i] == p.program ? std::string("program") : std::string("f").append(std::to_string(i + 1)));
    }

    line(0, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    line(0, "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">");
    line(1, "<Product Id=\"" + p.product_code + "\" Name=\"" + xml(p.name) + "\" Language=\"1033\" Codepage=\"1252\" Version=\"" +
                p.version + "\" Manufacturer=\"" + xml(p.vendor) + "\" UpgradeCode=\"" + p.upgrade_code + "\">");
    line(2, "<Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"" +
                std::string(p.per_user ? "perUser" : "perMachine") + "\" Description=\"" + xml(p.description) +
                "\" Manufacturer=\"" + xml(p.vendor) + "\"/>");
    line(2, "<MajorUpgrade DowngradeErrorMessage=\"A newer version of [ProductName] is already installed.\"/>");
    line(2, "<Media Id=\"1\" Cabinet=\"application.cab\" EmbedCab=\"yes\"/>");
    // The uninstall entry shows the program's own icon.
    line(2, "<Icon Id=\"program.exe\" SourceFile=\"" + xml(p.program) + "\"/>");
    line(2, "<Property Id=\"ARPPRODUCTICON\" Value=\"program.exe\"/>");
    const std::pair<const char*, const std::string*> urls[] = {
        {"ARPURLINFOABOUT", &p.about_url}, {"ARPHELPLINK", &p.help_url}, {"ARPURLUPDATEINFO", &p.update_url}};
    for (auto [property, url] : urls)
        if (!url->empty())
            line(2, "<Property Id=\"" + std::string(property) + "\" Value=\"" + xml(*url) + "\"/>");

    line(2, "<Directory Id=\"TARGETDIR\" Name=\"SourceDir\">");
    int depth = 3;
    if (p.per_user) {
        line(depth++, "<Directory Id=\"LocalAppDataFolder\">");
        line(depth++, "<Directory Id=\"UserPrograms\" Name=\"Programs\">");
    } else {
        line(depth++, std::string("<Directory Id=\"") + (p.x64 ? "ProgramFiles64Folder" : "ProgramFilesFolder") + "\">");
    }
    std::vector<std::string> above(p.install_dir.begin(), p.install_dir.end() - 1);
    for (const std::string& name : above) {
        std::string id = folder_id();
        line(depth++, "<Directory Id=\"" + id + "\" Name=\"" + xml(name) + "\">");
        folder_component(depth, id);
    }
    line(depth++, "<Directory Id=\"INSTALLDIR\" Name=\"" + xml(p.install_dir.back()) + "\">");
    files(depth, "INSTALLDIR", root);
    while (depth > 3)
        line(--depth, "</Directory>");
    if (p.menu) {
        line(3, "<Directory Id=\"ProgramMenuFolder\">");
        if (p.menu_folder.empty()) {
            shortcut(4, "menu", false);
        } else {
            line(4, "<Directory Id=\"MenuFolder\" Name=\"" + xml(p.menu_folder) + "\">");
            shortcut(5, "menu", true);
            line(4, "</Directory>");
        }
        line(3, "</Directory>");
    }
    if (p.desktop) {
        line(3, "<Directory Id=\"DesktopFolder\">");
        shortcut(4, "desktop", false);
        line(3, "</Directory>");
    }
    line(2, "</Directory>");
    line(2, "<Feature Id=\"Application\" Level=\"1\">");
    for (const std::string& id : components_)
        line(3, "<ComponentRef Id=\"" + id + "\"/>");
    line(2, "</Feature>");
    line(1, "</Product>");
    line(0, "</Wix>");
    return out_;
}

}  // namespace

std::string wix_source(const PackageSource& package)
{
    return Writer(package).write();
}

bool fits_code_page_1252(std::string_view text)
{
    // The code points that 1252 places at 0x80 to 0x9f.
    static constexpr char32_t extras[] = {0x20ac, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030,
                                          0x0160, 0x2039, 0x0152, 0x017d, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
                                          0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x017e, 0x0178};
    for (size_t at = 0; at < text.size();) {
        auto byte = static_cast<unsigned char>(text[at]);
        size_t length = byte < 0x80 ? 1 : (byte & 0xe0) == 0xc0 ? 2 : (byte & 0xf0) == 0xe0 ? 3 : 0;
        if (length == 0 || at + length > text.size())
            return false;
        char32_t code = length == 1 ? byte : length == 2 ? byte & 0x1f : byte & 0x0f;
        for (size_t i = 1; i < length; ++i) {
            auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3f);
        }
        at += length;
        if ((length == 2 && code < 0x80) || (length == 3 && code < 0x800))
            return false;
        // XML carries no control character but the tab.
        bool fits = (code >= 0x20 && code < 0x7f) || code == '\t' || (code >= 0xa0 && code <= 0xff);
        for (char32_t extra : extras)
            fits = fits || code == extra;
        if (!fits)
            return false;
    }
    return true;
}

}  // namespace pack
