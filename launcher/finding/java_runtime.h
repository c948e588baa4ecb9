// What the launcher relies on from a Java runtime and its installers: file names, folders,
// version numbering and the registry entries the installers write.
#pragma once

// Executables, found directly in a PATH folder or below a home folder.
constexpr wchar_t java_executable[] = L"java.exe";
constexpr wchar_t javaw_executable[] = L"javaw.exe";
constexpr wchar_t home_java_executable[] = L"bin\\java.exe";
constexpr wchar_t home_javaw_executable[] = L"bin\\javaw.exe";

// A launcher word containing this asks for the windowless javaw.exe.
constexpr wchar_t javaw_marker[] = L"javaw";
// A runtime shipped in a folder of this name is a 64-bit one.
constexpr wchar_t jre64_folder[] = L"jre64\\";

// Environment variables naming an installation folder, in the order they are consulted,
// and the search path.
constexpr const wchar_t* java_home_variables[] = {L"JAVA_HOME", L"JRE_HOME", L"JDK_HOME"};
constexpr wchar_t path_variable[] = L"PATH";

// Releases up to 8 are numbered 1.<release>.<micro>; from 9 on <release>.<minor>.<micro>,
// and the installers switched from one key per release to a CurrentVersion key.
constexpr int current_version_layout_major = 9;
constexpr int last_release_key_major = 1;
constexpr int last_release_key_minor = 8;
constexpr int last_release_key_micro = 0;

// Release-key layout: Java Runtime Environment\<major>.<minor> with MicroVersion and JavaHome.
constexpr wchar_t release_key_micro_path[] =
    L"\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\%d.%d\\MicroVersion";
constexpr wchar_t release_key_home_path[] =
    L"\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\%d.%d\\JavaHome";

// Current-version layout: JRE or JDK with CurrentVersion, and <CurrentVersion>\JavaHome.
constexpr wchar_t jre_version_path[] = L"\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE\\CurrentVersion";
constexpr wchar_t jre_home_path[] = L"\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE\\%s\\JavaHome";
constexpr wchar_t jdk_version_path[] = L"\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK\\CurrentVersion";
constexpr wchar_t jdk_home_path[] = L"\\HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK\\%s\\JavaHome";

// Registry paths are formatted into a buffer of this many units.
constexpr int registry_path_capacity = 1024;

// Keys that today's installers write instead of the JavaSoft ones, below SOFTWARE in
// HKEY_LOCAL_MACHINE (64-bit view, then 32-bit view) and, for a per-user install, in
// HKEY_CURRENT_USER.
constexpr wchar_t machine_software_path[] = L"\\HKEY_LOCAL_MACHINE\\SOFTWARE";
constexpr wchar_t user_software_path[] = L"\\HKEY_CURRENT_USER\\Software";

// Releases up to this one are 1.<release>.0 in the launcher's numbering, also where an
// installer's key names them by the release alone (8.0.392.8, zulu-8).
constexpr int last_one_dot_release = 8;

enum class VendorLayout {
    // The Eclipse Adoptium installer and those built from its template:
    // <vendor>\{JDK,JRE}\<version>\<vm>\MSI with the install folder in Path. <version> is the
    // full version (17.0.9.9, 8.0.392.8), <vm> any subkey (hotspot, openj9). The JavaHome value
    // beside Path is a number (a feature flag), not a folder.
    installer_template,
    // <vendor>\<name> with the install folder in InstallationPath; the first number of <name>
    // (zulu-17, zulu-8-jre, jdk-21) is the release.
    named_install,
};

struct VendorKeys {
    const wchar_t* key;  // below SOFTWARE
    VendorLayout layout;
};

// In the order they are searched; another vendor is one more row.
constexpr VendorKeys vendor_keys[] = {
    {L"Eclipse Adoptium", VendorLayout::installer_template},
    {L"AdoptOpenJDK", VendorLayout::installer_template},
    {L"Eclipse Foundation", VendorLayout::installer_template},
    {L"Microsoft", VendorLayout::installer_template},
    {L"Semeru", VendorLayout::installer_template},
    {L"Azul Systems\\Zulu", VendorLayout::named_install},
    {L"BellSoft\\Liberica", VendorLayout::named_install},
};

constexpr const wchar_t* installer_template_kinds[] = {L"JDK", L"JRE"};
constexpr wchar_t installer_template_leaf[] = L"MSI";
constexpr wchar_t installer_template_folder_value[] = L"Path";
constexpr wchar_t named_install_folder_value[] = L"InstallationPath";

// The entry of a runtime's launcher library, bin\jli.dll, as java.exe calls it; 32-bit runtimes
// export it decorated, as a standard-call function.
using JliLaunch = int(__stdcall*)(int argc, char** argv, int jargc, const char** jargv, int appclassc,
                                  const char** appclassv, const char* fullversion, const char* dotversion,
                                  const char* pname, const char* lname, unsigned char javaargs,
                                  unsigned char cpwildcard, unsigned char javaw, int ergo);
#ifdef _WIN64
constexpr char jli_launch_name[] = "JLI_Launch";
#else
constexpr char jli_launch_name[] = "_JLI_Launch@56";
#endif
