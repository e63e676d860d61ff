// veldra's failures and warnings as Python's: a Failure raises the
// exception of its kind (messages/FailureKind.h), with the command line's
// one-line message, which names the file; an OSError has its filename, and
// its errno where the cause has one. Warnings, from whichever thread says
// them, become Python UserWarnings on the thread that called veldra.
#pragma once

#include <pybind11/pybind11.h>

#include <exception>
#include <string>

namespace py = pybind11;

// How a warning tells a Python user to keep alpha.
constexpr const char* kKeepAlpha = "alpha=\"keep\"";

// Translates Failure wherever the module's functions throw it.
void TranslateFailures();

// Sends veldra's warnings to a queue that IssueWarnings empties.
void QueueWarnings();

// Issues the warnings said since the last call as Python warnings,
// attributed to the caller's line. With the GIL held. Throws
// error_already_set when warnings are errors. Calls running at once on
// several threads may issue each other's warnings; each names its cause.
void IssueWarnings();

// Runs `work` and returns what it returns, issuing the warnings said
// meanwhile whether it returns or throws.
template <typename Work>
auto IssuingWarnings(Work work) -> decltype(work())
{
    try {
        auto result = work();
        IssueWarnings();
        return result;
    } catch (...) {
        IssueWarnings();
        throw;
    }
}

// `function` as a function of the same arguments that issues the warnings
// said while it runs (IssuingWarnings): what the module's functions are
// bound as.
template <typename Result, typename... Arguments>
auto IssuingWarnings(Result (*function)(Arguments...))
{
    return [function](Arguments... arguments) { return IssuingWarnings([&] { return function(arguments...); }); };
}

// The message of `failure` ("veldra: ..."), or "" when it holds no
// exception veldra made.
std::string MessageOf(const std::exception_ptr& failure);
