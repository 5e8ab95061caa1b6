#pragma once

#include <stdexcept>

namespace lumidra {

// A volume that cannot be read or written, with a message for the user that
// names the file and the reason.
struct VolumeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace lumidra
