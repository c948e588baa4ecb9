// kelvo-pack --type msi: a Windows Installer package of the application folder, made by wixl
// from the WiX source written here, then finished with msibuild.
#pragma once

#include "associations.h"
#include "folder.h"
#include "options.h"
#include "signing.h"

#include <optional>
#include <vector>

namespace pack {

// The programs the package is made with, found before anything is written.
struct InstallerTools {
    fs::path wixl, msibuild, faketime;  // faketime: only for SOURCE_DATE_EPOCH
};

// Throws Failure, saying which Debian package to install, for a missing tool.
InstallerTools installer_tools(std::optional<long long> epoch);

// The file types of --file-associations, read and checked (their icons included).
std::vector<Association> read_associations(const Options& options);

// The file name of the package: NAME-VERSION.msi.
std::string package_name(const Options& options);

// Copies the types' icons into the folder, then writes the package of the folder to msi,
// x64 or x86, using work (an empty folder) for the source and what the tools say. Throws
// Failure for a text wixl cannot carry whole or a tool's failure.
void write_installer(const Options& options, const std::vector<Association>& types, const InstallerTools& tools,
                     const std::optional<Signer>& signer, std::optional<long long> epoch, bool x64,
                     const fs::path& folder, const fs::path& work, const fs::path& msi);

}  // namespace pack
