// Which launcher a Java runtime image needs: the one of its virtual machine's machine type.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pack {

// The virtual machine library that Java's launcher loads, relative to the runtime image: that
// of the default virtual machine that lib/jvm.cfg names, bin/server/jvm.dll without one.
std::string jvm_library(const std::optional<std::string>& jvm_cfg);

// The machines a launcher is built for, each with the distribution's folder of its launchers.
enum class Machine { x86, x64, arm64 };
const char* launcher_folder(Machine machine);  // "", "x64", "arm64"
const char* machine_name(Machine machine);     // "32-bit", "64-bit", "ARM64"

// The machine of a library, from the first bytes of its file. Throws Failure for anything else.
Machine library_machine(std::string_view head);

}  // namespace pack
