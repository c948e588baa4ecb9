// What a Java runtime's own files say about it, read from their bytes: the version its release
// file names, the default virtual machine of its lib\jvm.cfg, and the machine a DLL is built
// for. runtime_inspection.cpp reads the files.
#pragma once

#include "finding/java_version.h"

#include <cstddef>

// The machine types of the PE format that the launcher is built for.
constexpr unsigned machine_x86 = 0x14C;
constexpr unsigned machine_x64 = 0x8664;
constexpr unsigned machine_arm64 = 0xAA64;

// The JAVA_VERSION="..." line of a release file's terminated text, read in Java's own
// numbering: 17.0.5 is {17, 0, 5}, 21 is {21, 0, 0}, 1.8.0_392 is {1, 8, 0}. False when there is
// no such line or its value is no version.
bool release_java_version(const char* text, JavaVersion* version);

// Whether Java of that version decodes its arguments in the active code page of its process:
// from 19 on, and in the 17.0.5 and 11.0.17 updates and later ones of those two releases. Older
// ones read them in the system's ANSI code page whatever the process declares.
bool decodes_arguments_in_active_code_page(JavaVersion version);

// The default virtual machine of a jvm.cfg's terminated text as jli.dll reads it: the first
// entry of two words that is no comment, its first word without the leading "-" ("-server
// KNOWN" names server). Copied as a terminated name of at most capacity - 1 units; false when
// there is none, or it does not fit or names a path.
bool default_virtual_machine(const char* text, wchar_t* name, size_t capacity);

// The machine type in the headers of a PE file's first size bytes, 0 when they are none.
unsigned pe_machine(const unsigned char* bytes, size_t size);
