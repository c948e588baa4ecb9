// kelvo-pack as a function: arguments in, an application folder out, one line on err for a
// failure.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pack {

constexpr int exit_failure = 2;

// Runs kelvo-pack with UTF-8 arguments (the program's name left out) and returns its exit
// code: 0, or 2 after writing one line to err and leaving no folder behind.
int run_pack(const std::vector<std::string>& arguments, FILE* out, FILE* err);

}  // namespace pack
