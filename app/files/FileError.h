// A file that cannot be read or written as asked: what() is one line that
// names the file and the cause in words.
#pragma once

#include <stdexcept>

class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
