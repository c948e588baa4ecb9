// Which launcher a Java runtime image needs: the one of its virtual machine's machine type.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pack {

// The virtual machine library that Java's launcher loads, relative to the runtime image: that
// of the default virtual machine that lib/jvm.cfg names, bin/server/jvm.dll without one.
std::string jvm_library(const std::optional<std::string>& jvm_cfg);

// True for a 64-bit (x64) library, false for a 32-bit (x86) one, from the first bytes of its
// file. Throws Failure for anything else.
bool library_is_64_bit(std::string_view head);

}  // namespace pack
