// What goes wrong that a user can cause or mend: a missing or damaged file,
// a bad option value, a frame the module would not render. Every such error
// is a Failure (or of a type made from it, such as FileError), so that one
// catch site sees them all. Subject() is the file, option or thing the
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
    // The same failure with `note` after its problem, such as how far a
    // sequence got before it.
    Failure Noting(const std::string& note) const
    {
        const std::string message = what();
        return Failure(subject_, message.substr(subject_.empty() ? 0 : subject_.size() + 2) + note);
    }

private:
    std::string subject_;
};
