#include "runtime_bits.h"

#include "failure.h"
#include "in_process/runtime_facts.h"

namespace pack {

std::string jvm_library(const std::optional<std::string>& jvm_cfg)
{
    // Read as the launcher reads it, so that both agree on the library.
    wchar_t name[64];
    if (!jvm_cfg || !default_virtual_machine(jvm_cfg->c_str(), name, sizeof name / sizeof name[0]))
        return "bin/server/jvm.dll";
    std::string vm;
    for (const wchar_t* c = name; *c != L'\0'; ++c)
        vm += static_cast<char>(*c);
    return "bin/" + vm + "/jvm.dll";
}

const char* launcher_folder(Machine machine)
{
    return machine == Machine::x64 ? "x64" : machine == Machine::arm64 ? "arm64" : "";
}

const char* machine_name(Machine machine)
{
    return machine == Machine::x64 ? "64-bit" : machine == Machine::arm64 ? "ARM64" : "32-bit";
}

Machine library_machine(std::string_view head)
{
    unsigned machine = pe_machine(reinterpret_cast<const unsigned char*>(head.data()), head.size());
    if (machine == machine_x64)
        return Machine::x64;
    if (machine == machine_x86)
        return Machine::x86;
    if (machine == machine_arm64)
        return Machine::arm64;
    throw Failure("the runtime's virtual machine is no Windows library for x86, x64 or ARM64");
}

}  // namespace pack
