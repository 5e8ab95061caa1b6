#pragma once

#include <stdexcept>

// A refusal or failure the user has to see: main prints it and exits non-zero.
struct ImportError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
