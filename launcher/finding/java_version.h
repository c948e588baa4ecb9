// Java versions in the launcher's numbering (Java 8 is 1.8.0, Java 17 is 17.0.0), and the
// decimal numbers they are written with.
#pragma once

struct JavaVersion {
    int major;
    int minor;
    int micro;
};

int compare_java_versions(JavaVersion a, JavaVersion b);
bool java_version_in_range(JavaVersion version, JavaVersion low, JavaVersion high);

// Reads one decimal number as "%d" does (white space, an optional sign, digits) and moves text
// past it; a number beyond the range of int is too large, not wrapped.
enum class DecimalRead { read, none, too_large };
DecimalRead read_decimal(const wchar_t** text, int* value);
