// kelvo-brand as a function: arguments in, files out, one line on err for a failure.
#pragma once

#include "command_line.h"

#include <cstdio>

namespace brand {

constexpr int exit_failure = 2;

// Writes the branded copy that options ask for. On failure error says why and failed_file names
// the file it concerns (none for a text that is no UTF-8).
bool brand_launcher(const Options& options, const char*& failed_file, Error& error);

// Runs kelvo-brand with UTF-8 arguments (argv[0] is the program) and returns its exit code: 0,
// or 2 after writing one line to err.
int run_tool(int argc, const char* const* argv, FILE* out, FILE* err);

}  // namespace brand
