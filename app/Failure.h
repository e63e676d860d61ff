// A failure the user can cause or mend: a missing file, a bad option value,
// a frame the module would not render. what() is one line that names the
// file (or option) and the problem; main prints it and exits non-zero.
#pragma once

#include <stdexcept>

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
