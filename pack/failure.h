// What kelvo-pack reports for bad input: one line for the user, without the program name.
#pragma once

#include <stdexcept>

namespace pack {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace pack
