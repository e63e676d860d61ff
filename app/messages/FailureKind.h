// What kind of thing went wrong, which alone decides how each host reports
// it: the exit status of `veldra` and the exception the Python package
// raises. A failure carries its kind from where it is thrown, so the same
// mistake gets the same status and exception wherever it is caught. The
// table of docs/errors.md lists these rows, word for word.
#pragma once

#include <cstddef>

enum class FailureKind {
    Usage,        // a command line veldra cannot take
    Value,        // a value veldra cannot take
    Data,         // a picture or parameter block handed in that veldra cannot take
    File,         // a file or folder that cannot be read or written
    Module,       // the filter module refused
    Memory,       // not enough memory
    Interrupted,  // a signal (Ctrl-C) stopped the work
    Failed,       // anything else: a program veldra runs, the cluster, a farm run's state
};

struct FailureKindFacts {
    FailureKind kind;
    const char* word;         // the kind as the errors page's table names it
    int exitCode;             // veldra's exit status
    const char* pythonError;  // the built-in exception the Python package raises
    const char* examples;     // what it covers, for the errors page's table
};

// 2 says that veldra could not take what it was asked; 1 that the work
// failed. An interrupted run exits 1 too: a farm task tells a renderer that
// reported its own failure (1) from one ended by a signal (above 128).
inline constexpr FailureKindFacts kFailureKinds[] = {
    {FailureKind::Usage, "usage", 2, "TypeError",
     "an unknown command or option, a missing or extra operand, options that do not go together"},
    {FailureKind::Value, "value", 2, "ValueError",
     "a bad option value or keyword argument, a frame outside the range, an output of a kind veldra does not write"},
    {FailureKind::Data, "data", 1, "ValueError",
     "a parameter block of another filter or damaged, a picture larger than 65535 x 65535 or of no pixels"},
    {FailureKind::File, "file", 1, "OSError",
     "a missing, unreadable or damaged file, a folder that cannot be written, a full disk"},
    {FailureKind::Module, "module", 1, "RuntimeError", "the filter module refused its parameter block or a frame"},
    {FailureKind::Memory, "memory", 1, "MemoryError", "a frame too large for this machine's memory"},
    {FailureKind::Interrupted, "interrupted", 1, "KeyboardInterrupt", "Ctrl-C, SIGTERM or SIGHUP during a run"},
    {FailureKind::Failed, "failed", 1, "RuntimeError",
     "Slurm or another program veldra runs failed, a farm run that is not yours"},
};

inline constexpr const FailureKindFacts& FactsOf(FailureKind kind)
{
    return kFailureKinds[static_cast<std::size_t>(kind)];
}
