// What goes wrong that a user can cause or mend: a missing or damaged file,
// a bad option value, a frame the module would not render. Every such error
// is a Failure (or a FileError, made from it), so that one catch site sees
// them all. Subject() is the file, option or thing the
// failure is about; what() is one line naming it and the problem,
// "SUBJECT: PROBLEM". Kind() says what kind of thing went wrong, and so
// veldra's exit status and the Python package's exception (FailureKind.h):
// a Failure is of kind Failed unless its thrower says otherwise, a FileError
// always of kind File.
#pragma once

#include <cstring>
#include <stdexcept>
#include <string>

#include "FailureKind.h"

class Failure : public std::runtime_error {
public:
    Failure(const std::string& subject, const std::string& problem, FailureKind kind = FailureKind::Failed)
        : std::runtime_error(subject.empty() ? problem : subject + ": " + problem), subject_(subject), kind_(kind)
    {}
    // A failure that names its subject within `message` or has none (an
    // interrupted run).
    explicit Failure(const std::string& message, FailureKind kind = FailureKind::Failed)
        : std::runtime_error(message), kind_(kind)
    {}

    const std::string& Subject() const { return subject_; }
    // what() without the subject.
    std::string Problem() const { return std::string(what()).substr(subject_.empty() ? 0 : subject_.size() + 2); }
    FailureKind Kind() const { return kind_; }
    // Throws the same failure, of the same kind, with `note` after its
    // problem, such as how far a sequence got before it.
    [[noreturn]] virtual void ThrowNoting(const std::string& note) const
    {
        throw Failure(subject_, Problem() + note, kind_);
    }

private:
    std::string subject_;
    FailureKind kind_;
};

// A file (or folder) that cannot be read or written as asked: missing,
// unreadable, damaged, or a write that failed. Subject() is the file; what()
// names it and the cause in words; ErrorNumber() is the system's code for
// the cause (errno), 0 when the cause has none (a damaged picture).
class FileError : public Failure {
public:
    FileError(const std::string& subject, const std::string& problem, int errorNumber = 0)
        : Failure(subject, problem, FailureKind::File), errorNumber_(errorNumber)
    {}
    explicit FileError(const std::string& message) : Failure(message, FailureKind::File) {}
    // "SUBJECT: PROBLEM: <the system's words for errorNumber>".
    static FileError OfSystemError(const std::string& subject, const std::string& problem, int errorNumber)
    {
        return FileError(subject, problem + ": " + std::strerror(errorNumber), errorNumber);
    }

    int ErrorNumber() const { return errorNumber_; }
    [[noreturn]] void ThrowNoting(const std::string& note) const override
    {
        throw FileError(Subject(), Problem() + note, errorNumber_);
    }

private:
    int errorNumber_ = 0;
};
