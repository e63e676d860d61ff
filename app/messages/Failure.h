// What goes wrong that a user can cause or mend: a missing or damaged file,
// a bad option value, a frame the module would not render. Every such error
// is a Failure (or a FileError, made from it), so that one catch site sees
// them all. Subject() is the file, option or thing the
// failure is about; what() is one line naming it and the problem,
// "SUBJECT: PROBLEM".
//
// veldra exits 2 for a failure found while reading its command line (a
// usage error) and 1 for any other.
#pragma once

#include <stdexcept>
#include <string>

class Failure : public std::runtime_error {
public:
    Failure(const std::string& subject, const std::string& problem)
        : std::runtime_error(subject.empty() ? problem : subject + ": " + problem), subject_(subject)
    {}
    // A failure that names its subject within `message` or has none (an
    // interrupted run).
    explicit Failure(const std::string& message) : std::runtime_error(message) {}

    const std::string& Subject() const { return subject_; }
    // Throws the same failure, of the same kind, with `note` after its
    // problem, such as how far a sequence got before it.
    [[noreturn]] virtual void ThrowNoting(const std::string& note) const
    {
        throw Failure(subject_, ProblemNoting(note));
    }

protected:
    std::string ProblemNoting(const std::string& note) const
    {
        const std::string message = what();
        return message.substr(subject_.empty() ? 0 : subject_.size() + 2) + note;
    }

private:
    std::string subject_;
};

// A file (or folder) that cannot be read or written as asked: missing,
// unreadable, damaged, or a write that failed. Subject() is the file; what()
// names it and the cause in words. Callers that report errors by kind (the
// Python package: OSError rather than ValueError) tell it from a Failure
// about a value.
class FileError : public Failure {
public:
    using Failure::Failure;
    [[noreturn]] void ThrowNoting(const std::string& note) const override
    {
        throw FileError(Subject(), ProblemNoting(note));
    }
};
