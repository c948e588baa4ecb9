// The outside programs kelvo-pack runs (wixl, msibuild, faketime, osslsigncode): found on PATH
// and run with what they print kept in a file, read back for the one line a failure gets.
#pragma once

#include "folder.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pack {

// The program's file in a folder of PATH (on Windows with ".exe" added); empty: none.
fs::path find_on_path(const std::string& program);

struct ToolRun {
    int exit_code = -1;  // -1: it could not be started
    std::string output;  // what it wrote to its standard output and error
};

// Runs program with arguments (UTF-8) in folder, with the variables added to the environment,
// its standard output and error written to log (which is kept), and waits for it.
ToolRun run_tool(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder,
                 const fs::path& log, const std::vector<std::pair<std::string, std::string>>& variables = {});

// The tool's first line that begins with start, else its last line that says something, for a
// one-line message.
std::string telling_line(const std::string& output, std::string_view start = {});

}  // namespace pack
