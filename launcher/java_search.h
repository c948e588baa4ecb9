// Finding a Java runtime: installed ones in the registry and the environment, and the
// choice that the launcher word of the parameter file asks for.
#pragma once

#include "paths.h"

struct JavaVersion {
    int major;
    int minor;
    int micro;
};

int compare_java_versions(JavaVersion a, JavaVersion b);
bool java_version_in_range(JavaVersion version, JavaVersion low, JavaVersion high);

bool find_java_executable(JavaVersion low, JavaVersion high, bool version_given, bool use_javaw, PathBuffer out);

// Appends the chosen executable to the still empty command, or ends the launcher.
void select_java_launcher(wchar_t* word, const wchar_t* launcher_path, WideBuffer* command);
