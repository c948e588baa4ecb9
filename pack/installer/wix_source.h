// The WiX source of an installer of an application folder, for wixl: what is installed where,
// its shortcuts, associations and uninstall entry. Pure text, no file is read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pack {

struct DocumentType {
    std::string extension;  // without the dot
    std::string mime_type;  // empty: none
    std::string description;
    std::string icon_file;  // one of the files; empty: the program's icon
};

struct PackageSource {
    std::string name;  // the product's name, and that of its shortcuts
    std::string vendor;
    std::string description;
    std::string version;  // major.minor.build as Windows Installer compares it
    bool x64 = false;     // an x64 package, under ProgramFiles64Folder
    bool per_user = false;
    std::vector<std::string> install_dir;  // folders below Program Files (or the user's Programs)
    std::string program;                   // NAME.exe, one of the files, in the root
    std::vector<std::string> files;        // the folder's files, "/" between names, sorted
    bool menu = false;
    std::string menu_folder;  // empty: the shortcut directly in the Start menu's programs
    bool desktop = false;
    std::vector<DocumentType> types;
    std::string about_url, help_url, update_url;
    std::string product_code, upgrade_code;  // "{...}"
};

// The source, UTF-8; its File elements name the files relative to the folder, which is wixl's
// working folder.
std::string wix_source(const PackageSource& package);

// Whether wixl carries text (UTF-8) whole into a package of code page 1252: Western letters
// and signs only; nothing else comes out as it went in.
bool fits_code_page_1252(std::string_view text);

}  // namespace pack
