// kelvo-brand as a function: arguments in, files out, one line on err for a failure.
#pragma once

#include <cstdio>

namespace brand {

constexpr int exit_failure = 2;

// Runs kelvo-brand with UTF-8 arguments (argv[0] is the program) and returns its exit code: 0,
// or 2 after writing one line to err.
int run_tool(int argc, const char* const* argv, FILE* out, FILE* err);

}  // namespace brand
