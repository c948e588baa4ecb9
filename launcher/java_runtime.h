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
