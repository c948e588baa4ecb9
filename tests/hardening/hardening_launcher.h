// A copy of kelvo.exe beside its parameter file in a scratch folder of its own, the stand-in
// Java under jre\bin recording what it received.
#pragma once

#include "kit.h"

#include <string>
#include <vector>

namespace hardening {

struct Launcher {
    std::wstring dir;
    std::wstring exe;
    std::wstring parameters;
    std::wstring record;
    std::wstring java;
    std::vector<std::wstring> env;

    explicit Launcher(const std::wstring& name, const std::wstring& folder = L"")
        : dir(folder.empty() ? kit::scratch_dir(name) : folder),
          exe(dir + L"\\app.exe"),
          parameters(dir + L"\\app.kelvo"),
          record(dir + L"\\record"),
          java(dir + L"\\jre\\bin\\java.exe"),
          env(kit::current_environment())
    {
        kit::copy_file(kit::bin_path(L"kelvo.exe"), exe);
        kit::install_fake_java(java);
        for (const wchar_t* variable : {L"VERBOSE_KELVO", L"QUICK_KELVO", L"JAVA_HOME", L"JRE_HOME", L"JDK_HOME"})
            kit::remove_variable(env, variable);
        kit::set_variable(env, kit::java_record_variable, record);
    }

    kit::RunResult run(const std::wstring& arguments = L"", DWORD timeout_ms = 60000)
    {
        return kit::run_program({exe, L"app.exe" + (arguments.empty() ? L"" : L" " + arguments), env, dir, timeout_ms});
    }

    bool java_started() const { return kit::file_present(record); }
};

}  // namespace hardening
