// A file that cannot be read or written as asked. Subject() is the file;
// what() names it and the cause in words.
#pragma once

#include "messages/Failure.h"

class FileError : public Failure {
public:
    using Failure::Failure;
};
