// Finding a Java runtime: installed ones in the registry and the environment, and the
// choice that the launcher word of the parameter file asks for. The order of the search and
// the environment are java_search.cpp's, the JavaSoft keys javasoft_search.cpp's, the keys of
// today's installers installer_search.cpp's, the launcher word java_selection.cpp's.
#pragma once

#include "finding/java_runtime.h"
#include "finding/java_version.h"
#include "system/paths.h"

bool find_java_executable(JavaVersion low, JavaVersion high, bool version_given, bool use_javaw, PathBuffer out);

// Whether the search takes the runtime of an executable it found. On ARM64 Windows the 64-bit
// registry view and the environment hold ARM64 and x64 runtimes alike: the ARM64 launcher
// searches for one that it can run in its process first, then for any.
#if defined(__aarch64__)
bool wanted_runtime(const wchar_t* executable);
#else
constexpr bool wanted_runtime(const wchar_t*)
{
    return true;
}
#endif

// Appends the chosen executable to the still empty command, or ends the launcher; answers
// the code page in which that executable will read its command line.
unsigned select_java_launcher(wchar_t* word, const wchar_t* launcher_path, WideBuffer* command);

// The steps of the search, each answering whether out holds an executable's path.
bool find_java_release_key(JavaVersion version, bool use_javaw, PathBuffer out);
bool scan_java_release_keys(JavaVersion low, JavaVersion high, bool use_javaw, PathBuffer out);
bool find_java_current_version(int low_major, int high_major, bool use_javaw, PathBuffer out);
bool find_registered_java(JavaVersion low, JavaVersion high, bool use_javaw, PathBuffer out);
bool find_java_in_environment(bool use_javaw, PathBuffer out);
// The keys of today's installers: the newest runtime in the range whose executable exists.
bool find_java_in_vendor_keys(JavaVersion low, JavaVersion high, bool use_javaw, PathBuffer out);

// The release-key versions worth looking up for a range, newest first: calls visit for each
// until it answers true, and answers whether one did.
using ReleaseKeyVisit = bool (*)(JavaVersion candidate, void* context);
bool visit_release_key_candidates(JavaVersion low, JavaVersion high, ReleaseKeyVisit visit, void* context);

// Reading a version specification such as "1.8.0", "11.0.0+" or "1.8.0-11.0.0".
enum class VersionSpecification { valid, malformed, invalid };
VersionSpecification parse_version_specification(const wchar_t* text, JavaVersion* low, JavaVersion* high);

// What the launcher learns about the Windows it runs on.
enum class WindowsBits { bits32, bits64, unknown };
WindowsBits windows_bits();
// Asks IsWow64Process, looked up by function_name in kernel32, about process.
WindowsBits ask_windows_bits(const char* function_name, void* process);

// The version that an installer's key name stands for, in the launcher's numbering (Java 8 is
// 1.8.0); false for a name that is no version.
bool version_from_key_name(const wchar_t* name, VendorLayout layout, JavaVersion* version);
